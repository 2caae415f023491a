// String utilities, the integer-text helpers and code page 1251.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>

#include "Cp1251.h"
#include "LogHelpers.h"
#include "Str_UtRx.h"
#include "SysUtils.h"

namespace {

std::string ThrownMessage(const std::string &text)
{
    try {
        (void)IntTextValue(text);
    } catch (const EConvertError &e) {
        return e.what();
    }
    return "(no exception)";
}

// The UTF-8 form of one code point (below U+0800 is enough here).
std::string Utf8(char32_t c)
{
    std::string s;
    if (c < 0x80) {
        s.push_back(char(c));
    } else {
        s.push_back(char(0xC0 | (c >> 6)));
        s.push_back(char(0x80 | (c & 0x3F)));
    }
    return s;
}

} // namespace

TEST(text_StripCtrl, DropsLineEndsAndControlCodes)
{
    EXPECT_EQ(StripCtrl("OK\r\n"), "OK");
    EXPECT_TRUE(StripCtrl("\r\n").empty());
    EXPECT_EQ(StripCtrl("\tA\x01" "B\x1f" "C\x1b"), "ABC");
    EXPECT_EQ(StripCtrl(std::string("\0x\0", 3)), "x");
    EXPECT_EQ(StripCtrl("ОК ответ\r\n"), "ОК ответ");
}

TEST(text_StripCtrl, KeepsCodes32To255InOrder)
{
    std::string all;
    std::string kept;
    for (char32_t u = 0; u < 256; ++u) {
        all += Utf8(u);
        if (u >= 32)
            kept += Utf8(u);
    }
    EXPECT_EQ(StripCtrl(all), kept);
    EXPECT_EQ(StripCtrl(all + all), kept + kept);
}

TEST(text_StripCtrl, DecodingAndStrippingCommute)
{
    std::string bytes;
    for (int b = 255; b >= 0; --b)
        bytes.push_back(static_cast<char>(b));
    const std::string stripped = StripCtrl(bytes);
    ASSERT_EQ(stripped.size(), 224u);
    for (std::size_t i = 0; i < stripped.size(); ++i)
        EXPECT_EQ(static_cast<unsigned char>(stripped[i]), 255 - i);
    // Replies are decoded before they are stripped: the result must not
    // depend on the order.
    EXPECT_EQ(StripCtrl(Cp1251Decode(bytes)), Cp1251Decode(stripped));
}

TEST(text_DelChar, RemovesEveryOccurrence)
{
    EXPECT_EQ(DelChar("banana", "a"), "bnn");
    EXPECT_EQ(DelChar("aaaa", "a"), "");
    EXPECT_EQ(DelChar("abcabc", "c"), "abab");
    EXPECT_EQ(DelChar("xyz", "q"), "xyz");
    EXPECT_EQ(DelChar("", "a"), "");
    EXPECT_EQ(DelChar("ДаДа-да", "Д"), "аа-да");
    EXPECT_EQ(DelChar("a-b-c-", "-"), "abc");
    // a character never matches inside another one: U+0420 and U+0440 share a byte
    EXPECT_EQ(DelChar("РрР", "Р"), "р");
}

TEST(text_DelSpaces, RemovesOnlyPlainSpaces)
{
    EXPECT_EQ(DelSpaces(" 1 2 "), "12");
    EXPECT_EQ(DelSpaces("   "), "");
    EXPECT_EQ(DelSpaces("COM 1  0"), "COM10");
    EXPECT_EQ(DelSpaces("\t1 \t"), "\t1\t");
    EXPECT_EQ(DelSpaces("1\u00a02 3"), "1\u00a023");
}

TEST(text_OneSpace, FoldsRunsKeepsSingleSpaces)
{
    EXPECT_EQ(OneSpace("a    b  "), "a b ");
    EXPECT_EQ(OneSpace("COM  3"), "COM 3");
    EXPECT_EQ(OneSpace("  a"), " a");
    EXPECT_EQ(OneSpace(" a b "), " a b ");
    EXPECT_EQ(OneSpace(" "), " ");
    EXPECT_EQ(OneSpace(""), "");
    EXPECT_EQ(OneSpace(std::string(1000, ' ')), " ");
    EXPECT_EQ(OneSpace("а  б"), "а б");
    // only spaces fold; tabs and no-break spaces are other characters
    EXPECT_EQ(OneSpace("a\t\tb"), "a\t\tb");
    EXPECT_EQ(OneSpace(" \t "), " \t ");
    EXPECT_EQ(OneSpace("\u00a0\u00a0 "), "\u00a0\u00a0 ");
}

TEST(text_OneSpace, PropertiesOnRandomTexts)
{
    std::mt19937 rng(1251);
    const std::string alphabet[] = {" ", " ", "a", "b", "\t", "Ж"};
    for (int round = 0; round < 500; ++round) {
        std::string text;
        const int len = int(rng() % 40);
        for (int i = 0; i < len; ++i)
            text += alphabet[rng() % 6];
        const std::string folded = OneSpace(text);
        SCOPED_TRACE(text);
        EXPECT_EQ(folded.find("  "), std::string::npos);
        EXPECT_EQ(DelSpaces(folded), DelSpaces(text));
        EXPECT_EQ(OneSpace(folded), folded);
        EXPECT_EQ(folded.starts_with(' '), text.starts_with(' '));
        EXPECT_EQ(folded.ends_with(' '), text.ends_with(' '));
        // every run of spaces leaves exactly one
        std::size_t runs = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == ' ' && (i == 0 || text[i - 1] != ' '))
                ++runs;
        }
        EXPECT_EQ(std::size_t(std::count(folded.begin(), folded.end(), ' ')), runs);
    }
}

TEST(text_IsIntText, AcceptsDigitsAndMinusOnly)
{
    EXPECT_FALSE(IsIntText(""));
    EXPECT_FALSE(IsIntText("  "));
    EXPECT_TRUE(IsIntText(" 1 2 "));
    EXPECT_TRUE(IsIntText("0"));
    EXPECT_TRUE(IsIntText("-5"));
    EXPECT_TRUE(IsIntText("5-"));
    EXPECT_TRUE(IsIntText("--"));
    EXPECT_TRUE(IsIntText("-"));
    EXPECT_TRUE(IsIntText("0123456789"));
    EXPECT_FALSE(IsIntText("+5"));
    EXPECT_FALSE(IsIntText("5.0"));
    EXPECT_FALSE(IsIntText("0x10"));
    EXPECT_FALSE(IsIntText("12a"));
    EXPECT_FALSE(IsIntText("1\t"));        // a tab is not a space
    EXPECT_FALSE(IsIntText("1\u00a02"));   // nor is a no-break space
    EXPECT_FALSE(IsIntText("\u0663"));     // Arabic-Indic three
    EXPECT_FALSE(IsIntText("\uff11"));     // full-width one
    EXPECT_FALSE(IsIntText("\u2212" "5")); // minus sign, not hyphen-minus
    EXPECT_FALSE(IsIntText("OK\r\n"));
}

TEST(text_IntTextValue, ValueOfTheSpaceFreeText)
{
    EXPECT_EQ(IntTextValue(" 1 2 "), 12);
    EXPECT_EQ(IntTextValue("-5"), -5);
    EXPECT_EQ(IntTextValue("- 4 2"), -42);
    EXPECT_EQ(IntTextValue("007"), 7);
    EXPECT_EQ(IntTextValue("-0"), 0);
    EXPECT_EQ(IntTextValue("0000000000000000000000000001"), 1);
    EXPECT_EQ(IntTextValue("19200"), 19200);
    EXPECT_EQ(IntTextValue("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(IntTextValue("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(IntTextValue("-9223372036854775807"), std::numeric_limits<std::int64_t>::min() + 1);
    EXPECT_EQ(IntTextValue("922337203685477580 7"), std::numeric_limits<std::int64_t>::max());
}

TEST(text_IntTextValue, ZeroWhenNotIntegerText)
{
    EXPECT_EQ(IntTextValue(""), 0);
    EXPECT_EQ(IntTextValue("   "), 0);
    EXPECT_EQ(IntTextValue("+5"), 0);
    EXPECT_EQ(IntTextValue("5.0"), 0);
    EXPECT_EQ(IntTextValue("0x10"), 0);
    EXPECT_EQ(IntTextValue("ERROR"), 0);
}

TEST(text_IntTextValue, MalformedIntegerTextThrowsConversionError)
{
    EXPECT_THROW(IntTextValue("-"), EConvertError);
    EXPECT_THROW(IntTextValue("--"), EConvertError);
    EXPECT_THROW(IntTextValue("5-"), EConvertError);
    EXPECT_THROW(IntTextValue("1-2"), EConvertError);
    EXPECT_THROW(IntTextValue("--5"), EConvertError);
    EXPECT_THROW(IntTextValue("9223372036854775808"), EConvertError);
    EXPECT_THROW(IntTextValue("-9223372036854775809"), EConvertError);
    EXPECT_THROW(IntTextValue("99999999999999999999"), EConvertError);
    EXPECT_THROW(IntTextValue("18446744073709551616"), EConvertError); // 2^64 wraps to 0 if unchecked

    EXPECT_EQ(ThrownMessage("5-"), "'5-' is not a valid integer value");
    EXPECT_EQ(ThrownMessage(" 5 - "), "'5-' is not a valid integer value");
    EXPECT_EQ(ThrownMessage("-"), "'-' is not a valid integer value");
    EXPECT_EQ(ThrownMessage("- -"), "'--' is not a valid integer value");
    EXPECT_EQ(ThrownMessage("9223372036854775808"), "'9223372036854775808' is not a valid integer value");

    // the run-time library's error family, as the top-level handler sees it
    try {
        (void)IntTextValue("--");
        ADD_FAILURE() << "no exception";
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), "'--' is not a valid integer value");
    }
}

TEST(text_ReadWholeNumber, SignsDigitsAndOverflow)
{
    EXPECT_EQ(ReadWholeNumber("+5", true).State, TWholeNumber::Ok);
    EXPECT_EQ(ReadWholeNumber("+5", true).Value, 5);
    EXPECT_EQ(ReadWholeNumber("+5", false).State, TWholeNumber::NotANumber);
    EXPECT_EQ(ReadWholeNumber("-", true).State, TWholeNumber::NotANumber);
    EXPECT_EQ(ReadWholeNumber("", true).State, TWholeNumber::NotANumber);
    EXPECT_EQ(ReadWholeNumber(" 5", true).State, TWholeNumber::NotANumber);
    EXPECT_EQ(ReadWholeNumber("1,5", true).State, TWholeNumber::NotANumber);
    const TWholeNumber big = ReadWholeNumber("99999999999999999999", true);
    EXPECT_EQ(big.State, TWholeNumber::Overflow);
    EXPECT_EQ(big.Value, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(ReadWholeNumber("-99999999999999999999", true).Value, std::numeric_limits<std::int64_t>::min());
}

TEST(text_Cp1251, EveryByteDecodesAndEncodesBack)
{
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, char(b));
        const std::string text = Cp1251Decode(byte);
        ASSERT_FALSE(text.empty()) << b;
        EXPECT_EQ(Cp1251Encode(text), byte) << b;
        EXPECT_EQ(Cp1251EncodeExact(text), byte) << b;
    }
    EXPECT_EQ(Cp1251Decode("\xca\xce\xcc" "1"), "КОМ1");
    EXPECT_EQ(Cp1251Decode("\xcf\xee\xf0\xf2 \xb8\xa8"), "Порт ёЁ");
    EXPECT_EQ(Cp1251Decode("\x80\x88\xb9\xff"), "Ђ€№я");
    EXPECT_EQ(Cp1251Decode("\x98"), "\u0098") << "the byte the code page leaves undefined";
    EXPECT_EQ(Cp1251Encode("АБВ абв Ёё"), "\xc0\xc1\xc2 \xe0\xe1\xe2 \xa8\xb8");
}

TEST(text_Cp1251, CharactersWithoutAByteBecomeQuestionMarks)
{
    EXPECT_EQ(Cp1251Encode("a\u00e9b"), "a?b");     // e acute
    EXPECT_EQ(Cp1251Encode("\u4e2d"), "?");         // one CJK character, one '?'
    EXPECT_EQ(Cp1251Encode("x\U0001F600y"), "x?y"); // outside the BMP, one '?'
    EXPECT_EQ(Cp1251Encode("\xff\xc3"), "??");      // malformed UTF-8, '?' per byte
    EXPECT_EQ(Cp1251Encode("\xed\xa0\x80x"), "?x");  // an encoded surrogate, one '?'
    EXPECT_EQ(Cp1251EncodeExact("a\u00e9b"), std::nullopt);
    EXPECT_EQ(Cp1251EncodeExact("\xd0"), std::nullopt); // cut-off character
}
