// The toolbar's sequences against the stand-in Vexo (on a manual clock, so a
// unit switched off stays off until the test says) or against a bare pty the
// test answers from: waiting for the module, reading all, writing all and
// checking; and the set-up window's time left.
#include "SequenceRig.h"

#include "SetupWindow.h"

namespace {

const std::string WaitBegins = "ожидание ответа \"Vexo\": \"ATI0\" повторяется до первого ответа";

} // namespace

// ---------------------------------------------------------------- wait

TEST_F(SequenceTest, WaitSendsUntilTheFirstAnswerAndLogsOnlyThatOne)
{
    Options o;
    o.powerOnAfterMs = 1800; // the operator powers the unit after pressing
    Use(o);
    Do([&] { engine->TB_WaitClick(); });
    EXPECT_TRUE(view.Down(TViewText::TB_Wait));
    ASSERT_EQ(view.log.size(), 1u);
    EXPECT_EQ(view.log[0], (TLogLine{WaitBegins, Blue}));

    Exchanges(4); // at 0, 500, 1000, 1500 ms: switched off
    EXPECT_EQ(view.log.size(), 1u) << "silent attempts are not logged one by one";
    EXPECT_EQ(engine->Sequences().Running(), TSequenceKind::Wait);
    EXPECT_TRUE(view.Running(TViewTimer::tRdIn_Vexo)) << "the next attempt is out";

    Exchange(); // at 2000 ms: on
    const std::vector<TLogLine> expected = {
        {WaitBegins, Blue},
        Announce("контроль \"Vexo\""),
        Request("ATI0"),
        Reply("Vexo v03.17"),
        {"ожидание ответа \"Vexo\" окончено: ответ на попытку 5", Green},
    };
    EXPECT_EQ(view.log, expected);
    EXPECT_FALSE(view.Down(TViewText::TB_Wait));
    EXPECT_EQ(engine->Sequences().Running(), TSequenceKind::None);
    EXPECT_FALSE(view.Running(TViewTimer::tRdIn_Vexo)) << "nothing more is sent after the answer";
    const auto requests = sim->Requests();
    ASSERT_EQ(requests.size(), 5u);
    for (const auto &r : requests)
        EXPECT_EQ(r.line, "ATI0");
    EXPECT_FALSE(requests[3].inWindow);
    EXPECT_TRUE(requests[4].inWindow);
    EXPECT_EQ(engine->ModuleLine(), "Vexo v03.17");
    EXPECT_EQ(view.labels[TViewText::lSetupWindow], (TLogLine{"настройка:\r\n30 с", Black}));
}

TEST_F(SequenceTest, WaitEndsOnACommandEscapeOrItsOwnButton)
{
    Options o;
    o.powerOnAfterMs = 1000000; // never on in this test
    Use(o);
    struct Way {
        const char *name;
        std::function<void()> end;
        std::size_t requests; // ATI0 attempts and the pressed command
    };
    const Way ways[] = {
        {"command button", [&] { Press(1); }, 3},
        {"Escape", [&] { Do([&] { engine->EscapePress(); }); }, 2},
        {"its own button", [&] { Do([&] { engine->TB_WaitClick(); }); }, 2},
    };
    for (const Way &way : ways) {
        SCOPED_TRACE(way.name);
        sim->ClearRequests();
        seen = 0;
        const std::size_t from = view.log.size();
        Do([&] { engine->TB_WaitClick(); });
        Exchange();
        way.end(); // while the second attempt is out
        EXPECT_FALSE(view.Down(TViewText::TB_Wait));
        EXPECT_EQ(engine->Sequences().Running(), TSequenceKind::None);
        ASSERT_GE(view.log.size(), from + 2);
        EXPECT_EQ(view.log[from], (TLogLine{WaitBegins, Blue}));
        EXPECT_EQ(view.log[from + 1], (TLogLine{"ожидание ответа \"Vexo\" прервано, попыток: 2", Red}));
        Exchange(); // the request out when it ended is judged as usual
        EXPECT_FALSE(view.Running(TViewTimer::tRdIn_Vexo)) << "no attempt after the end";
        EXPECT_EQ(sim->Requests().size(), way.requests);
    }
    // The pressed command went out and met silence as a press does.
    EXPECT_EQ(LogFrom(2).at(0), Announce("чтение скорости порта \"RS232\" Vexo"));
    EXPECT_EQ(LogFrom(2).at(2), (TLogLine{"нет ответа от \"Vexo\"", Red}));
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(SequenceTest, WaitOnAPortThatWillNotOpenNeverStarts)
{
    UsePort("COM99");
    Do([&] { engine->TB_WaitClick(); });
    ASSERT_EQ(view.log.size(), 2u);
    EXPECT_EQ(view.log[0], (TLogLine{"ошибка инициализации порта COM99", Red}));
    EXPECT_EQ(view.log[1].colour, Red);
    EXPECT_FALSE(view.Down(TViewText::TB_Wait));
    EXPECT_EQ(engine->Sequences().Running(), TSequenceKind::None);
    EXPECT_FALSE(view.Running(TViewTimer::tRdIn_Vexo));
}

// ---------------------------------------------------------------- read all

TEST_F(SequenceTest, ReadAllPutsEachValueIntoItsBox)
{
    Options o = AlwaysOn();
    o.ioSpeed = 3;
    o.gatewaySpeed = 5;
    o.printerSpeed = 6;
    o.modbusAddress = 17;
    o.klv707 = 1;
    Use(o);
    Do([&] { engine->TB_ReadAllClick(); });
    EXPECT_TRUE(view.Down(TViewText::TB_ReadAll));
    Exchanges(6);
    const std::vector<TLogLine> expected = {
        {"чтение всех параметров \"Vexo\"", Blue},
        Announce("контроль \"Vexo\""), Request("ATI0"), Reply("Vexo v03.17"),
        Announce("чтение скорости порта \"I/O\" Vexo"), Request("AT+xKPV0=?"), Reply("скорость RS = \"9600\""),
        Announce("чтение скорости порта \"RS232\" Vexo"), Request("AT+xKPV3=?"), Reply("скорость RS = \"38400\""),
        Announce("чтение скорости порта \"RS232\" Vexo для принтера"), Request("AT+xKPV4=?"),
        Reply("скорость RS = \"57600\""),
        Announce("чтение адреса \"ModBus\""), Request("AT+xKPV8=?"), Reply("17"),
        Announce("чтение флага работы с \"КЛВ-707\""), Request("AT+xKPV9=?"), Reply("поддержка КЛВ-707 включена"),
        {"чтение всех параметров \"Vexo\": прочитано - версия, скорость \"I/O\", скорость \"RS232\", "
         "скорость принтера, адрес \"ModBus\", флаг \"КЛВ-707\"",
         Green},
    };
    EXPECT_EQ(view.log, expected);
    EXPECT_EQ(view.texts[TViewText::cbSpeed_Cor], "9600");
    EXPECT_EQ(view.texts[TViewText::cbSpeed_SeA], "38400");
    EXPECT_EQ(view.texts[TViewText::cbSpeed_SeA_Prn], "57600");
    EXPECT_EQ(view.texts[TViewText::seAdrModBus], "17");
    EXPECT_TRUE(view.klv707);
    EXPECT_FALSE(view.Down(TViewText::TB_ReadAll));
    EXPECT_FALSE(view.Running(TViewTimer::tRdIn_Vexo));
}

TEST_F(SequenceTest, ReadAllSaysWhichParametersTheUnitLacks)
{
    {
        Options o = AlwaysOn();
        o.computer = false;
        Use(o);
        Do([&] { engine->TB_ReadAllClick(); });
        Exchanges(6);
        EXPECT_EQ(view.log.back(),
                  (TLogLine{"чтение всех параметров \"Vexo\": прочитано - версия, скорость \"I/O\", скорость \"RS232\"; "
                            "нет у Vexo без \"Тетрамакс\" - скорость принтера, адрес \"ModBus\", флаг \"КЛВ-707\"",
                            Green}));
        // the boxes of what it lacks keep their values
        EXPECT_EQ(view.texts[TViewText::cbSpeed_SeA_Prn], "19200");
        EXPECT_EQ(view.texts[TViewText::seAdrModBus], "1");
    }
    {
        Options o = AlwaysOn();
        o.version = "03.16";
        Use(o);
        seen = 0;
        Do([&] { engine->TB_ReadAllClick(); });
        Exchanges(6);
        EXPECT_EQ(view.log.back(),
                  (TLogLine{"чтение всех параметров \"Vexo\": прочитано - версия, скорость \"I/O\", скорость \"RS232\", "
                            "скорость принтера, адрес \"ModBus\"; нет у Vexo версий до 03.17 - флаг \"КЛВ-707\"",
                            Green}));
    }
}

TEST_F(SequenceTest, ReadAllNamesWhatWasNotRead)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    view.texts[TViewText::cbSpeed_SeA] = "1200";
    Do([&] { engine->TB_ReadAllClick(); });
    EXPECT_EQ(Answer(dev, "Vexo v03.17"), "ATI0\r\n");
    EXPECT_EQ(Answer(dev, "2"), "AT+xKPV0=?\r\n");
    EXPECT_EQ(Answer(dev, std::nullopt), "AT+xKPV3=?\r\n"); // silent
    EXPECT_EQ(Answer(dev, "4"), "AT+xKPV4=?\r\n");
    EXPECT_EQ(Answer(dev, "abc"), "AT+xKPV8=?\r\n"); // no number
    EXPECT_EQ(Answer(dev, "0"), "AT+xKPV9=?\r\n");
    EXPECT_EQ(view.log.back(),
              (TLogLine{"чтение всех параметров \"Vexo\": прочитано - версия, скорость \"I/O\", скорость принтера, "
                        "флаг \"КЛВ-707\"; не прочитано - скорость \"RS232\" (нет ответа), адрес \"ModBus\" (брак ответа)",
                        Red}));
    EXPECT_EQ(view.texts[TViewText::cbSpeed_Cor], "4800");
    EXPECT_EQ(view.texts[TViewText::cbSpeed_SeA], "1200") << "a box whose read failed keeps its value";
    EXPECT_FALSE(view.klv707);
}

TEST_F(SequenceTest, ACommandPressEndsReadAll)
{
    Use(AlwaysOn());
    Do([&] { engine->TB_ReadAllClick(); });
    Exchanges(2);
    Press(0);
    EXPECT_FALSE(view.Down(TViewText::TB_ReadAll));
    const auto tail = LogFrom(view.log.size() - 3);
    EXPECT_EQ(tail[0], (TLogLine{"чтение всех параметров \"Vexo\" прервано, выполнено шагов: 2 из 6", Red}));
    EXPECT_EQ(tail[1], Announce("контроль \"Vexo\""));
    // The step out and the press share the one wait, judged as the press's.
    Exchange();
    EXPECT_EQ(view.log.back().text.rfind("ответ  \"Vexo\" <- ", 0), 0u);
    EXPECT_FALSE(view.Running(TViewTimer::tRdIn_Vexo));
    EXPECT_EQ(sim->Requests().size(), 4u) << "the sequence went on after the press";
}

// ---------------------------------------------------------------- write all

TEST_F(SequenceTest, WriteAllWritesTheBoxesAndFindsThemAllBack)
{
    Use(AlwaysOn());
    view.texts[TViewText::cbSpeed_Cor] = "9600";
    view.texts[TViewText::cbSpeed_SeA] = "38400";
    view.texts[TViewText::cbSpeed_SeA_Prn] = "57600";
    view.texts[TViewText::seAdrModBus] = "17";
    view.klv707 = true;
    Do([&] { engine->TB_WriteAllClick(); });
    EXPECT_TRUE(view.Down(TViewText::TB_WriteAll));
    Exchanges(10);
    std::vector<std::string> lines;
    for (const auto &r : sim->Requests())
        lines.push_back(r.line);
    EXPECT_EQ(lines, (std::vector<std::string>{"AT+xKPV0=3", "AT+xKPV3=5", "AT+xKPV4=6", "AT+xKPV8=17", "AT+xKPV9=1",
                                               "AT+xKPV0=?", "AT+xKPV3=?", "AT+xKPV4=?", "AT+xKPV8=?", "AT+xKPV9=?"}));
    EXPECT_EQ(sim->Stored(8), 17);
    EXPECT_EQ(view.log.size(), 1u + 10u * 3u + 1u) << "each step logged as its button's press";
    EXPECT_EQ(view.log[1], Announce("запись скорости порта \"I/O\" Vexo 9600"));
    EXPECT_EQ(view.log.back(), (TLogLine{"запись всех параметров \"Vexo\" с проверкой: совпадает - скорость \"I/O\", "
                                         "скорость \"RS232\", скорость принтера, адрес \"ModBus\", флаг \"КЛВ-707\"",
                                         Green}));
    EXPECT_FALSE(view.Down(TViewText::TB_WriteAll));
}

TEST_F(SequenceTest, WriteAllNamesWhatDiffersAndWhatWasSilent)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    view.texts[TViewText::cbSpeed_Cor] = "19200";
    view.texts[TViewText::cbSpeed_SeA] = "115200";
    view.texts[TViewText::cbSpeed_SeA_Prn] = "9600";
    view.texts[TViewText::seAdrModBus] = "5";
    Do([&] { engine->TB_WriteAllClick(); });
    EXPECT_EQ(Answer(dev, "OK"), "AT+xKPV0=4\r\n");
    EXPECT_EQ(Answer(dev, "OK"), "AT+xKPV3=7\r\n");
    EXPECT_EQ(Answer(dev, "OK"), "AT+xKPV4=3\r\n");
    EXPECT_EQ(Answer(dev, "OK"), "AT+xKPV8=5\r\n");
    EXPECT_EQ(Answer(dev, "ERROR"), "AT+xKPV9=0\r\n"); // refused
    EXPECT_EQ(Answer(dev, "4"), "AT+xKPV0=?\r\n");
    EXPECT_EQ(Answer(dev, "3"), "AT+xKPV3=?\r\n"); // 9600, not 115200
    EXPECT_EQ(Answer(dev, "3"), "AT+xKPV4=?\r\n");
    EXPECT_EQ(Answer(dev, std::nullopt), "AT+xKPV8=?\r\n"); // silent
    EXPECT_EQ(Answer(dev, "0"), "AT+xKPV9=?\r\n");
    EXPECT_EQ(view.log.back(),
              (TLogLine{"запись всех параметров \"Vexo\" с проверкой: совпадает - скорость \"I/O\", скорость принтера; "
                        "не совпадает - скорость \"RS232\" (записано 115200, прочитано 9600); нет ответа - адрес "
                        "\"ModBus\"; запись брак - флаг \"КЛВ-707\"",
                        Red}));
}

TEST_F(SequenceTest, WriteAllOnAUnitWithoutTheComputerChecksWhatItHas)
{
    Options o = AlwaysOn();
    o.computer = false;
    Use(o);
    view.texts[TViewText::cbSpeed_Cor] = "9600";
    Do([&] { engine->TB_WriteAllClick(); });
    Exchanges(10);
    EXPECT_EQ(sim->Stored(0), 3);
    EXPECT_EQ(view.log.back(),
              (TLogLine{"запись всех параметров \"Vexo\" с проверкой: совпадает - скорость \"I/O\", скорость \"RS232\"; "
                        "нет у Vexo без \"Тетрамакс\" - скорость принтера, адрес \"ModBus\", флаг \"КЛВ-707\"",
                        Green}));
}

TEST_F(SequenceTest, OneSequenceAtATime)
{
    Use(AlwaysOn());
    Do([&] { engine->TB_ReadAllClick(); });
    Exchange();
    Do([&] { engine->TB_WriteAllClick(); }); // ends the read, starts the write
    EXPECT_FALSE(view.Down(TViewText::TB_ReadAll));
    EXPECT_TRUE(view.Down(TViewText::TB_WriteAll));
    EXPECT_EQ(engine->Sequences().Running(), TSequenceKind::WriteAll);
    const auto tail = LogFrom(view.log.size() - 4);
    EXPECT_EQ(tail[0], (TLogLine{"чтение всех параметров \"Vexo\" прервано, выполнено шагов: 1 из 6", Red}));
    EXPECT_EQ(tail[1], (TLogLine{"запись всех параметров \"Vexo\" с проверкой", Blue}));
    Do([&] { engine->TB_WriteAllClick(); }); // its own button again
    EXPECT_FALSE(view.Down(TViewText::TB_WriteAll));
    EXPECT_EQ(view.log.back(), (TLogLine{"запись всех параметров \"Vexo\" с проверкой прервано, выполнено шагов: 0 из 10", Red}));
}

// ---------------------------------------------------------------- set-up window

TEST(SetupWindowLook, CountsDownWholeSecondsRedInTheLastFive)
{
    EXPECT_EQ(SetupWindowLook(30000), (TLabelLook{"настройка:\r\n30 с", Black}));
    EXPECT_EQ(SetupWindowLook(29001), (TLabelLook{"настройка:\r\n30 с", Black}));
    EXPECT_EQ(SetupWindowLook(5001), (TLabelLook{"настройка:\r\n6 с", Black}));
    EXPECT_EQ(SetupWindowLook(5000), (TLabelLook{"настройка:\r\n5 с", Red}));
    EXPECT_EQ(SetupWindowLook(1), (TLabelLook{"настройка:\r\n1 с", Red}));
    EXPECT_EQ(SetupWindowLook(0), (TLabelLook{"настройка закрыта", Black}));
}

TEST_F(SequenceTest, OnlyAnAnsweredATI0RestartsTheTimeLeft)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    auto tickSecond = [&] {
        now += 1000;
        ASSERT_TRUE(view.Running(TViewTimer::tSetupWindow));
        Do([&] { engine->tSetupWindowTimer(); });
    };
    EXPECT_TRUE(view.labels.empty()) << "nothing is known before the first answer";
    Press(0);
    Answer(dev, "Vexo v03.17"); // judged at +500 ms
    EXPECT_EQ(view.labels[TViewText::lSetupWindow], (TLogLine{"настройка:\r\n30 с", Black}));
    EXPECT_EQ(view.intervals[TViewTimer::tSetupWindow], 1000);
    for (int i = 0; i < 24; ++i)
        tickSecond();
    EXPECT_EQ(view.labels[TViewText::lSetupWindow], (TLogLine{"настройка:\r\n6 с", Black}));
    // Neither another command's answer nor an unanswered ATI0 restarts it.
    Press(1);
    Answer(dev, "7");
    Press(0);
    Answer(dev, std::nullopt);
    now -= 1000; // the two waits took one second
    tickSecond();
    EXPECT_EQ(view.labels[TViewText::lSetupWindow], (TLogLine{"настройка:\r\n5 с", Red}));
    for (int i = 0; i < 4; ++i)
        tickSecond();
    EXPECT_EQ(view.labels[TViewText::lSetupWindow], (TLogLine{"настройка:\r\n1 с", Red}));
    tickSecond();
    EXPECT_EQ(view.labels[TViewText::lSetupWindow], (TLogLine{"настройка закрыта", Black}));
    EXPECT_FALSE(view.Running(TViewTimer::tSetupWindow)) << "nothing counts once it has run out";
    // An answered ATI0 opens it again for 30 s.
    Press(0);
    Answer(dev, "Vexo v03.17");
    EXPECT_EQ(view.labels[TViewText::lSetupWindow], (TLogLine{"настройка:\r\n30 с", Black}));
    EXPECT_TRUE(view.Running(TViewTimer::tSetupWindow));
}
