// String utilities and the integer-text helpers.
#include <gtest/gtest.h>

#include <QString>
#include <QStringDecoder>

#include <random>
#include <string>

#include "LogHelpers.h"
#include "Str_UtRx.h"
#include "SysUtils.h"

namespace {

QString U(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

std::string ThrownMessage(const QString &text)
{
    try {
        (void)IntTextValue(text);
    } catch (const EConvertError &e) {
        return e.what();
    }
    return "(no exception)";
}

} // namespace

TEST(text_StripCtrl, DropsLineEndsAndControlCodes)
{
    EXPECT_EQ(StripCtrl(U("OK\r\n")), U("OK"));
    EXPECT_TRUE(StripCtrl(U("\r\n")).isEmpty());
    EXPECT_EQ(StripCtrl(U("\tA\x01" "B\x1f" "C\x1b")), U("ABC"));
    EXPECT_EQ(StripCtrl(QString(QChar(0)) + U("x") + QChar(0)), U("x"));
    EXPECT_EQ(StripCtrl(U("ОК ответ\r\n")), U("ОК ответ"));
}

TEST(text_StripCtrl, KeepsCodes32To255InOrder)
{
    QString all;
    QString kept;
    for (char16_t u = 0; u < 256; ++u) {
        all.append(QChar(u));
        if (u >= 32)
            kept.append(QChar(u));
    }
    EXPECT_EQ(StripCtrl(all), kept);
    EXPECT_EQ(StripCtrl(all + all), kept + kept);
}

TEST(text_StripCtrl, ByteFormMatchesTheDecodedForm)
{
    std::string bytes;
    for (int b = 255; b >= 0; --b)
        bytes.push_back(static_cast<char>(b));
    const std::string stripped = StripCtrl(bytes);
    ASSERT_EQ(stripped.size(), 224u);
    for (std::size_t i = 0; i < stripped.size(); ++i)
        EXPECT_EQ(static_cast<unsigned char>(stripped[i]), 255 - i);
    EXPECT_EQ(StripCtrl(std::string("OK\r\n")), "OK");
    EXPECT_EQ(StripCtrl(std::string("\r\n")), "");

    // Replies are decoded before they are stripped: the result must not
    // depend on the order.
    QStringDecoder decodeA("windows-1251");
    QStringDecoder decodeB("windows-1251");
    ASSERT_TRUE(decodeA.isValid());
    const QString decodedThenStripped = StripCtrl(QString(decodeA(QByteArray::fromStdString(bytes))));
    const QString strippedThenDecoded = decodeB(QByteArray::fromStdString(stripped));
    EXPECT_EQ(decodedThenStripped, strippedThenDecoded);
}

TEST(text_DelChar, RemovesEveryOccurrence)
{
    EXPECT_EQ(DelChar(U("banana"), u'a'), U("bnn"));
    EXPECT_EQ(DelChar(U("aaaa"), u'a'), U(""));
    EXPECT_EQ(DelChar(U("abcabc"), u'c'), U("abab"));
    EXPECT_EQ(DelChar(U("xyz"), u'q'), U("xyz"));
    EXPECT_EQ(DelChar(U(""), u'a'), U(""));
    EXPECT_EQ(DelChar(U("ДаДа-да"), QChar(u'Д')), U("аа-да"));
    EXPECT_EQ(DelChar(U("a-b-c-"), u'-'), U("abc"));
}

TEST(text_DelSpaces, RemovesOnlyPlainSpaces)
{
    EXPECT_EQ(DelSpaces(U(" 1 2 ")), U("12"));
    EXPECT_EQ(DelSpaces(U("   ")), U(""));
    EXPECT_EQ(DelSpaces(U("COM 1  0")), U("COM10"));
    EXPECT_EQ(DelSpaces(U("\t1 \t")), U("\t1\t"));
    EXPECT_EQ(DelSpaces(U("1\u00a02 3")), U("1\u00a023"));
}

TEST(text_OneSpace, FoldsRunsKeepsSingleSpaces)
{
    EXPECT_EQ(OneSpace(U("a    b  ")), U("a b "));
    EXPECT_EQ(OneSpace(U("COM  3")), U("COM 3"));
    EXPECT_EQ(OneSpace(U("  a")), U(" a"));
    EXPECT_EQ(OneSpace(U(" a b ")), U(" a b "));
    EXPECT_EQ(OneSpace(U(" ")), U(" "));
    EXPECT_EQ(OneSpace(U("")), U(""));
    EXPECT_EQ(OneSpace(QString(1000, u' ')), U(" "));
    EXPECT_EQ(OneSpace(U("а  б")), U("а б"));
    // only spaces fold; tabs and no-break spaces are other characters
    EXPECT_EQ(OneSpace(U("a\t\tb")), U("a\t\tb"));
    EXPECT_EQ(OneSpace(U(" \t ")), U(" \t "));
    EXPECT_EQ(OneSpace(U("\u00a0\u00a0 ")), U("\u00a0\u00a0 "));
}

TEST(text_OneSpace, PropertiesOnRandomTexts)
{
    std::mt19937 rng(1251);
    const QString alphabet = U("  ab\tЖ");
    for (int round = 0; round < 500; ++round) {
        QString text;
        const int len = int(rng() % 40);
        for (int i = 0; i < len; ++i)
            text.append(alphabet[qsizetype(rng() % alphabet.size())]);
        const QString folded = OneSpace(text);
        SCOPED_TRACE(text.toStdString());
        EXPECT_FALSE(folded.contains(U("  ")));
        EXPECT_EQ(DelSpaces(folded), DelSpaces(text));
        EXPECT_EQ(OneSpace(folded), folded);
        EXPECT_EQ(folded.startsWith(u' '), text.startsWith(u' '));
        EXPECT_EQ(folded.endsWith(u' '), text.endsWith(u' '));
        // every run of spaces leaves exactly one
        qsizetype runs = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == u' ' && (i == 0 || text[i - 1] != u' '))
                ++runs;
        }
        EXPECT_EQ(folded.count(u' '), runs);
    }
}

TEST(text_IsIntText, AcceptsDigitsAndMinusOnly)
{
    EXPECT_FALSE(IsIntText(U("")));
    EXPECT_FALSE(IsIntText(U("  ")));
    EXPECT_TRUE(IsIntText(U(" 1 2 ")));
    EXPECT_TRUE(IsIntText(U("0")));
    EXPECT_TRUE(IsIntText(U("-5")));
    EXPECT_TRUE(IsIntText(U("5-")));
    EXPECT_TRUE(IsIntText(U("--")));
    EXPECT_TRUE(IsIntText(U("-")));
    EXPECT_TRUE(IsIntText(U("0123456789")));
    EXPECT_FALSE(IsIntText(U("+5")));
    EXPECT_FALSE(IsIntText(U("5.0")));
    EXPECT_FALSE(IsIntText(U("0x10")));
    EXPECT_FALSE(IsIntText(U("12a")));
    EXPECT_FALSE(IsIntText(U("1\t")));       // a tab is not a space
    EXPECT_FALSE(IsIntText(U("1\u00a02")));  // nor is a no-break space
    EXPECT_FALSE(IsIntText(U("\u0663")));    // Arabic-Indic three
    EXPECT_FALSE(IsIntText(U("\uff11")));    // full-width one
    EXPECT_FALSE(IsIntText(U("\u2212" "5"))); // minus sign, not hyphen-minus
    EXPECT_FALSE(IsIntText(U("OK\r\n")));
}

TEST(text_IntTextValue, ValueOfTheSpaceFreeText)
{
    EXPECT_EQ(IntTextValue(U(" 1 2 ")), 12);
    EXPECT_EQ(IntTextValue(U("-5")), -5);
    EXPECT_EQ(IntTextValue(U("- 4 2")), -42);
    EXPECT_EQ(IntTextValue(U("007")), 7);
    EXPECT_EQ(IntTextValue(U("-0")), 0);
    EXPECT_EQ(IntTextValue(U("0000000000000000000000000001")), 1);
    EXPECT_EQ(IntTextValue(U("19200")), 19200);
    EXPECT_EQ(IntTextValue(U("9223372036854775807")), std::numeric_limits<qint64>::max());
    EXPECT_EQ(IntTextValue(U("-9223372036854775808")), std::numeric_limits<qint64>::min());
    EXPECT_EQ(IntTextValue(U("-9223372036854775807")), std::numeric_limits<qint64>::min() + 1);
    EXPECT_EQ(IntTextValue(U("922337203685477580 7")), std::numeric_limits<qint64>::max());
}

TEST(text_IntTextValue, ZeroWhenNotIntegerText)
{
    EXPECT_EQ(IntTextValue(U("")), 0);
    EXPECT_EQ(IntTextValue(U("   ")), 0);
    EXPECT_EQ(IntTextValue(U("+5")), 0);
    EXPECT_EQ(IntTextValue(U("5.0")), 0);
    EXPECT_EQ(IntTextValue(U("0x10")), 0);
    EXPECT_EQ(IntTextValue(U("ERROR")), 0);
}

TEST(text_IntTextValue, MalformedIntegerTextThrowsConversionError)
{
    EXPECT_THROW(IntTextValue(U("-")), EConvertError);
    EXPECT_THROW(IntTextValue(U("--")), EConvertError);
    EXPECT_THROW(IntTextValue(U("5-")), EConvertError);
    EXPECT_THROW(IntTextValue(U("1-2")), EConvertError);
    EXPECT_THROW(IntTextValue(U("--5")), EConvertError);
    EXPECT_THROW(IntTextValue(U("9223372036854775808")), EConvertError);
    EXPECT_THROW(IntTextValue(U("-9223372036854775809")), EConvertError);
    EXPECT_THROW(IntTextValue(U("99999999999999999999")), EConvertError);
    EXPECT_THROW(IntTextValue(U("18446744073709551616")), EConvertError); // 2^64 wraps to 0 if unchecked

    EXPECT_EQ(ThrownMessage(U("5-")), "'5-' is not a valid integer value");
    EXPECT_EQ(ThrownMessage(U(" 5 - ")), "'5-' is not a valid integer value");
    EXPECT_EQ(ThrownMessage(U("-")), "'-' is not a valid integer value");
    EXPECT_EQ(ThrownMessage(U("- -")), "'--' is not a valid integer value");
    EXPECT_EQ(ThrownMessage(U("9223372036854775808")),
              "'9223372036854775808' is not a valid integer value");

    // the run-time library's error family, as the top-level handler sees it
    try {
        (void)IntTextValue(U("--"));
        ADD_FAILURE() << "no exception";
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), "'--' is not a valid integer value");
    }
}
