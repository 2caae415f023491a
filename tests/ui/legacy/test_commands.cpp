// The command catalogue, the reply verdicts and the error box rules.
#include <gtest/gtest.h>

#include <QString>

#include <stdexcept>
#include <vector>

#include "Commands.h"
#include "ErrorHandler.h"
#include "XComErr.h"

namespace {
QString U(const char *s) { return QString::fromUtf8(s); }
} // namespace

TEST(Catalogue, CommandTextsAndTitles)
{
    const char *expected[] = {"ATI0",      "AT+xKPV3=?", "AT+xKPV4=?", "AT+xKPV8=?",
                              "AT+xKPV3=", "AT+xKPV4=",  "AT+xKPV8=",  "AT+xKPV9=?",
                              "AT+xKPV9=", "AT+xKPV0=?", "AT+xKPV0="};
    for (int i = 0; i < ATCommandCount; ++i)
        EXPECT_STREQ(AT_Cmd[i], expected[i]) << i;
    EXPECT_EQ(U(AT_Title[acInfo]), U("контроль \"Vexo\""));
    EXPECT_EQ(U(AT_Title[acRdSpeedPrn]), U("чтение скорости порта \"RS232\" Vexo для принтера"));
    EXPECT_EQ(U(AT_Title[acWrAdrModBus]), U("запись адреса для \"ModBus\""));
    EXPECT_EQ(U(AT_Title[acWrKLV707]), U("запись флага работы с \"КЛВ-707\""));
    EXPECT_EQ(U(AT_Title[acWrSpeedIO]), U("запись скорости порта \"I/O\" Vexo"));
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
        EXPECT_EQ(SpeedToCode(U(c.text)), QChar(c.code)) << c.text;
}

TEST(Speeds, CodeToSpeed)
{
    EXPECT_EQ(CodeToSpeed(U("4")), U("19200"));
    EXPECT_EQ(CodeToSpeed(U("0")), U("1200"));
    EXPECT_EQ(CodeToSpeed(U("7")), U("115200"));
    EXPECT_EQ(CodeToSpeed(U("12")), U("")) << "no speed for 12: empty quotes";
    EXPECT_EQ(CodeToSpeed(U("263")), U("115200")) << "low 8 bits: 263 is 7";
    EXPECT_EQ(CodeToSpeed(U(" 1 ")), U("2400"));
    EXPECT_EQ(CodeToSpeed(U("-1")), U("")) << "-1 is 255 in its low byte";
    EXPECT_EQ(CodeToSpeed(U("-249")), U("115200")) << "-249 is 7 in its low byte";
    EXPECT_EQ(CodeToSpeed(U("ERROR")), U("брак ответа"));
    EXPECT_EQ(CodeToSpeed(U("7OK")), U("брак ответа"));
    EXPECT_EQ(CodeToSpeed(U("")), U("брак ответа"));
    // Pass the character test yet are no number: still a verdict, not an error.
    EXPECT_EQ(CodeToSpeed(U("5-")), U("брак ответа"));
    EXPECT_EQ(CodeToSpeed(U("--")), U("брак ответа"));
    EXPECT_EQ(CodeToSpeed(U("99999999999999999999")), U("брак ответа"));
}

TEST(Verdicts, ByCommandKind)
{
    EXPECT_EQ(Verdict(acInfo, U("Vexo v03.17")), U("Vexo v03.17"));
    EXPECT_EQ(Verdict(acInfo, U("")), U(""));
    EXPECT_EQ(Verdict(acRdSpeedRS, U("4")), U("скорость RS = \"19200\""));
    EXPECT_EQ(Verdict(acRdSpeedPrn, U("12")), U("скорость RS = \"\""));
    EXPECT_EQ(Verdict(acRdSpeedIO, U("")), U("скорость RS = \"брак ответа\""));
    EXPECT_EQ(Verdict(acRdSpeedRS, U("5-")), U("скорость RS = \"брак ответа\""));
    EXPECT_EQ(Verdict(acRdAdrModBus, U(" 1 7 ")), U(" 1 7 ")) << "shown as received";
    EXPECT_EQ(Verdict(acRdAdrModBus, U("5-")), U("5-")) << "only the character test applies";
    EXPECT_EQ(Verdict(acRdAdrModBus, U("")), U("брак ответа"));
    EXPECT_EQ(Verdict(acRdAdrModBus, U("+5")), U("брак ответа"));
    for (int w : {acWrSpeedRS, acWrSpeedPrn, acWrAdrModBus, acWrKLV707, acWrSpeedIO}) {
        EXPECT_EQ(Verdict(w, U("OK")), U("запись норма")) << w;
        EXPECT_EQ(Verdict(w, U("ok")), U("запись брак")) << w;
        EXPECT_EQ(Verdict(w, U("OK OK")), U("запись брак")) << w;
        EXPECT_EQ(Verdict(w, U("AT+xKPV3=7OK")), U("запись брак")) << "echo before OK";
        EXPECT_EQ(Verdict(w, U("")), U("запись брак")) << w;
    }
    EXPECT_EQ(Verdict(acRdKLV707, U("1")), U("поддержка КЛВ-707 включена"));
    EXPECT_EQ(Verdict(acRdKLV707, U("0")), U("выключена поддержка КЛВ-707"));
    EXPECT_EQ(Verdict(acRdKLV707, U("2")), U("ответ брак"));
    EXPECT_EQ(Verdict(acRdKLV707, U(" 1")), U("ответ брак"));
    EXPECT_EQ(Verdict(acRdKLV707, U("")), U("ответ брак"));
}

TEST(ErrorBox, FullStopRule)
{
    EXPECT_EQ(WithFullStop(U("Device not opened.")), U("Device not opened."));
    EXPECT_EQ(WithFullStop(U("'5-' is not a valid integer value")), U("'5-' is not a valid integer value."));
    EXPECT_EQ(WithFullStop(U("ends with (")), U("ends with ("));
    EXPECT_EQ(WithFullStop(U("ends with -")), U("ends with -")) << "'-' comes before '.'";
    EXPECT_EQ(WithFullStop(U("ends with /")), U("ends with /."));
    EXPECT_EQ(WithFullStop(U("порт")), U("порт."));
    EXPECT_EQ(WithFullStop(U("")), U(""));
}

TEST(ErrorBox, HandlerBoundaryShowsOneBoxAndGoesOn)
{
    struct Box {
        QString caption, text;
    };
    std::vector<Box> boxes;
    int depth = 0, deepest = 0;
    SetMessagePresenter([&](QWidget *, const QString &caption, const QString &text) {
        ++depth;
        deepest = std::max(deepest, depth);
        boxes.push_back({caption, text});
        if (boxes.size() == 1) // a second error while the first box is open
            Guarded([] { throw std::runtime_error("second"); })();
        --depth;
    });
    auto slot = Guarded([] { RaiseDeviceError(1); });
    slot();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, U("ПО \"AT_Vexo\""));
    EXPECT_EQ(boxes[0].text, U("Device not opened."));
    EXPECT_EQ(boxes[1].text, U("second."));
    EXPECT_EQ(deepest, 1) << "boxes never stack";

    boxes.clear();
    int ran = 0;
    auto withArgs = Guarded([&](bool checked) { ran = checked ? 2 : 1; });
    withArgs(true);
    EXPECT_EQ(ran, 2);
    auto ignoresArgs = Guarded([&] { ran = 3; });
    ignoresArgs(false);
    EXPECT_EQ(ran, 3);
    EXPECT_TRUE(boxes.empty());
    SetMessagePresenter(nullptr);
}
