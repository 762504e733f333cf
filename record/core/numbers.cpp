#include "numbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace record::core {

namespace {

// Walks the text; in lenient mode spaces, tabs and line feeds are invisible to it.
class Cursor {
public:
    Cursor(std::string_view text, bool skipBlanks)
        : m_text(text)
        , m_skipBlanks(skipBlanks) {}

    char peek() {
        while (m_skipBlanks && m_pos < m_text.size() && isBlank(m_text[m_pos]))
            ++m_pos;
        return m_pos < m_text.size() ? m_text[m_pos] : '\0';
    }
    void advance() { ++m_pos; }
    std::size_t pos() const { return m_pos; }
    void rewind(std::size_t pos) { m_pos = pos; }

private:
    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

    std::string_view m_text;
    std::size_t m_pos = 0;
    bool m_skipBlanks;
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int digitValue(char c, int radix) {
    int value = radix;
    if (isDigit(c))
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < radix ? value : -1;
}

struct Scan {
    double value = 0;
    bool found = false;
    std::size_t end = 0; // just past the last character of the number
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

Scan scanNumber(std::string_view text, bool skipBlanks) {
    Cursor cursor(text, skipBlanks);
    Scan scan;
    std::string number;

    const char sign = cursor.peek();
    if (sign == '+' || sign == '-') {
        cursor.advance();
        if (sign == '-')
            number += '-';
    }

    if (cursor.peek() == '&') {
        cursor.advance();
        const char kind = cursor.peek();
        cursor.advance();
        if (kind == 'H' || kind == 'h')
            scanRadix(cursor, 16, sign == '-', scan);
        else if (kind == 'O' || kind == 'o')
            scanRadix(cursor, 8, sign == '-', scan);
        return scan;
    }

    bool sawDigit = false;
    const auto takeDigits = [&] {
        while (isDigit(cursor.peek())) {
            number += cursor.peek();
            cursor.advance();
            sawDigit = true;
        }
    };
    takeDigits();
    if (cursor.peek() == '.') {
        number += '.';
        cursor.advance();
        takeDigits();
    }
    if (!sawDigit)
        return scan;
    scan.found = true;
    scan.end = cursor.pos();

    const char e = cursor.peek();
    if (e == 'e' || e == 'E' || e == 'd' || e == 'D') {
        const std::size_t mantissaLength = number.size();
        cursor.advance();
        number += 'e';
        const char expSign = cursor.peek();
        if (expSign == '+' || expSign == '-') {
            number += expSign;
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

double lenientValue(std::string_view text) {
    return scanNumber(text, true).value;
}

std::optional<double> strictValue(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ')
        ++start;
    const std::string_view rest = text.substr(start);
    const Scan scan = scanNumber(rest, false);
    if (!scan.found || scan.end != rest.size())
        return std::nullopt;
    return scan.value;
}

std::optional<double> scoreValue(std::string_view text) {
    if (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    const bool negative = !text.empty() && text.front() == '-';
    if (negative)
        text.remove_prefix(1);
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    value = negative ? -value : value;
    if (value < -32768 || value > 32767)
        return std::nullopt;
    return double(value);
}

} // namespace record::core
