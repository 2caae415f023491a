// The sequences on a fake of their host: which commands go out in which
// order, what goes into the boxes and what the summary lines say, without
// a port. The pty suite (test_sequences.cpp) runs them through the engine.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <utility>

#include "Commands.h"
#include "LogHelpers.h"
#include "MainView.h"
#include "Sequences.h"

namespace {

class FakeHost : public ISequenceHost {
public:
    bool portOpens = true;
    bool sends = true;
    std::vector<std::pair<int, bool>> issued; // command, quiet
    std::map<std::string, std::string, std::less<>> texts;
    std::map<std::string, bool, std::less<>> checks;
    std::map<std::string, bool, std::less<>> down;
    std::vector<std::pair<int, std::string>> log;
    std::string moduleLine;

    bool OpenPort() override { return portOpens; }
    bool Issue(int cmd, bool quiet) override
    {
        if (sends)
            issued.emplace_back(cmd, quiet);
        return sends;
    }
    std::string Text(std::string_view box) const override
    {
        const auto it = texts.find(box);
        return it == texts.end() ? std::string() : it->second;
    }
    bool Checked(std::string_view box) const override
    {
        const auto it = checks.find(box);
        return it != checks.end() && it->second;
    }
    void SetText(std::string_view box, const std::string &text) override { texts[std::string(box)] = text; }
    void SetChecked(std::string_view box, bool checked) override { checks[std::string(box)] = checked; }
    void SetButtonDown(std::string_view button, bool d) override { down[std::string(button)] = d; }
    void Log(int kind, const std::string &text) override { log.emplace_back(kind, text); }
    std::string ModuleLine() const override { return moduleLine; }

    std::vector<int> Commands() const
    {
        std::vector<int> cmds;
        for (const auto &[cmd, quiet] : issued)
            cmds.push_back(cmd);
        return cmds;
    }
};

class SequenceSteps : public ::testing::Test {
protected:
    FakeHost host;
    TSequences seq{host};

    // The reply timer's verdict on the last command issued: `reply`, or
    // silence. The engine keeps the answer to ATI0 as the module's line.
    void Answer(const std::optional<std::string> &reply)
    {
        ASSERT_FALSE(host.issued.empty());
        const int cmd = host.issued.back().first;
        if (cmd == acInfo && reply)
            host.moduleLine = *reply;
        seq.Verdict(cmd, reply.has_value(), reply.value_or(""));
    }
    void Answers(std::initializer_list<std::optional<std::string>> replies)
    {
        for (const auto &r : replies)
            Answer(r);
    }
    const std::pair<int, std::string> &Last() const { return host.log.back(); }
};

const std::vector<int> ReadAll = {acInfo, acRdSpeedIO, acRdSpeedRS, acRdSpeedPrn, acRdAdrModBus, acRdKLV707};
const std::vector<int> WriteAll = {acWrSpeedIO, acWrSpeedRS, acWrSpeedPrn, acWrAdrModBus, acWrKLV707,
                                   acRdSpeedIO, acRdSpeedRS, acRdSpeedPrn, acRdAdrModBus, acRdKLV707};
const std::string Read = "чтение всех параметров \"Vexo\"";
const std::string Write = "запись всех параметров \"Vexo\" с проверкой";

} // namespace

TEST(SequenceCatalogue, EachReadFillsTheBoxItsWriteSendsFromAndSharesItsFacts)
{
    for (int read = 0; read < ATCommandCount; ++read) {
        const int write = WriteOfRead(read);
        if (write < 0)
            continue;
        SCOPED_TRACE(Catalogue[read].name);
        EXPECT_EQ(Catalogue[read].box, Catalogue[write].control);
        EXPECT_EQ(Catalogue[read].parameter, Catalogue[write].parameter);
        EXPECT_EQ(Catalogue[read].computer, Catalogue[write].computer);
        EXPECT_EQ(Catalogue[read].sinceVersion, Catalogue[write].sinceVersion);
        EXPECT_EQ(Catalogue[read].rule == TReplyRule::Flag, Catalogue[write].source == TParamSource::Flag);
    }
    EXPECT_TRUE(Catalogue[acInfo].box.empty()) << "the version goes into no box";
}

TEST_F(SequenceSteps, ReadAllIssuesTheSixReadsAndPutsEachValueIntoItsBox)
{
    seq.Press(TSequenceKind::ReadAll);
    EXPECT_EQ(seq.Running(), TSequenceKind::ReadAll);
    EXPECT_TRUE(host.down[std::string(TViewText::TB_ReadAll)]);
    EXPECT_EQ(host.log.front(), std::make_pair(int(lkCommand), Read));
    Answers({"Vexo v03.17", "3", "5", "6", "17", "1"});
    EXPECT_EQ(host.Commands(), ReadAll);
    for (const auto &[cmd, quiet] : host.issued)
        EXPECT_FALSE(quiet) << "each step is logged as its button's press";
    EXPECT_EQ(host.texts[std::string(TViewText::cbSpeed_Cor)], "9600");
    EXPECT_EQ(host.texts[std::string(TViewText::cbSpeed_SeA)], "38400");
    EXPECT_EQ(host.texts[std::string(TViewText::cbSpeed_SeA_Prn)], "57600");
    EXPECT_EQ(host.texts[std::string(TViewText::seAdrModBus)], "17");
    EXPECT_TRUE(host.checks[std::string(TViewText::chKLV707)]);
    EXPECT_EQ(Last(), std::make_pair(int(lkGood), Read + ": прочитано - версия, скорость \"I/O\", скорость \"RS232\", "
                                                         "скорость принтера, адрес \"ModBus\", флаг \"КЛВ-707\""));
    EXPECT_EQ(seq.Running(), TSequenceKind::None);
    EXPECT_FALSE(host.down[std::string(TViewText::TB_ReadAll)]);
}

TEST_F(SequenceSteps, ReadAllTellsWhatTheUnitLacksFromWhatWentWrong)
{
    // no computer: 4 and 8 refused, so 9 is the computer's too
    seq.Press(TSequenceKind::ReadAll);
    Answers({"Vexo v03.17", "3", "5", "ERROR", "ERROR", "ERROR"});
    EXPECT_EQ(Last(), std::make_pair(int(lkGood), Read + ": прочитано - версия, скорость \"I/O\", скорость \"RS232\"; "
                                                         "нет у Vexo без \"Тетрамакс\" - скорость принтера, адрес "
                                                         "\"ModBus\", флаг \"КЛВ-707\""));
    EXPECT_EQ(host.texts.count(std::string(TViewText::cbSpeed_SeA_Prn)), 0u) << "a lacking box keeps its value";
    // firmware before 03.17: only 9 refused
    seq.Press(TSequenceKind::ReadAll);
    Answers({"Vexo v03.16", "3", "5", "6", "17", "ERROR"});
    EXPECT_EQ(Last(), std::make_pair(int(lkGood), Read + ": прочитано - версия, скорость \"I/O\", скорость \"RS232\", "
                                                         "скорость принтера, адрес \"ModBus\"; нет у Vexo версий до "
                                                         "03.17 - флаг \"КЛВ-707\""));
    // the same refusal from 03.17 is a fault; silence and no number too
    seq.Press(TSequenceKind::ReadAll);
    Answers({"Vexo v03.17", std::nullopt, "5", "6", "abc", "ERROR"});
    EXPECT_EQ(Last(), std::make_pair(int(lkError), Read + ": прочитано - версия, скорость \"RS232\", скорость принтера; "
                                                          "не прочитано - скорость \"I/O\" (нет ответа), адрес "
                                                          "\"ModBus\" (брак ответа), флаг \"КЛВ-707\" (брак ответа)"));
}

TEST_F(SequenceSteps, WriteAllSendsTheBoxesThenComparesWhatReadsBack)
{
    host.texts = {{"cbSpeed_Cor", "9600"}, {"cbSpeed_SeA", "115200"}, {"cbSpeed_SeA_Prn", "57600"}, {"seAdrModBus", "17"}};
    host.checks["chKLV707"] = true;
    host.moduleLine = "Vexo v03.17";
    seq.Press(TSequenceKind::WriteAll);
    EXPECT_TRUE(host.down[std::string(TViewText::TB_WriteAll)]);
    Answers({"OK", "OK", "OK", "OK", "OK", "3", "7", "6", "17", "1"});
    EXPECT_EQ(host.Commands(), WriteAll);
    EXPECT_EQ(Last(), std::make_pair(int(lkGood), Write + ": совпадает - скорость \"I/O\", скорость \"RS232\", "
                                                          "скорость принтера, адрес \"ModBus\", флаг \"КЛВ-707\""));
    EXPECT_EQ(host.texts["cbSpeed_SeA"], "115200") << "write all fills no box";

    // what was sent is what the boxes held at the start
    host.issued.clear();
    seq.Press(TSequenceKind::WriteAll);
    host.texts["cbSpeed_SeA"] = "1200";
    Answers({"OK", "OK", "OK", "OK", "ERROR", "3", "3", std::nullopt, "17", "0"});
    EXPECT_EQ(Last(), std::make_pair(int(lkError), Write + ": совпадает - скорость \"I/O\", адрес \"ModBus\"; "
                                                           "не совпадает - скорость \"RS232\" (записано 115200, "
                                                           "прочитано 9600); нет ответа - скорость принтера; запись "
                                                           "брак - флаг \"КЛВ-707\""));
}

TEST_F(SequenceSteps, WaitRepeatsAQuietATI0UntilTheFirstAnswer)
{
    seq.Press(TSequenceKind::Wait);
    EXPECT_EQ(host.log.front(),
              std::make_pair(int(lkCommand), std::string("ожидание ответа \"Vexo\": \"ATI0\" повторяется до первого ответа")));
    Answers({std::nullopt, std::nullopt, std::nullopt});
    EXPECT_EQ(seq.Attempts(), 4);
    EXPECT_EQ(host.log.size(), 1u) << "silent attempts are not logged";
    Answer("Vexo v03.17");
    EXPECT_EQ(host.issued, (std::vector<std::pair<int, bool>>(4, {acInfo, true})));
    EXPECT_EQ(Last(), std::make_pair(int(lkGood), std::string("ожидание ответа \"Vexo\" окончено: ответ на попытку 4")));
    EXPECT_EQ(seq.Running(), TSequenceKind::None);

    // a port that will not open: nothing starts, nothing is logged here
    host = FakeHost{};
    host.portOpens = false;
    seq.Press(TSequenceKind::Wait);
    EXPECT_EQ(seq.Running(), TSequenceKind::None);
    EXPECT_TRUE(host.issued.empty());
    EXPECT_TRUE(host.log.empty());
}

TEST_F(SequenceSteps, ASequenceEndsWhenNothingGoesOutOrItIsInterrupted)
{
    host.sends = false;
    seq.Press(TSequenceKind::ReadAll);
    EXPECT_EQ(Last(), std::make_pair(int(lkError), Read + " прервано, выполнено шагов: 0 из 6"));
    EXPECT_EQ(seq.Running(), TSequenceKind::None);
    EXPECT_FALSE(host.down[std::string(TViewText::TB_ReadAll)]);

    host.sends = true;
    seq.Press(TSequenceKind::ReadAll);
    Answers({"Vexo v03.17", "3"});
    seq.Verdict(acWrSpeedRS, true, "OK"); // not the step's command: ignored
    EXPECT_EQ(host.issued.size(), 3u);
    seq.Interrupt();
    EXPECT_EQ(Last(), std::make_pair(int(lkError), Read + " прервано, выполнено шагов: 2 из 6"));
    seq.Verdict(acRdSpeedRS, true, "5"); // the step's late verdict moves nothing
    EXPECT_EQ(host.issued.size(), 3u);

    // another sequence's button ends the running one first; its own ends it
    seq.Press(TSequenceKind::ReadAll);
    seq.Press(TSequenceKind::WriteAll);
    EXPECT_EQ(host.log[host.log.size() - 2], std::make_pair(int(lkError), Read + " прервано, выполнено шагов: 0 из 6"));
    EXPECT_EQ(seq.Running(), TSequenceKind::WriteAll);
    seq.Press(TSequenceKind::WriteAll);
    EXPECT_EQ(Last(), std::make_pair(int(lkError), Write + " прервано, выполнено шагов: 0 из 10"));
    EXPECT_EQ(seq.Running(), TSequenceKind::None);
}
