#include "recordfiles.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace record {

namespace {

// Walks the text; in lenient mode spaces, tabs and line feeds are invisible to it.
class Cursor {
public:
    Cursor(QStringView text, bool skipBlanks)
        : m_text(text)
        , m_skipBlanks(skipBlanks) {}

    char16_t peek() {
        while (m_skipBlanks && m_pos < m_text.size() && isBlank(m_text[m_pos].unicode()))
            ++m_pos;
        return m_pos < m_text.size() ? m_text[m_pos].unicode() : u'\0';
    }
    void advance() { ++m_pos; }
    qsizetype pos() const { return m_pos; }
    void rewind(qsizetype pos) { m_pos = pos; }

private:
    static bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }

    QStringView m_text;
    qsizetype m_pos = 0;
    bool m_skipBlanks;
};

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

int digitValue(char16_t c, int radix) {
    int value = radix;
    if (isDigit(c))
        value = c - u'0';
    else if (c >= u'a' && c <= u'f')
        value = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        value = c - u'A' + 10;
    return value < radix ? value : -1;
}

struct Scan {
    double value = 0;
    bool found = false;
    qsizetype end = 0; // just past the last character of the number
};

void scanRadix(Cursor& cursor, int radix, bool negative, Scan& scan) {
    double value = 0;
    for (int digit; (digit = digitValue(cursor.peek(), radix)) >= 0; cursor.advance()) {
        value = value * radix + digit;
        scan.found = true;
        scan.end = cursor.pos() + 1;
    }
    scan.value = negative ? -value : value;
}

// from_chars reports a value outside the range of double without giving it: decide between
// infinity and zero from the decimal exponent of the first significant digit.
double outOfRange(const std::string& number) {
    const auto e = number.find('e');
    const std::string mantissa = number.substr(0, e);
    long long exponent = 0;
    if (e != std::string::npos) {
        std::size_t i = e + 1;
        const bool negative = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+'))
            ++i;
        for (; i < number.size(); ++i)
            exponent = std::min(exponent * 10 + (number[i] - '0'), 1'000'000'000LL);
        if (negative)
            exponent = -exponent;
    }
    const auto point = mantissa.find('.');
    const auto first = mantissa.find_first_of("123456789");
    const long long intDigits =
        static_cast<long long>(point == std::string::npos ? mantissa.size() : point);
    const long long firstPos = static_cast<long long>(first);
    const long long magnitude =
        exponent + (firstPos < intDigits ? intDigits - firstPos : intDigits - firstPos + 1);
    const double value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return number.front() == '-' ? -value : value;
}

Scan scanNumber(QStringView text, bool skipBlanks) {
    Cursor cursor(text, skipBlanks);
    Scan scan;
    std::string number;

    const char16_t sign = cursor.peek();
    if (sign == u'+' || sign == u'-') {
        cursor.advance();
        if (sign == u'-')
            number += '-';
    }

    if (cursor.peek() == u'&') {
        cursor.advance();
        const char16_t kind = cursor.peek();
        cursor.advance();
        if (kind == u'H' || kind == u'h')
            scanRadix(cursor, 16, sign == u'-', scan);
        else if (kind == u'O' || kind == u'o')
            scanRadix(cursor, 8, sign == u'-', scan);
        return scan;
    }

    bool sawDigit = false;
    const auto takeDigits = [&] {
        while (isDigit(cursor.peek())) {
            number += static_cast<char>(cursor.peek());
            cursor.advance();
            sawDigit = true;
        }
    };
    takeDigits();
    if (cursor.peek() == u'.') {
        number += '.';
        cursor.advance();
        takeDigits();
    }
    if (!sawDigit)
        return scan;
    scan.found = true;
    scan.end = cursor.pos();

    const char16_t e = cursor.peek();
    if (e == u'e' || e == u'E' || e == u'd' || e == u'D') {
        const std::size_t mantissaLength = number.size();
        cursor.advance();
        number += 'e';
        const char16_t expSign = cursor.peek();
        if (expSign == u'+' || expSign == u'-') {
            number += static_cast<char>(expSign);
            cursor.advance();
        }
        sawDigit = false;
        takeDigits();
        if (sawDigit)
            scan.end = cursor.pos();
        else
            number.resize(mantissaLength); // "12e" or "12e+" is just 12
    }

    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), scan.value,
                                           std::chars_format::general);
    if (ec == std::errc::result_out_of_range)
        scan.value = outOfRange(number);
    return scan;
}

} // namespace

double lenientValue(QStringView text) {
    return scanNumber(text, true).value;
}

std::optional<double> strictValue(QStringView text) {
    qsizetype start = 0;
    while (start < text.size() && text[start] == u' ')
        ++start;
    const QStringView rest = text.mid(start);
    const Scan scan = scanNumber(rest, false);
    if (!scan.found || scan.end != rest.size())
        return std::nullopt;
    return scan.value;
}

} // namespace record
