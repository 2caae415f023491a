// A module's settings as a file, through the engine on a fake window and the
// stand-in Vexo: save and open, bad files refused with the boxes untouched,
// the comparison with the module, write all naming its file, and what a file
// from another unit or firmware is told.
#include "SequenceRig.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "ProfileActions.h"

namespace {

class ProfileTest : public SequenceTest {
protected:
    void SetBoxes(const std::string &io, const std::string &rs, const std::string &prn, const std::string &adr, bool flag)
    {
        view.texts[TViewText::cbSpeed_Cor] = io;
        view.texts[TViewText::cbSpeed_SeA] = rs;
        view.texts[TViewText::cbSpeed_SeA_Prn] = prn;
        view.texts[TViewText::seAdrModBus] = adr;
        view.klv707 = flag;
    }
    std::vector<std::string> Boxes() const
    {
        return {view.texts.Get(TViewText::cbSpeed_Cor), view.texts.Get(TViewText::cbSpeed_SeA),
                view.texts.Get(TViewText::cbSpeed_SeA_Prn), view.texts.Get(TViewText::seAdrModBus),
                view.checks.Get(TViewText::chKLV707) ? "1" : "0"};
    }
    std::string Path(const std::string &name) const { return (dir_ / name).string(); }
    static void Put(const std::string &path, const std::string &bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Get(const std::string &path)
    {
        std::ostringstream s;
        s << std::ifstream(path, std::ios::binary).rdbuf();
        return s.str();
    }
    bool Logged(const TLogLine &line) const { return std::find(view.log.begin(), view.log.end(), line) != view.log.end(); }
    bool Journalled(const std::string &text) const
    {
        for (const auto &l : engine->Journal().Lines())
            if (l.text == text)
                return true;
        return false;
    }
    std::string SavedSample()
    {
        SetBoxes("9600", "38400", "9600", "17", true);
        const std::string path = Path("Vexo-7.txt");
        EXPECT_TRUE(engine->SaveProfile(path));
        return path;
    }
};

const std::string Values = "скорость \"I/O\" 9600, скорость \"RS232\" 38400, скорость принтера 9600, "
                           "адрес \"ModBus\" 17, флаг \"КЛВ-707\" вкл";

} // namespace

TEST_F(ProfileTest, SaveThenOpenGivesTheSameBoxesAndSendsNothing)
{
    Use(AlwaysOn());
    const std::string path = SavedSample();
    EXPECT_EQ(view.log.back(), (TLogLine{"параметры сохранены в файл \"" + path + "\": " + Values, Green}));
    const std::string text = Get(path);
    EXPECT_NE(text.find("\r\nsaved = 08.12.2026 21:40:00\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nparams_4_8_9 = ?\r\n"), std::string::npos) << "nothing read yet";
    EXPECT_NE(text.find("\r\nmodule = \r\n"), std::string::npos);

    SetBoxes("1200", "1200", "19200", "3", false);
    ASSERT_TRUE(engine->OpenProfile(path));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"9600", "38400", "9600", "17", "1"}));
    EXPECT_EQ(view.log.back(),
              (TLogLine{"параметры открыты из файла \"" + path + "\": " + Values + "; в Vexo не записано", Green}));
    EXPECT_TRUE(sim->Requests().empty()) << "opening sends nothing";
    EXPECT_FALSE(view.Running(TViewTimer::tRdIn_Vexo));
    EXPECT_TRUE(Journalled(view.log.back().text));
    EXPECT_TRUE(Journalled("параметры сохранены в файл \"" + path + "\": " + Values));
}

TEST_F(ProfileTest, TheButtonsAskTheDialogsAndACancelDoesNothing)
{
    SetBoxes("9600", "38400", "9600", "17", true);
    Do([&] { engine->Click("bSaveProfile"); });
    ASSERT_EQ(view.saveAsked.size(), 1u);
    EXPECT_EQ(view.saveAsked[0], (TBox{"Сохранить параметры Vexo", "Vexo-2026-12-08-2140"}));
    ASSERT_EQ(view.saveFilters.size(), 1u);
    EXPECT_EQ(view.saveFilters[0].extension, "txt");
    Do([&] { engine->Click("bOpenProfile"); });
    EXPECT_EQ(view.openAsked, (std::vector<std::string>{"Открыть параметры Vexo"}));
    EXPECT_TRUE(view.log.empty()) << "both cancelled";

    view.saveChoice = {Path("chosen.txt"), 0};
    Do([&] { engine->Click("bSaveProfile"); });
    SetBoxes("1200", "1200", "19200", "3", false);
    view.openChoice = Path("chosen.txt");
    Do([&] { engine->Click("bOpenProfile"); });
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"9600", "38400", "9600", "17", "1"}));
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(ProfileTest, BadFilesLeaveTheBoxesAsTheyWereAndNameTheLine)
{
    const std::string good = Get(SavedSample());
    SetBoxes("1200", "2400", "19200", "5", false);
    const std::vector<std::string> before = Boxes();
    auto edited = [&](const std::string &from, const std::string &to, const std::string &eol) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        if (eol == "\n")
            for (std::size_t at; (at = t.find("\r\n")) != std::string::npos;)
                t.erase(at, 1);
        return t;
    };
    struct Case {
        const char *name, *from, *to, *said;
    };
    const Case cases[] = {
        {"speed", "io_speed = 9600", "io_speed = 14400",
         "строка 11: скорость \"I/O\" \"14400\" не из списка (1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)"},
        {"address", "modbus_address = 17", "modbus_address = 300",
         "строка 17: адрес \"ModBus\" \"300\": ожидается число от 1 до 250"},
        {"flag", "klv707 = 1", "klv707 = да", "строка 19: флаг \"КЛВ-707\" \"да\": ожидается 0 или 1"},
        {"unknown key", "klv707 = 1", "klv707 = 1\r\ncolour = red", "строка 20: неизвестный ключ \"colour\""},
        {"duplicate", "klv707 = 1", "klv707 = 1\r\nklv707 = 0", "строка 20: ключ \"klv707\" повторяется (уже в строке 19)"},
        {"not ours", "format = AT_Vexo 1", "[Vexo]", "строка 3: это не файл параметров \"AT_Vexo\""},
    };
    // The flag's line is the last but one of the bad ones: the good values
    // above it must not have been taken either.
    for (const std::string eol : {"\r\n", "\n"})
        for (const bool bom : {false, true})
            for (const Case &c : cases) {
                SCOPED_TRACE(std::string(c.name) + (eol == "\n" ? ", LF" : ", CR LF") + (bom ? ", BOM" : ""));
                const std::string path = Path("bad.txt");
                Put(path, (bom ? "\xEF\xBB\xBF" : "") + edited(c.from, c.to, eol));
                EXPECT_FALSE(engine->OpenProfile(path));
                EXPECT_EQ(Boxes(), before);
                EXPECT_EQ(view.log.back(), (TLogLine{"параметры не открыты, файл \"" + path + "\", " + c.said +
                                                         "; поля не изменены",
                                                     Red}));
            }
    {
        const std::string path = Path("big.txt");
        std::ofstream big(path, std::ios::binary);
        big << good << std::string(10 * 1024 * 1024, '#');
        big.close();
        EXPECT_FALSE(engine->OpenProfile(path));
        EXPECT_EQ(view.log.back(), (TLogLine{"параметры не открыты, файл \"" + path +
                                                 "\": файл больше 64 КБ, это не файл параметров; поля не изменены",
                                             Red}));
    }
    EXPECT_FALSE(engine->OpenProfile(Path("missing.txt")));
    EXPECT_EQ(view.log.back().text, "параметры не открыты, файл \"" + Path("missing.txt") +
                                        "\": файла нет; поля не изменены");
    EXPECT_EQ(Boxes(), before);
    EXPECT_TRUE(view.boxes.empty()) << "said in the log, no box";
}

TEST_F(ProfileTest, SavingWhatCannotBeSavedIsSaidAndNoFileIsLeft)
{
    SetBoxes("9600", "38400", "9600", "17", true);
    const std::string nowhere = Path("no-folder/x.txt");
    EXPECT_FALSE(engine->SaveProfile(nowhere));
    EXPECT_EQ(view.log.back(), (TLogLine{"параметры не сохранены: не удалось записать файл \"" + nowhere + '"', Red}));
    // A box the operator typed into: the file would not open again.
    view.texts[TViewText::cbSpeed_SeA] = "38 400 бод";
    const std::string path = Path("typed.txt");
    EXPECT_FALSE(engine->SaveProfile(path));
    EXPECT_EQ(view.log.back().colour, Red);
    EXPECT_EQ(view.log.back().text.rfind("параметры не сохранены в файл \"" + path + "\": скорость \"RS232\"", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// ---------------------------------------------------------------- compare

TEST_F(ProfileTest, CompareWithAllEqualIsGreenAndChangesNoBox)
{
    Use(AlwaysOn()); // holds the design values
    Do([&] { engine->Click("bCompare"); });
    EXPECT_TRUE(view.Down(TViewText::bCompare));
    Exchanges(6);
    EXPECT_EQ(view.log.front(), (TLogLine{"сравнение параметров с \"Vexo\"", Blue}));
    EXPECT_EQ(view.log.back(), (TLogLine{"сравнение параметров с \"Vexo\": совпадает - скорость \"I/O\" 19200, "
                                         "скорость \"RS232\" 115200, скорость принтера 19200, адрес \"ModBus\" 1, "
                                         "флаг \"КЛВ-707\" выкл",
                                         Green}));
    EXPECT_FALSE(view.Down(TViewText::bCompare));
    EXPECT_TRUE(Journalled(view.log.back().text));
}

TEST_F(ProfileTest, CompareNamesWhatDiffersWithBothValuesAndLeavesTheBoxes)
{
    Options o = AlwaysOn();
    o.gatewaySpeed = 3; // 9600
    o.klv707 = 1;
    Use(o);
    const std::string path = Path("site.txt");
    ASSERT_TRUE(engine->SaveProfile(path)); // the design values
    const std::vector<std::string> before = Boxes();
    Do([&] { engine->Click("bCompare"); });
    Exchanges(6);
    EXPECT_EQ(Boxes(), before);
    EXPECT_EQ(view.log.back(),
              (TLogLine{"сравнение параметров с \"Vexo\" из файла \"" + path + "\": совпадает - скорость \"I/O\" 19200, "
                        "скорость принтера 19200, адрес \"ModBus\" 1; отличается - скорость \"RS232\" (в окне 115200, "
                        "в Vexo 9600), флаг \"КЛВ-707\" (в окне выкл, в Vexo вкл)",
                        Red}));
}

TEST_F(ProfileTest, CompareNamesASilentParameter)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    Do([&] { engine->bCompareClick(); });
    EXPECT_EQ(Answer(dev, "Vexo v03.17"), "ATI0\r\n");
    EXPECT_EQ(Answer(dev, "4"), "AT+xKPV0=?\r\n");
    EXPECT_EQ(Answer(dev, "7"), "AT+xKPV3=?\r\n");
    EXPECT_EQ(Answer(dev, "4"), "AT+xKPV4=?\r\n");
    EXPECT_EQ(Answer(dev, std::nullopt), "AT+xKPV8=?\r\n");
    EXPECT_EQ(Answer(dev, "0"), "AT+xKPV9=?\r\n");
    EXPECT_EQ(view.log.back(), (TLogLine{"сравнение параметров с \"Vexo\": совпадает - скорость \"I/O\" 19200, "
                                         "скорость \"RS232\" 115200, скорость принтера 19200, флаг \"КЛВ-707\" выкл; "
                                         "не прочитано - адрес \"ModBus\" (нет ответа)",
                                         Red}));
    EXPECT_EQ(view.texts[TViewText::seAdrModBus], "1");
}

// ---------------------------------------------------------------- write all from a file

TEST_F(ProfileTest, WriteAllNamesTheFileWhileTheBoxesHoldIt)
{
    Use(AlwaysOn());
    const std::string path = SavedSample();
    SetBoxes("1200", "1200", "19200", "3", false);
    ASSERT_TRUE(engine->OpenProfile(path));
    Do([&] { engine->TB_WriteAllClick(); });
    EXPECT_TRUE(Logged({"запись всех параметров \"Vexo\" с проверкой из файла \"" + path + '"', Blue}));
    Exchanges(10);
    EXPECT_EQ(view.log.back(), (TLogLine{"запись всех параметров \"Vexo\" с проверкой из файла \"" + path +
                                             "\": совпадает - скорость \"I/O\", скорость \"RS232\", скорость принтера, "
                                             "адрес \"ModBus\", флаг \"КЛВ-707\"",
                                         Green}));
    EXPECT_EQ(sim->Stored(3), 5);
    EXPECT_EQ(sim->Stored(8), 17);
    // Once a box is changed the values are no longer the file's.
    view.texts[TViewText::seAdrModBus] = "18";
    Do([&] { engine->TB_WriteAllClick(); });
    Exchanges(10);
    EXPECT_EQ(view.log.back().text.rfind("запись всех параметров \"Vexo\" с проверкой: совпадает", 0), 0u)
        << view.log.back().text;
}

TEST_F(ProfileTest, AFileFromAUnitWithTheComputerOnOneWithoutIsSaid)
{
    Options o = AlwaysOn();
    o.computer = false;
    Use(o);
    const std::string path = Path("with-computer.txt");
    Put(path, "format = AT_Vexo 1\nparams_4_8_9 = 1\nio_speed = 9600\nrs232_speed = 38400\nprinter_speed = 9600\n"
              "modbus_address = 17\nklv707 = 1\n");
    Do([&] { engine->TB_ReadAllClick(); });
    Exchanges(6);
    EXPECT_EQ(engine->Sequences().Unit(), TUnitParams::Absent);
    ASSERT_TRUE(engine->OpenProfile(path));
    Do([&] { engine->TB_WriteAllClick(); });
    EXPECT_TRUE(Logged({"файл \"" + path + "\" сохранён с Vexo с вычислителем \"Тетрамакс\", у этого "
                                         "Vexo его нет: скорость принтера, адрес \"ModBus\" и флаг \"КЛВ-707\" не применимы",
                        Red}));
    Exchanges(10);
    EXPECT_EQ(view.log.back(), (TLogLine{"запись всех параметров \"Vexo\" с проверкой из файла \"" + path +
                                             "\": совпадает - скорость \"I/O\", скорость \"RS232\"; нет у Vexo без "
                                             "\"Тетрамакс\" - скорость принтера, адрес \"ModBus\", флаг \"КЛВ-707\"",
                                         Green}));
}

TEST_F(ProfileTest, AFileWithTheFlagOnFirmwareBefore0317IsSaid)
{
    Options o = AlwaysOn();
    o.version = "03.16";
    Use(o);
    Do([&] { engine->TB_ReadAllClick(); });
    Exchanges(6);
    EXPECT_EQ(engine->Sequences().Unit(), TUnitParams::Present);
    // saved from this unit: the file knows it had parameters 4, 8 and 9
    view.klv707 = true;
    const std::string path = Path("flag.txt");
    ASSERT_TRUE(engine->SaveProfile(path));
    EXPECT_NE(Get(path).find("\r\nparams_4_8_9 = 1\r\n"), std::string::npos);
    EXPECT_NE(Get(path).find("\r\nmodule = Vexo v03.16\r\n"), std::string::npos);
    ASSERT_TRUE(engine->OpenProfile(path));
    Do([&] { engine->TB_WriteAllClick(); });
    EXPECT_TRUE(Logged({"файл \"" + path + "\": флаг \"КЛВ-707\" включён, у Vexo версий до 03.17 его "
                                         "нет (этот Vexo: Vexo v03.16): флаг не применим",
                        Red}));
    Exchanges(10);
    EXPECT_EQ(view.log.back(), (TLogLine{"запись всех параметров \"Vexo\" с проверкой из файла \"" + path +
                                             "\": совпадает - скорость \"I/O\", скорость \"RS232\", скорость принтера, "
                                             "адрес \"ModBus\"; нет у Vexo версий до 03.17 - флаг \"КЛВ-707\"",
                                         Green}));
}

TEST_F(ProfileTest, OpeningEndsARunningReadAllSoItCannotOverwriteTheFile)
{
    Use(AlwaysOn());
    const std::string path = SavedSample();
    Do([&] { engine->TB_ReadAllClick(); });
    Exchanges(2);
    ASSERT_TRUE(engine->OpenProfile(path));
    EXPECT_EQ(engine->Sequences().Running(), TSequenceKind::None);
    Exchange(); // the read that was out is judged, its value not taken
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"9600", "38400", "9600", "17", "1"}));
}
