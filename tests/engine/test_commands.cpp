// The command catalogue, the reply verdicts, the log kinds, the error text
// rule and the spin edit's rules.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "Commands.h"
#include "ErrorText.h"
#include "LogHelpers.h"
#include "SpinRules.h"
#include "XComErr.h"

TEST(Catalogue, CommandTextsAndTitles)
{
    const char *expected[] = {"ATI0",      "AT+xKPV3=?", "AT+xKPV4=?", "AT+xKPV8=?",
                              "AT+xKPV3=", "AT+xKPV4=",  "AT+xKPV8=",  "AT+xKPV9=?",
                              "AT+xKPV9=", "AT+xKPV0=?", "AT+xKPV0="};
    for (int i = 0; i < ATCommandCount; ++i)
        EXPECT_STREQ(AT_Cmd[i], expected[i]) << i;
    EXPECT_STREQ(AT_Title[acInfo], "контроль \"Vexo\"");
    EXPECT_STREQ(AT_Title[acRdSpeedPrn], "чтение скорости порта \"RS232\" Vexo для принтера");
    EXPECT_STREQ(AT_Title[acWrAdrModBus], "запись адреса для \"ModBus\"");
    EXPECT_STREQ(AT_Title[acWrKLV707], "запись флага работы с \"КЛВ-707\"");
    EXPECT_STREQ(AT_Title[acWrSpeedIO], "запись скорости порта \"I/O\" Vexo");
}

TEST(Speeds, SpeedToCodeIgnoresSpacesAndFallsBackToTheTop)
{
    const struct {
        const char *text;
        char code;
    } cases[] = {{"1200", '0'}, {"2400", '1'},   {"4800", '2'},   {"9600", '3'},
                 {"19200", '4'}, {"38400", '5'}, {"57600", '6'}, {"115200", '7'},
                 {"19 200", '4'}, {" 9600 ", '3'}, {"abc", '7'},  {"", '7'},
                 {"14400", '7'}, {"019200", '7'}};
    for (const auto &c : cases)
        EXPECT_EQ(SpeedToCode(c.text), c.code) << c.text;
}

TEST(Speeds, CodeToSpeed)
{
    EXPECT_EQ(CodeToSpeed("4"), "19200");
    EXPECT_EQ(CodeToSpeed("0"), "1200");
    EXPECT_EQ(CodeToSpeed("7"), "115200");
    EXPECT_EQ(CodeToSpeed("12"), "") << "no speed for 12: empty quotes";
    EXPECT_EQ(CodeToSpeed("263"), "115200") << "low 8 bits: 263 is 7";
    EXPECT_EQ(CodeToSpeed(" 1 "), "2400");
    EXPECT_EQ(CodeToSpeed("-1"), "") << "-1 is 255 in its low byte";
    EXPECT_EQ(CodeToSpeed("-249"), "115200") << "-249 is 7 in its low byte";
    EXPECT_EQ(CodeToSpeed("ERROR"), "брак ответа");
    EXPECT_EQ(CodeToSpeed("7OK"), "брак ответа");
    EXPECT_EQ(CodeToSpeed(""), "брак ответа");
    // Pass the character test yet are no number: still a verdict, not an error.
    EXPECT_EQ(CodeToSpeed("5-"), "брак ответа");
    EXPECT_EQ(CodeToSpeed("--"), "брак ответа");
    EXPECT_EQ(CodeToSpeed("99999999999999999999"), "брак ответа");
}

TEST(Verdicts, ByCommandKind)
{
    EXPECT_EQ(Verdict(acInfo, "Vexo v03.17"), "Vexo v03.17");
    EXPECT_EQ(Verdict(acInfo, ""), "");
    EXPECT_EQ(Verdict(acRdSpeedRS, "4"), "скорость RS = \"19200\"");
    EXPECT_EQ(Verdict(acRdSpeedPrn, "12"), "скорость RS = \"\"");
    EXPECT_EQ(Verdict(acRdSpeedIO, ""), "скорость RS = \"брак ответа\"");
    EXPECT_EQ(Verdict(acRdSpeedRS, "5-"), "скорость RS = \"брак ответа\"");
    EXPECT_EQ(Verdict(acRdAdrModBus, " 1 7 "), " 1 7 ") << "shown as received";
    EXPECT_EQ(Verdict(acRdAdrModBus, "5-"), "5-") << "only the character test applies";
    EXPECT_EQ(Verdict(acRdAdrModBus, ""), "брак ответа");
    EXPECT_EQ(Verdict(acRdAdrModBus, "+5"), "брак ответа");
    for (int w : {acWrSpeedRS, acWrSpeedPrn, acWrAdrModBus, acWrKLV707, acWrSpeedIO}) {
        EXPECT_EQ(Verdict(w, "OK"), "запись норма") << w;
        EXPECT_EQ(Verdict(w, "ok"), "запись брак") << w;
        EXPECT_EQ(Verdict(w, "OK OK"), "запись брак") << w;
        EXPECT_EQ(Verdict(w, "AT+xKPV3=7OK"), "запись брак") << "echo before OK";
        EXPECT_EQ(Verdict(w, ""), "запись брак") << w;
    }
    EXPECT_EQ(Verdict(acRdKLV707, "1"), "поддержка КЛВ-707 включена");
    EXPECT_EQ(Verdict(acRdKLV707, "0"), "выключена поддержка КЛВ-707");
    EXPECT_EQ(Verdict(acRdKLV707, "2"), "ответ брак");
    EXPECT_EQ(Verdict(acRdKLV707, " 1"), "ответ брак");
    EXPECT_EQ(Verdict(acRdKLV707, ""), "ответ брак");
}

TEST(log_kinds, FixedColours)
{
    EXPECT_EQ(LogKindColour(lkCommand), (TColour{0, 0, 255}));
    EXPECT_EQ(LogKindColour(lkReply), (TColour{128, 0, 0}));
    EXPECT_EQ(LogKindColour(lkError), (TColour{255, 0, 0}));
    EXPECT_EQ(LogKindColour(1), (TColour{0, 0, 255}));
    EXPECT_EQ(LogKindColour(0), (TColour{0, 0, 0}));
    EXPECT_EQ(LogKindColour(4), (TColour{0, 0, 0}));
    EXPECT_STREQ(LogFontFamily, "Courier New");
}

TEST(log_kinds, ActivityBarStepsByTenAndStartsAgainAfterFull)
{
    int position = 0;
    for (int i = 1; i <= 10; ++i) {
        position = StepBar(position);
        EXPECT_EQ(position, i * 10);
    }
    EXPECT_EQ(StepBar(position), 0) << "the step past 100 starts again";
    EXPECT_EQ(StepBar(95), 0);
}

TEST(ErrorBox, FullStopRule)
{
    EXPECT_EQ(WithFullStop("Device not opened."), "Device not opened.");
    EXPECT_EQ(WithFullStop("'5-' is not a valid integer value"), "'5-' is not a valid integer value.");
    EXPECT_EQ(WithFullStop("ends with ("), "ends with (");
    EXPECT_EQ(WithFullStop("ends with -"), "ends with -") << "'-' comes before '.'";
    EXPECT_EQ(WithFullStop("ends with /"), "ends with /.");
    EXPECT_EQ(WithFullStop("порт"), "порт.");
    EXPECT_EQ(WithFullStop(""), "");
    // by the code page, not by the UTF-8 bytes: a no-break space is 0xA0 there
    EXPECT_EQ(WithFullStop("x\u00a0"), "x\u00a0.");
    EXPECT_EQ(WithFullStop("x\u4e2d"), "x\u4e2d.") << "no byte in the code page: after the full stop";
}

TEST(ErrorBox, ExceptionMessagesAndTitle)
{
    EXPECT_EQ(AppTitle(), "ПО \"AT_Vexo\"");
    EXPECT_EQ(ExceptionMessage(std::make_exception_ptr(std::runtime_error("порт"))), "порт");
    try {
        RaiseDeviceError(1);
    } catch (...) {
        EXPECT_EQ(ExceptionMessage(std::current_exception()), "Device not opened.");
    }
    EXPECT_EQ(ExceptionMessage(std::make_exception_ptr(42)), "Unknown error");
}

TEST(SpinRules, TypedTextStaysUnlessAWholeNumberIsOutOfRange)
{
    EXPECT_EQ(SpinClampOnFocusOut("0", 1, 250), "1");
    EXPECT_EQ(SpinClampOnFocusOut("300", 1, 250), "250");
    EXPECT_EQ(SpinClampOnFocusOut("-7", 1, 250), "1");
    EXPECT_EQ(SpinClampOnFocusOut("+300", 1, 250), "250");
    EXPECT_EQ(SpinClampOnFocusOut("99999999999999999999", 1, 250), "250");
    EXPECT_EQ(SpinClampOnFocusOut("17", 1, 250), "17");
    for (const char *kept : {"", "1,5", "+5", "007", "-", "1.0", "+"})
        EXPECT_EQ(SpinClampOnFocusOut(kept, 1, 250), kept) << kept;
}

TEST(SpinRules, AcceptedCharactersValueAndSteps)
{
    EXPECT_TRUE(SpinAccepts("+-,.0123456789"));
    EXPECT_TRUE(SpinAccepts(""));
    EXPECT_FALSE(SpinAccepts("1 2"));
    EXPECT_FALSE(SpinAccepts("a"));
    EXPECT_FALSE(SpinAccepts("\u0663")); // other digit sets are not digits here

    EXPECT_EQ(SpinValue("17", 1, 250), 17);
    EXPECT_EQ(SpinValue("+5", 1, 250), 5);
    EXPECT_EQ(SpinValue("300", 1, 250), 250);
    EXPECT_EQ(SpinValue("1,5", 1, 250), 1) << "no whole number: the minimum";
    EXPECT_EQ(SpinValue("", 1, 250), 1);

    EXPECT_EQ(SpinStep("17", 1, 1, 250), "18");
    EXPECT_EQ(SpinStep("17", -1, 1, 250), "16");
    EXPECT_EQ(SpinStep("250", 1, 1, 250), "250");
    EXPECT_EQ(SpinStep("1", -1, 1, 250), "1");
    EXPECT_EQ(SpinStep("", 1, 1, 250), "2");
    EXPECT_EQ(SpinStep("007", 1, 1, 250), "8");
    EXPECT_EQ(SpinStep("400", -1, 1, 250), "249") << "from the clamped value";
    EXPECT_EQ(SpinStep("5", 10, 1, 250), "15");
}
