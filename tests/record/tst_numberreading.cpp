#include "recordfiles.h"

#include <QTest>

#include <limits>

class TstNumberReading : public QObject {
    Q_OBJECT

private slots:
    void readers_data();
    void readers();
};

// Each text through both readers; NaN stands for "not a number" from the strict one.
void TstNumberReading::readers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("lenient");
    QTest::addColumn<double>("strict");

    const double no = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("empty") << "" << 0.0 << no;
    QTest::newRow("stored line") << " 12\r\n" << 12.0 << no;
    QTest::newRow("score after a right hit") << " 12" << 12.0 << 12.0;
    QTest::newRow("score after a wrong hit") << "-4" << -4.0 << -4.0;
    QTest::newRow("plus sign") << "+7" << 7.0 << 7.0;
    QTest::newRow("word after the digits") << "12 abc" << 12.0 << no;
    QTest::newRow("only letters") << "abc" << 0.0 << no;
    QTest::newRow("blanks inside the number") << " 1 2\t3" << 123.0 << no;
    QTest::newRow("tabs and line feeds first") << "\t\n\n 42" << 42.0 << no;
    QTest::newRow("blank after the sign") << "- 5" << -5.0 << no;
    QTest::newRow("carriage return stops") << "1\r2" << 1.0 << no;
    QTest::newRow("comma stops") << "1,5" << 1.0 << no;
    QTest::newRow("two signs") << "+-3" << 0.0 << no;
    QTest::newRow("lone sign") << "-" << 0.0 << no;
    QTest::newRow("lone point") << "." << 0.0 << no;
    QTest::newRow("decimal") << "3.25" << 3.25 << 3.25;
    QTest::newRow("leading point") << ".5" << 0.5 << 0.5;
    QTest::newRow("second point stops") << "1.2.3" << 1.2 << no;
    QTest::newRow("exponent") << "1.5e3" << 1500.0 << 1500.0;
    QTest::newRow("negative D exponent") << "25D-2" << 0.25 << 0.25;
    QTest::newRow("exponent without digits") << "12e+" << 12.0 << no;
    QTest::newRow("hexadecimal") << "&HFF" << 255.0 << 255.0;
    QTest::newRow("hexadecimal with blanks") << "& h1 a" << 26.0 << no;
    QTest::newRow("negative hexadecimal") << "-&H10" << -16.0 << -16.0;
    QTest::newRow("octal") << "&o17" << 15.0 << 15.0;
    QTest::newRow("octal stops at 8") << "&O78" << 7.0 << no;
    QTest::newRow("prefix without digits") << "&H" << 0.0 << no;
    QTest::newRow("unknown prefix") << "&B1" << 0.0 << no;
    QTest::newRow("too large") << "-1e400" << -inf << -inf;
    QTest::newRow("too large without exponent") << "1" + QString(400, u'0') << inf << inf;
    QTest::newRow("too small without exponent") << "0." + QString(400, u'0') + "1" << 0.0 << 0.0;
}

void TstNumberReading::readers() {
    QFETCH(QString, text);
    QFETCH(double, lenient);
    QFETCH(double, strict);
    QCOMPARE(record::lenientValue(text), lenient);
    QCOMPARE(record::strictValue(text).value_or(std::numeric_limits<double>::quiet_NaN()), strict);
}

QTEST_GUILESS_MAIN(TstNumberReading)
#include "tst_numberreading.moc"
