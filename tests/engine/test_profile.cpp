// The profile file on its own: what is written, what is read back, and every
// kind of bad file refused with its line, in each line-end style.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "FakeView.h"
#include "Profile.h"

namespace {

TProfile Sample()
{
    TProfile p;
    p.program = "ПО \"AT_Vexo\" 1.03";
    p.saved = "09.12.2026 03:10:00";
    p.moduleLine = "Vexo v03.17";
    p.unit = TUnitParams::Present;
    p.values = {"9600", "38400", "9600", 17, true};
    return p;
}

// The sample's text with `from` replaced by `to` and its line ends changed to `eol`.
std::string Edited(const std::string &from, const std::string &to, const std::string &eol = "\r\n")
{
    std::string text = ProfileText(Sample());
    if (!from.empty()) {
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    }
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") == 0) {
            out += eol;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

int LineOf(const std::string &text, const std::string &needle)
{
    const auto at = text.rfind(needle);
    int line = 1;
    for (std::size_t i = 0; i < at; ++i)
        line += text[i] == '\n';
    return line;
}

} // namespace

TEST(Profile, WrittenTextIsKeyValueLinesWithCrLfAndReadsBackTheSame)
{
    const std::string text = ProfileText(Sample());
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1) << "CR LF line ends";
    EXPECT_NE(text.find("\r\nformat = AT_Vexo 1\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nmodule = Vexo v03.17\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nparams_4_8_9 = 1\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nio_speed = 9600\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nmodbus_address = 17\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nklv707 = 1\r\n"), std::string::npos);
    for (const std::string eol : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(eol == "\n" ? "LF" : eol == "\r" ? "CR" : "CR LF");
        const TProfileRead read = ParseProfile(Edited("", "", eol));
        ASSERT_TRUE(read.profile) << read.fault.line << ": " << read.fault.what;
        EXPECT_EQ(read.profile->values, Sample().values);
        EXPECT_EQ(read.profile->program, Sample().program);
        EXPECT_EQ(read.profile->saved, Sample().saved);
        EXPECT_EQ(read.profile->moduleLine, "Vexo v03.17");
        EXPECT_EQ(read.profile->unit, TUnitParams::Present);
    }
}

TEST(Profile, HandEditedFilesAreRead)
{
    // Notepad's byte order mark, blanks around the sign, tabs, comments, an
    // empty module line, the unit unknown.
    std::string text = "\xEF\xBB\xBF# настроено в офисе\nformat=AT_Vexo 1\n\n  # второй\n\tio_speed\t=  1200 \n"
                       "rs232_speed = 115200\nprinter_speed = 19200\nmodbus_address = 250\nklv707 = 0\nmodule =\n"
                       "params_4_8_9 = ?";
    const TProfileRead read = ParseProfile(text);
    ASSERT_TRUE(read.profile) << read.fault.line << ": " << read.fault.what;
    EXPECT_EQ(read.profile->values, (TProfileValues{"1200", "115200", "19200", 250, false}));
    EXPECT_EQ(read.profile->moduleLine, "");
    EXPECT_EQ(read.profile->unit, TUnitParams::Unknown);
}

TEST(Profile, EveryKindOfBadFileIsRefusedWithItsLine)
{
    struct Case {
        const char *name;
        std::string from, to; // an edit of the sample
        std::string at;       // the bad line's text; empty: the file as a whole
        std::string what;
    };
    const Case cases[] = {
        {"speed not in the list", "io_speed = 9600", "io_speed = 9601", "io_speed = 9601",
         "скорость \"I/O\" \"9601\" не из списка (1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)"},
        {"printer speed not in its list", "printer_speed = 9600", "printer_speed = 38400", "printer_speed = 38400",
         "скорость принтера \"38400\" не из списка (9600, 19200)"},
        {"address 0", "modbus_address = 17", "modbus_address = 0", "modbus_address = 0",
         "адрес \"ModBus\" \"0\": ожидается число от 1 до 250"},
        {"address 251", "modbus_address = 17", "modbus_address = 251", "modbus_address = 251",
         "адрес \"ModBus\" \"251\": ожидается число от 1 до 250"},
        {"address no number", "modbus_address = 17", "modbus_address = 1a", "modbus_address = 1a",
         "адрес \"ModBus\" \"1a\": ожидается число от 1 до 250"},
        {"flag 2", "klv707 = 1", "klv707 = 2", "klv707 = 2", "флаг \"КЛВ-707\" \"2\": ожидается 0 или 1"},
        {"unknown key", "klv707 = 1", "klv707 = 1\r\nspeed = 9600", "speed = 9600", "неизвестный ключ \"speed\""},
        {"duplicate", "klv707 = 1", "klv707 = 1\r\nio_speed = 9600", "io_speed = 9600",
         "ключ \"io_speed\" повторяется (уже в строке 11)"},
        {"no sign", "klv707 = 1", "klv707 = 1\r\nскорость 9600", "скорость 9600", "нет знака \"=\""},
        {"a value missing", "klv707 = 1\r\n", "", "", "нет ключа \"klv707\""},
        {"another format", "format = AT_Vexo 1", "format = AT_Vexo 2", "format = AT_Vexo 2",
         "неизвестный формат \"AT_Vexo 2\", ожидается \"AT_Vexo 1\""},
        {"not ours", "format = AT_Vexo 1", "[Settings]", "[Settings]", "это не файл параметров \"AT_Vexo\""},
        {"not ours, other keys", "format = AT_Vexo 1", "Port = COM3", "Port = COM3",
         "это не файл параметров \"AT_Vexo\" (первый ключ не format)"},
        {"not UTF-8", "Vexo v03.17", "Vexo \xE2\xE5\xF0\xF1\xE8\xFF", "module = Vexo \xE2", "не текст UTF-8"},
        {"a NUL byte", "klv707 = 1", std::string("klv707 = 1\0", 11), "klv707 = 1", "управляющий символ в строке"},
    };
    for (const std::string eol : {"\r\n", "\n"}) {
        for (const bool bom : {false, true}) {
            for (const Case &c : cases) {
                SCOPED_TRACE(std::string(c.name) + (eol == "\n" ? ", LF" : ", CR LF") + (bom ? ", BOM" : ""));
                const std::string text = (bom ? "\xEF\xBB\xBF" : "") + Edited(c.from, c.to, eol);
                const TProfileRead read = ParseProfile(text);
                EXPECT_FALSE(read.profile);
                const std::string at = Edited(c.from, c.to, "\r\n");
                const int line = c.at.empty() ? 0 : LineOf(at, c.at);
                EXPECT_EQ(read.fault, (TProfileFault{line, c.what}));
            }
        }
    }
    EXPECT_EQ(ParseProfile("").fault, (TProfileFault{0, "это не файл параметров \"AT_Vexo\" (нет ключа format)"}));
    EXPECT_EQ(ParseProfile("# только комментарий\r\n").fault.line, 0);
    EXPECT_FALSE(ParseProfile("\x89PNG\r\n\x1a\n").profile);
    std::string big = ProfileText(Sample());
    big += std::string(MaxProfileBytes, '#');
    EXPECT_EQ(ParseProfile(big).fault, (TProfileFault{0, "файл больше 64 КБ, это не файл параметров"}));
}

// ---------------------------------------------------------------- files and boxes

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("vexo-profile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string Path(const char *name) const { return (dir / name).string(); }
    std::filesystem::path dir;
};

TEST_F(ProfileFile, WriteThenReadGivesTheSameAndReplacesWhole)
{
    const std::string path = Path("Vexo-1.txt");
    ASSERT_TRUE(WriteProfileFile(path, Sample()));
    TProfileRead read = ReadProfileFile(path);
    ASSERT_TRUE(read.profile) << read.fault.what;
    EXPECT_EQ(read.profile->values, Sample().values);
    TProfile other = Sample();
    other.values.address = 3;
    ASSERT_TRUE(WriteProfileFile(path, other));
    read = ReadProfileFile(path);
    ASSERT_TRUE(read.profile);
    EXPECT_EQ(read.profile->values.address, 3);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp")) << "the temporary file is renamed away";
}

TEST_F(ProfileFile, FilesThatCannotBeReadOrWrittenAreSaid)
{
    EXPECT_EQ(ReadProfileFile(Path("none.txt")).fault, (TProfileFault{0, "файла нет"}));
    EXPECT_EQ(ReadProfileFile(dir.string()).fault, (TProfileFault{0, "это не файл"}));
    {
        // 10 MB of a valid start: refused by its size, not read through
        std::ofstream big(Path("big.txt"), std::ios::binary);
        big << ProfileText(Sample());
        big << std::string(10 * 1024 * 1024, '#');
    }
    EXPECT_EQ(ReadProfileFile(Path("big.txt")).fault, (TProfileFault{0, "файл больше 64 КБ, это не файл параметров"}));
    EXPECT_FALSE(WriteProfileFile((dir / "no-such-folder" / "x.txt").string(), Sample()));
    EXPECT_FALSE(WriteProfileFile(dir.string(), Sample())) << "a folder is not replaced";
    EXPECT_TRUE(std::filesystem::is_directory(dir));
}

TEST(ProfileBoxes, BoxesAreCheckedAsAFileIs)
{
    TFakeView view;
    PutBoxValues(view, Sample().values);
    TBoxValues got = ReadBoxValues(view);
    ASSERT_TRUE(got.values) << got.fault;
    EXPECT_EQ(*got.values, Sample().values);
    EXPECT_EQ(DescribeValues(*got.values), "скорость \"I/O\" 9600, скорость \"RS232\" 38400, скорость принтера 9600, "
                                           "адрес \"ModBus\" 17, флаг \"КЛВ-707\" вкл");
    view.texts[TViewText::cbSpeed_SeA] = "abc"; // typed into the box
    got = ReadBoxValues(view);
    EXPECT_FALSE(got.values);
    EXPECT_EQ(got.fault, "скорость \"RS232\" \"abc\" не из списка (1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)");
}
