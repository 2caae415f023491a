// The service record: the lines with their times as logged, the Work file
// (only where the folder is, rotated at 1 MiB, never an error), and the
// session saved as text or HTML.
#include "EngineRig.h"

#include <fstream>
#include <iterator>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Forms.h"
#include "Journal.h"
#include "LogHelpers.h"

namespace fs = std::filesystem;

namespace {

std::string FileText(const fs::path &p)
{
    std::ifstream f(p, std::ios::binary);
    return f ? std::string(std::istreambuf_iterator<char>(f), {}) : std::string("<missing>");
}

using JournalTest = EngineRig;

} // namespace

TEST_F(JournalTest, EveryLineKeepsItsTimeAndGoesToTheWorkFileAsLogged)
{
    fs::create_directory("Work");
    TestPty dev;
    UsePort(dev.SlavePath());
    now += 7;
    Press(0);
    // Each line is in the file as soon as it is logged.
    EXPECT_EQ(FileText("Work/ATVexo.log"),
              "08.12.2026 21:40:00.007 команда выдать команду в \"Vexo\" - \"контроль \"Vexo\"\"\n"
              "08.12.2026 21:40:00.007 команда запрос \"Vexo\" -> \"ATI0\"\n");
    Answer(dev, std::nullopt);
    EXPECT_EQ(FileText("Work/ATVexo.log"),
              "08.12.2026 21:40:00.007 команда выдать команду в \"Vexo\" - \"контроль \"Vexo\"\"\n"
              "08.12.2026 21:40:00.007 команда запрос \"Vexo\" -> \"ATI0\"\n"
              "08.12.2026 21:40:00.507 ошибка нет ответа от \"Vexo\"\n");
    // The window shows the same lines, without times.
    const auto &lines = engine->Journal().Lines();
    ASSERT_EQ(lines.size(), view.log.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].text, view.log[i].text);
        EXPECT_EQ(LogKindColour(lines[i].kind), view.log[i].colour);
    }
    EXPECT_EQ(lines[2].ms, Start + 507);
    // Clearing the window keeps the record.
    Do([&] { engine->ToolButton6Click(); });
    EXPECT_EQ(engine->Journal().Lines().size(), 3u);
}

TEST_F(JournalTest, NoWorkFolderNoFile)
{
    UsePort("COM99");
    Press(0);
    EXPECT_EQ(engine->Journal().Lines().size(), 2u);
    EXPECT_TRUE(fs::is_empty(dir_)) << "the Work folder is never created";
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(JournalTest, AWorkFolderThatTakesNoFileIsNoError)
{
    // A file that cannot be opened for appending: in its place, a folder.
    fs::create_directories("Work/ATVexo.log");
    UsePort("COM99");
    Press(0);
    Press(0);
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(view.log.size(), 4u);
    EXPECT_EQ(engine->Journal().Lines().size(), 4u);

    // A read-only Work folder, for a user that root's rights do not cover.
    fs::remove("Work/ATVexo.log");
    ASSERT_EQ(::chmod("Work", 0555), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        TJournal journal([] { return Start; });
        journal.Add(lkCommand, "строка");
        journal.Add(lkError, "ещё строка");
        ::_exit(journal.Lines().size() == 2 ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(fs::exists("Work/ATVexo.log"));
    ::chmod("Work", 0755);
}

TEST_F(JournalTest, RotatesAtOneMebibyteKeepingOneOlderFile)
{
    fs::create_directory("Work");
    TJournal journal([this] { return now; });
    // Lines of one length; the first of each file marked by its letter.
    auto line = [](char c) { return std::string(1000, c); };
    const std::size_t lineBytes = JournalFileLine({Start, lkReply, line('x')}).size();
    const std::size_t perFile = JournalRotateBytes / lineBytes;
    auto firstOf = [&](const char *file) { return FileText(fs::path("Work") / file).substr(0, lineBytes); };
    for (std::size_t i = 0; i < perFile; ++i)
        journal.Add(lkReply, line(i == 0 ? 'a' : 'x'));
    EXPECT_EQ(fs::file_size("Work/ATVexo.log"), perFile * lineBytes);
    EXPECT_FALSE(fs::exists("Work/ATVexo.log.1"));

    journal.Add(lkReply, line('b')); // would pass 1 MiB
    EXPECT_EQ(fs::file_size("Work/ATVexo.log.1"), perFile * lineBytes);
    EXPECT_TRUE(firstOf("ATVexo.log.1") == JournalFileLine({Start, lkReply, line('a')}));
    EXPECT_EQ(fs::file_size("Work/ATVexo.log"), lineBytes);
    EXPECT_TRUE(firstOf("ATVexo.log") == JournalFileLine({Start, lkReply, line('b')}));

    // Again: the older file is replaced, never a third one.
    for (std::size_t i = 1; i < perFile; ++i)
        journal.Add(lkReply, line('x'));
    now += 1000;
    journal.Add(lkReply, line('c'));
    EXPECT_TRUE(firstOf("ATVexo.log") == JournalFileLine({now, lkReply, line('c')}));
    EXPECT_TRUE(firstOf("ATVexo.log.1") == JournalFileLine({Start, lkReply, line('b')}));
    EXPECT_FALSE(fs::exists("Work/ATVexo.log.2"));
    EXPECT_EQ(journal.Lines().size(), 2 * perFile + 1);
}

TEST_F(JournalTest, AFullFileFromAnEarlierRunMovesAsideFirst)
{
    fs::create_directory("Work");
    {
        std::ofstream old("Work/ATVexo.log", std::ios::binary);
        old << std::string(JournalRotateBytes - 10, 'o');
    }
    TJournal journal([this] { return now; });
    journal.Add(lkCommand, "новый запуск");
    EXPECT_EQ(fs::file_size("Work/ATVexo.log.1"), JournalRotateBytes - 10);
    EXPECT_EQ(FileText("Work/ATVexo.log"), JournalFileLine({Start, lkCommand, "новый запуск"}));
}

TEST_F(JournalTest, SaveLogAsTextOrHtml)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    Press(0);
    Answer(dev, "Vexo v03.17 <b>");
    Press(1);
    Answer(dev, std::nullopt);
    now += 500;

    // Cancelled: nothing written.
    Do([&] { engine->TB_SaveLogClick(); });
    ASSERT_EQ(view.saveAsked.size(), 1u);
    EXPECT_EQ(view.saveAsked[0], (TBox{"Сохранить протокол", "ATVexo-2026-12-08-2140"}));
    ASSERT_EQ(view.saveFilters.size(), 2u);
    EXPECT_EQ(view.saveFilters[0].extension, "txt");
    EXPECT_EQ(view.saveFilters[1].extension, "html");
    EXPECT_TRUE(fs::is_empty(dir_));

    const std::string head = std::string("ПО \"AT_Vexo\" ") + std::string(forms::ProgramVersion) + "\n"
                             "дата сохранения: 08.12.2026 21:40:01\n"
                             "порт: " + dev.SlavePath() + "\n"
                             "Vexo: Vexo v03.17 <b>\n\n";
    view.saveChoice = {(dir_ / "session.txt").string(), 1}; // the extension wins over the filter
    Do([&] { engine->TB_SaveLogClick(); });
    EXPECT_EQ(FileText(dir_ / "session.txt"),
              head + "08.12.2026 21:40:00.000 команда выдать команду в \"Vexo\" - \"контроль \"Vexo\"\"\n"
                     "08.12.2026 21:40:00.000 команда запрос \"Vexo\" -> \"ATI0\"\n"
                     "08.12.2026 21:40:00.500 ответ ответ  \"Vexo\" <- Vexo v03.17 <b>\n"
                     "08.12.2026 21:40:00.500 команда выдать команду в \"Vexo\" - \"чтение скорости порта \"RS232\" Vexo\"\n"
                     "08.12.2026 21:40:00.500 команда запрос \"Vexo\" -> \"AT+xKPV3=?\"\n"
                     "08.12.2026 21:40:01.000 ошибка нет ответа от \"Vexo\"\n");

    view.saveChoice = {(dir_ / "session.html").string(), 0};
    Do([&] { engine->TB_SaveLogClick(); });
    const std::string html = FileText(dir_ / "session.html");
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(html.find("Vexo: Vexo v03.17 &lt;b&gt;"), std::string::npos) << "text is escaped";
    EXPECT_NE(html.find("<span style=\"color:#0000ff\">08.12.2026 21:40:00.000 запрос &quot;Vexo&quot; -&gt; "
                        "&quot;ATI0&quot;</span>"),
              std::string::npos);
    EXPECT_NE(html.find("<span style=\"color:#800000\">08.12.2026 21:40:00.500 ответ  &quot;Vexo&quot; &lt;- "),
              std::string::npos);
    EXPECT_NE(html.find("<span style=\"color:#ff0000\">08.12.2026 21:40:01.000 нет ответа"), std::string::npos);

    // No known extension: the chosen filter decides.
    view.saveChoice = {(dir_ / "session").string(), 1};
    Do([&] { engine->TB_SaveLogClick(); });
    EXPECT_EQ(FileText(dir_ / "session").rfind("<!DOCTYPE html>", 0), 0u);

    // A place that takes no file: an error box, and the program goes on.
    const std::string nowhere = (dir_ / "no-such-folder" / "s.txt").string();
    view.saveChoice = {nowhere, 0};
    Do([&] { engine->TB_SaveLogClick(); });
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0], (TBox{"Error", "Не удалось записать протокол в файл " + nowhere}));
}
