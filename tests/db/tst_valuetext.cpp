#include "db/valuetext.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QtTest>

#include <cfloat>
#include <cmath>
#include <limits>

using namespace rux;

class TestValueText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void formatsReals_data();
    void formatsReals();
    void formatsRealsRoundTrip_data();
    void formatsRealsRoundTrip();
    void recognisesYesNoTypes_data();
    void recognisesYesNoTypes();
    void formatsValues_data();
    void formatsValues();
};

void TestValueText::formatsReals_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("point");
    QTest::addColumn<QString>("expected");

    const QString dot = QStringLiteral(".");
    const QString comma = QStringLiteral(",");
    QTest::newRow("zero") << 0.0 << dot << "0";
    QTest::newRow("negative_zero") << -0.0 << dot << "0";
    QTest::newRow("one") << 1.0 << dot << "1";
    QTest::newRow("negative_one_and_a_half") << -1.5 << dot << "-1.5";
    QTest::newRow("one_tenth") << 0.1 << dot << "0.1";
    QTest::newRow("one_third") << 1.0 / 3.0 << dot << "0.333333333333333";
    QTest::newRow("two_thirds_rounds_up") << 2.0 / 3.0 << dot << "0.666666666666667";
    QTest::newRow("sum_with_binary_error") << 0.1 + 0.2 << dot << "0.3";
    QTest::newRow("hundred") << 100.0 << dot << "100";
    QTest::newRow("integral_with_trailing_zeros") << 1234500.0 << dot << "1234500";
    QTest::newRow("fifteen_digits") << 123456789012345.0 << dot << "123456789012345";
    QTest::newRow("largest_fixed") << 999999999999999.0 << dot << "999999999999999";
    QTest::newRow("rounds_up_to_next_exponent") << 999999999999999.9 << dot << "1E15";
    QTest::newRow("ten_to_fifteen") << 1e15 << dot << "1E15";
    QTest::newRow("more_than_fifteen_digits") << 1234567890123456789.0 << dot
                                              << "1.23456789012346E18";
    QTest::newRow("ten_to_twenty") << 1e20 << dot << "1E20";
    QTest::newRow("smallest_fixed_exponent") << 1e-5 << dot << "0.00001";
    QTest::newRow("fixed_small_with_digits") << 1.25e-5 << dot << "0.0000125";
    QTest::newRow("below_fixed_range") << 9.99e-6 << dot << "9.99E-6";
    QTest::newRow("scientific_negative_exponent") << 1.5e-7 << dot << "1.5E-7";
    QTest::newRow("negative_scientific") << -2.5e30 << dot << "-2.5E30";
    QTest::newRow("largest_double") << DBL_MAX << dot << "1.79769313486232E308";
    QTest::newRow("smallest_denormal") << 5e-324 << dot << "4.94065645841247E-324";
    QTest::newRow("not_a_number") << std::numeric_limits<double>::quiet_NaN() << dot << "NAN";
    QTest::newRow("positive_infinity") << std::numeric_limits<double>::infinity() << dot << "INF";
    QTest::newRow("negative_infinity") << -std::numeric_limits<double>::infinity() << dot
                                       << "-INF";
    QTest::newRow("decimal_comma") << -1234.5 << comma << "-1234,5";
    QTest::newRow("decimal_comma_small") << 0.001 << comma << "0,001";
    QTest::newRow("decimal_comma_scientific") << 1.5e-7 << comma << "1,5E-7";
    QTest::newRow("no_grouping") << 1234567.25 << dot << "1234567.25";
}

void TestValueText::formatsReals()
{
    QFETCH(double, value);
    QFETCH(QString, point);
    QFETCH(QString, expected);
    QCOMPARE(formatReal(value, point.at(0)), expected);
}

// The text must name the value rounded to 15 significant digits exactly:
// reading it back gives the same double as rounding the value through
// "%.14e".
void TestValueText::formatsRealsRoundTrip_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("pi") << M_PI;
    QTest::newRow("e_large") << M_E * 1e14;
    QTest::newRow("tiny") << 1.2345678901234567e-300;
    QTest::newRow("half_way_digits") << 0.1234567890123455;
    QTest::newRow("negative_mid") << -98765.43210987654;
}

void TestValueText::formatsRealsRoundTrip()
{
    QFETCH(double, value);
    const double expected = QByteArray::number(value, 'e', 14).toDouble();
    bool ok = false;
    const double back = formatReal(value, u'.').toDouble(&ok);
    QVERIFY(ok);
    QCOMPARE(back, expected);
}

void TestValueText::recognisesYesNoTypes_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("yesNo");

    QTest::newRow("boolean") << "BOOLEAN" << true;
    QTest::newRow("boolean_lower") << "boolean" << true;
    QTest::newRow("bool") << "Bool" << true;
    QTest::newRow("bit") << "bit" << true;
    QTest::newRow("bit_with_size") << "bit(1)" << true;
    QTest::newRow("bit_with_spaced_size") << " BIT ( 1 ) " << true;
    QTest::newRow("yesno") << "YesNo" << true;
    QTest::newRow("logical") << "logical" << true;
    QTest::newRow("blanks_around") << "  boolean\t" << true;
    QTest::newRow("integer") << "INTEGER" << false;
    QTest::newRow("tinyint") << "tinyint(1)" << false;
    QTest::newRow("bit_varying") << "BIT VARYING(8)" << false;
    QTest::newRow("bits") << "bits" << false;
    QTest::newRow("yes_no_with_blank") << "YES NO" << false;
    QTest::newRow("unclosed_size") << "bit(1" << false;
    QTest::newRow("size_not_a_number") << "bit(x)" << false;
    QTest::newRow("empty") << "" << false;
}

void TestValueText::recognisesYesNoTypes()
{
    QFETCH(QString, type);
    QFETCH(bool, yesNo);
    QCOMPARE(isYesNoType(type), yesNo);
}

void TestValueText::formatsValues_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("yesNo");
    QTest::addColumn<QString>("expected");

    QTest::newRow("invalid_variant") << QVariant() << false << "";
    QTest::newRow("null_integer") << QVariant(QMetaType::fromType<int>()) << false << "";
    QTest::newRow("null_text") << QVariant(QMetaType::fromType<QString>()) << false << "";
    QTest::newRow("null_in_yes_no_column") << QVariant(QMetaType::fromType<int>()) << true << "";
    QTest::newRow("empty_text") << QVariant(QStringLiteral("")) << false << "";
    QTest::newRow("text_as_stored") << QVariant(QStringLiteral(" a\tb \r\n")) << false
                                    << " a\tb \r\n";
    QTest::newRow("int") << QVariant(int(-42)) << false << "-42";
    QTest::newRow("long_long") << QVariant(qlonglong(-9223372036854775807LL - 1)) << false
                               << "-9223372036854775808";
    QTest::newRow("unsigned_long_long") << QVariant(qulonglong(18446744073709551615ULL)) << false
                                        << "18446744073709551615";
    QTest::newRow("unsigned_int") << QVariant(uint(4000000000U)) << false << "4000000000";
    QTest::newRow("short") << QVariant::fromValue(short(-7)) << false << "-7";
    QTest::newRow("bool_true_plain") << QVariant(true) << false << "1";
    QTest::newRow("bool_false_plain") << QVariant(false) << false << "0";
    QTest::newRow("double") << QVariant(2.5) << false << "2.5";
    QTest::newRow("double_large") << QVariant(1e20) << false << "1E20";
    QTest::newRow("float") << QVariant(0.5f) << false << "0.5";
    QTest::newRow("blob_windows_1252") << QVariant(QByteArray("caf\xe9 \x80", 6)) << false
                                       << QStringLiteral("café €");
    QTest::newRow("date") << QVariant(QDate(2024, 3, 7)) << false << "2024-03-07";
    QTest::newRow("date_small_year") << QVariant(QDate(33, 1, 2)) << false << "0033-01-02";
    QTest::newRow("date_time") << QVariant(QDateTime(QDate(2024, 12, 31), QTime(23, 5, 9, 999)))
                               << false << "2024-12-31 23:05:09";
    QTest::newRow("time") << QVariant(QTime(7, 8, 9, 500)) << false << "07:08:09";
    QTest::newRow("invalid_date") << QVariant(QDate()) << false << "";

    QTest::newRow("yes_no_int_one") << QVariant(1) << true << "Wahr";
    QTest::newRow("yes_no_int_minus_one") << QVariant(-1) << true << "Wahr";
    QTest::newRow("yes_no_int_zero") << QVariant(0) << true << "Falsch";
    QTest::newRow("yes_no_long_long") << QVariant(qlonglong(1) << 40) << true << "Wahr";
    QTest::newRow("yes_no_bool_true") << QVariant(true) << true << "Wahr";
    QTest::newRow("yes_no_bool_false") << QVariant(false) << true << "Falsch";
    QTest::newRow("yes_no_real_fraction") << QVariant(0.25) << true << "Wahr";
    QTest::newRow("yes_no_real_zero") << QVariant(0.0) << true << "Falsch";
    QTest::newRow("yes_no_text_one") << QVariant(QStringLiteral("1")) << true << "Wahr";
    QTest::newRow("yes_no_text_zero") << QVariant(QStringLiteral("0")) << true << "Falsch";
    QTest::newRow("yes_no_text_true_any_case") << QVariant(QStringLiteral("tRuE")) << true
                                               << "Wahr";
    QTest::newRow("yes_no_text_false") << QVariant(QStringLiteral("FALSE")) << true << "Falsch";
    QTest::newRow("yes_no_other_text_as_stored") << QVariant(QStringLiteral("ja")) << true
                                                 << "ja";
    QTest::newRow("yes_no_text_with_blank_as_stored") << QVariant(QStringLiteral(" 1")) << true
                                                      << " 1";
}

void TestValueText::formatsValues()
{
    QFETCH(QVariant, value);
    QFETCH(bool, yesNo);
    QFETCH(QString, expected);
    QCOMPARE(valueAsString(value, yesNo, u'.'), expected);
}

QTEST_GUILESS_MAIN(TestValueText)
#include "tst_valuetext.moc"
