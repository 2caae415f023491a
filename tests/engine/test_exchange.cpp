// The engine driven as the window would drive it: a fake window, the test as
// the clock (it fires the timers), a stand-in Vexo or a bare pseudo-terminal
// on the other end of the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Commands.h"
#include "FakeView.h"
#include "LogHelpers.h"
#include "SerialPump.h"
#include "Thread.h"
#include "VexoSim.h"
#include "WorkFile.h"
#include "XComDrv.h"
#include "SaveWatch.h"
#include "pAT_Vexo.h"
#include "pty.h"

namespace fs = std::filesystem;

namespace {

vexo::sim::Options AlwaysAnswering()
{
    vexo::sim::Options o;
    o.setupWindow = false;
    return o;
}

std::string FileBytes(const fs::path &p)
{
    std::ifstream f(p, std::ios::binary);
    return f ? std::string(std::istreambuf_iterator<char>(f), {}) : std::string("<missing>");
}

// A port whose Close fails, after closing the device or instead of it.
class TFailingClose : public TXComm {
public:
    explicit TFailingClose(bool closes) : FCloses(closes) {}
    void Close() override
    {
        if (FCloses)
            TXComm::Close();
        throw std::runtime_error("close failed");
    }

private:
    bool FCloses;
};


class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainThread(); // the test thread runs the serial hand-overs
        char dir[] = "/tmp/vexo-engine-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        FDir = dir;
        FOldCwd = fs::current_path();
        fs::current_path(FDir);
        engine = std::make_unique<TAT_VexoEngine>(view);
    }
    void TearDown() override
    {
        engine.reset();
        fs::current_path(FOldCwd);
        std::error_code ec;
        fs::remove_all(FDir, ec);
    }

    // The operator presses the button of command n (through the error box).
    void Press(int n)
    {
        engine->Run([&] { engine->SendCommand(n); });
    }
    // 500 ms have passed: the reply timer fires if it runs.
    void Tick()
    {
        if (view.Running(TViewTimer::tRdIn_Vexo))
            engine->Run([&] { engine->tRdIn_VexoTimer(); });
    }
    // Runs hand-overs until the reply buffer holds `n` bytes.
    bool Received(std::size_t n) { return PumpUntil([&] { return engine->RxText().size() >= n; }); }

    // One full exchange with the stand-in: press, wait until its whole answer
    // is in, tick. The lines logged by it.
    std::vector<TLogLine> Exchange(vexo::sim::VexoSim &sim, int n)
    {
        const std::size_t before = view.log.size();
        const std::size_t requests = sim.Requests().size();
        const std::uint64_t sent = sim.BytesSent();
        Press(n);
        EXPECT_TRUE(PumpUntil([&] {
            return sim.Requests().size() > requests && sim.BytesSent() > sent &&
                   engine->RxText().size() >= std::min<std::uint64_t>(sim.BytesSent() - sent, 64 * 1024);
        })) << n;
        Tick();
        return {view.log.begin() + std::ptrdiff_t(std::min(before, view.log.size())), view.log.end()};
    }

    void UsePort(const std::string &path) { view.texts[TViewText::cbRSname] = path; }

    TFakeView view;
    std::unique_ptr<TAT_VexoEngine> engine;
    fs::path FDir, FOldCwd;
};

} // namespace

TEST_F(EngineTest, EveryCommandWithTheStandIn)
{
    vexo::sim::VexoSim sim(AlwaysAnswering());
    UsePort(sim.DevicePath());
    const struct {
        int command;
        const char *request;
        const char *announce;
        const char *verdict;
    } cases[] = {
        {0, "ATI0", "контроль \"Vexo\"", "Vexo v03.17"},
        {1, "AT+xKPV3=?", "чтение скорости порта \"RS232\" Vexo", "скорость RS = \"115200\""},
        {2, "AT+xKPV4=?", "чтение скорости порта \"RS232\" Vexo для принтера", "скорость RS = \"19200\""},
        {3, "AT+xKPV8=?", "чтение адреса \"ModBus\"", "1"},
        {4, "AT+xKPV3=7", "запись скорости порта \"RS232\" Vexo 115200", "запись норма"},
        {5, "AT+xKPV4=4", "запись скорости порта \"RS232\" Vexo для принтера 19200", "запись норма"},
        {6, "AT+xKPV8=1", "запись адреса для \"ModBus\" 1", "запись норма"},
        {7, "AT+xKPV9=?", "чтение флага работы с \"КЛВ-707\"", "выключена поддержка КЛВ-707"},
        {8, "AT+xKPV9=0", "запись флага работы с \"КЛВ-707\" выключить поддержку КЛВ-707", "запись норма"},
        {9, "AT+xKPV0=?", "чтение скорости порта \"I/O\" Vexo", "скорость RS = \"19200\""},
        {10, "AT+xKPV0=4", "запись скорости порта \"I/O\" Vexo 19200", "запись норма"},
    };
    for (const auto &c : cases) {
        sim.ClearRequests();
        const auto lines = Exchange(sim, c.command);
        ASSERT_EQ(lines.size(), 3u) << c.command;
        EXPECT_EQ(lines[0], (TLogLine{std::string("выдать команду в \"Vexo\" - \"") + c.announce + '"', Blue}));
        EXPECT_EQ(lines[1], (TLogLine{std::string("запрос \"Vexo\" -> \"") + c.request + '"', Blue}));
        EXPECT_EQ(lines[2], (TLogLine{std::string("ответ  \"Vexo\" <- ") + c.verdict, Maroon}));
        const auto requests = sim.Requests();
        ASSERT_EQ(requests.size(), 1u) << c.command;
        EXPECT_EQ(requests[0].line, c.request);
        EXPECT_EQ(engine->CurCmd(), c.command);
    }
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(engine->OpenedRS(), sim.DevicePath());
    EXPECT_EQ(view.intervals[TViewTimer::tRdIn_Vexo], 500);

    // Values that were written come back.
    view.klv707 = true;
    EXPECT_EQ(Exchange(sim, 8)[2].text, "ответ  \"Vexo\" <- запись норма");
    EXPECT_EQ(Exchange(sim, 7)[2].text, "ответ  \"Vexo\" <- поддержка КЛВ-707 включена");
    view.texts[TViewText::cbSpeed_SeA] = "38400";
    Exchange(sim, 4);
    EXPECT_EQ(sim.Stored(3), 5);
}

TEST_F(EngineTest, BytesOnTheWireFromTheParameterControls)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    auto sent = [&](int n) {
        Press(n);
        const std::string s = dev.ReadFor(50);
        Tick();
        return s;
    };
    EXPECT_EQ(sent(1), "AT+xKPV3=?\r\n");
    view.texts[TViewText::cbSpeed_SeA] = "19 200";
    EXPECT_EQ(sent(4), "AT+xKPV3=4\r\n");
    view.texts[TViewText::cbSpeed_SeA] = "abc";
    EXPECT_EQ(sent(4), "AT+xKPV3=7\r\n");
    view.texts[TViewText::cbSpeed_SeA] = "";
    EXPECT_EQ(sent(4), "AT+xKPV3=7\r\n");
    EXPECT_EQ(view.log.at(view.log.size() - 3).text,
              "выдать команду в \"Vexo\" - \"запись скорости порта \"RS232\" Vexo\"")
        << "an empty box announces no value";
    view.texts[TViewText::cbSpeed_SeA_Prn] = "38400";
    EXPECT_EQ(sent(5), "AT+xKPV4=5\r\n");
    view.texts[TViewText::cbSpeed_Cor] = "2400";
    EXPECT_EQ(sent(10), "AT+xKPV0=1\r\n");
    view.klv707 = true;
    EXPECT_EQ(sent(8), "AT+xKPV9=1\r\n");
    // The address goes exactly as the spin edit shows it.
    for (const char *shown : {"17", "+5", "007", "1,5", ""}) {
        view.texts[TViewText::seAdrModBus] = shown;
        EXPECT_EQ(sent(6), std::string("AT+xKPV8=") + shown + "\r\n");
    }
    // Text the code page lacks goes as '?'; the log shows what was sent.
    view.texts[TViewText::seAdrModBus] = "1\u00e9";
    EXPECT_EQ(sent(6), "AT+xKPV8=1?\r\n");
    EXPECT_EQ(view.log.at(view.log.size() - 2).text, "запрос \"Vexo\" -> \"AT+xKPV8=1?\"");
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(EngineTest, RepliesAreJudgedAtTheTick)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    auto verdict = [&](int n, const std::string &reply) {
        Press(n);
        dev.ReadFor(10);
        dev.Write(reply);
        EXPECT_TRUE(Received(reply.size())) << reply;
        Tick();
        return view.log.back();
    };
    EXPECT_EQ(verdict(1, "4\r\n").text, "ответ  \"Vexo\" <- скорость RS = \"19200\"");
    EXPECT_EQ(verdict(1, "12\r\n").text, "ответ  \"Vexo\" <- скорость RS = \"\"");
    EXPECT_EQ(verdict(9, "263\r\n").text, "ответ  \"Vexo\" <- скорость RS = \"115200\"");
    EXPECT_EQ(verdict(1, "ERROR\r\n").text, "ответ  \"Vexo\" <- скорость RS = \"брак ответа\"");
    EXPECT_EQ(verdict(1, "7\r\nOK\r\n").text, "ответ  \"Vexo\" <- скорость RS = \"брак ответа\"");
    // A reply that looks numeric but is no number still gets its verdict line.
    EXPECT_EQ(verdict(2, "5-\r\n").text, "ответ  \"Vexo\" <- скорость RS = \"брак ответа\"");
    EXPECT_EQ(verdict(3, " 1 7 \r\n").text, "ответ  \"Vexo\" <-  1 7 ");
    EXPECT_EQ(verdict(4, "ok\r\n").text, "ответ  \"Vexo\" <- запись брак");
    EXPECT_EQ(verdict(4, "OK\r\n").text, "ответ  \"Vexo\" <- запись норма");
    EXPECT_EQ(verdict(7, "2\r\n").text, "ответ  \"Vexo\" <- ответ брак");
    // A bare line end is a reply, judged as empty text.
    EXPECT_EQ(verdict(0, "\r\n").text, "ответ  \"Vexo\" <- ");
    EXPECT_EQ(verdict(3, "\r\n").text, "ответ  \"Vexo\" <- брак ответа");
    // Replies are code page 1251; the undefined byte never breaks anything.
    EXPECT_EQ(verdict(0, "\xC2\xE5\xEA\xF1\xEE 1.0\r\n").text, "ответ  \"Vexo\" <- Вексо 1.0");
    EXPECT_EQ(verdict(0, "a\x98z\r\n").text, "ответ  \"Vexo\" <- a\u0098z");
    EXPECT_EQ(verdict(0, "<b>x</b>\r\n").text, "ответ  \"Vexo\" <- <b>x</b>");
    EXPECT_EQ(view.log.back().colour, Maroon);
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(EngineTest, SplitLateAndMissingReplies)
{
    TestPty dev;
    UsePort(dev.SlavePath());

    // Pieces within the wait are judged as one text.
    Press(1);
    dev.Write("1");
    ASSERT_TRUE(Received(1));
    dev.Write("\r");
    ASSERT_TRUE(Received(2));
    dev.Write("\n");
    ASSERT_TRUE(Received(3));
    Tick();
    EXPECT_EQ(view.log.back().text, "ответ  \"Vexo\" <- скорость RS = \"2400\"");

    // Nothing comes back: a red line.
    Press(0);
    Tick();
    EXPECT_EQ(view.log.back(), (TLogLine{"нет ответа от \"Vexo\"", Red}));

    // A reply after the wait is never judged, and the next request drops it.
    Press(1);
    Tick();
    dev.Write("3\r\n");
    ASSERT_TRUE(Received(3));
    const std::size_t lines = view.log.size();
    EXPECT_FALSE(view.Running(TViewTimer::tRdIn_Vexo));
    EXPECT_FALSE(engine->ReplyTimerEnabled());
    Tick();
    EXPECT_EQ(view.log.size(), lines) << "no second verdict";
    EXPECT_EQ(engine->RxText(), "3\r\n");
    Press(4);
    EXPECT_TRUE(engine->RxText().empty());
    Tick();
    EXPECT_EQ(view.log.back().text, "нет ответа от \"Vexo\"");
}

TEST_F(EngineTest, TwoPressesInOneWaitGiveOneVerdict)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    Press(1);
    Press(4);
    EXPECT_EQ(view.starts[TViewTimer::tRdIn_Vexo], 1) << "the wait is not restarted by the second press";
    dev.ReadFor(20);
    dev.Write("OK\r\n");
    ASSERT_TRUE(Received(4));
    Tick();
    Tick(); // the timer ran once: nothing more
    ASSERT_EQ(view.log.size(), 5u);
    EXPECT_EQ(view.log[1].text, "запрос \"Vexo\" -> \"AT+xKPV3=?\"");
    EXPECT_EQ(view.log[3].text, "запрос \"Vexo\" -> \"AT+xKPV3=7\"");
    EXPECT_EQ(view.log[4].text, "ответ  \"Vexo\" <- запись норма") << "judged as a reply to the latest command";
    EXPECT_EQ(engine->CurCmd(), 4);
    // After the verdict a press starts a new wait.
    Press(0);
    EXPECT_EQ(view.starts[TViewTimer::tRdIn_Vexo], 2);
}

TEST_F(EngineTest, ActivityBarsStepAndWrap)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    for (int i = 1; i <= 11; ++i) {
        Press(0);
        Tick();
        EXPECT_EQ(view.bars[TViewBar::prB_Wr], i <= 10 ? i * 10 : 0) << i;
    }
    EXPECT_EQ(view.bars.count(TViewBar::prB_rd), 0u);
    dev.Write("x");
    ASSERT_TRUE(PumpUntil([&] { return view.bars[TViewBar::prB_rd] > 0; }));
    EXPECT_EQ(view.bars[TViewBar::prB_rd], 10);
    EXPECT_EQ(engine->BarPosition(TViewBar::prB_rd), 10);
}

TEST_F(EngineTest, PortChoiceErrorsAndSwitching)
{
    // No port: an error box and nothing else.
    Press(0);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0], (TBox{"Error", "Не определен \"RS\" порт"}));
    EXPECT_TRUE(view.log.empty());

    // A port that cannot be opened: a red line and its cause, nothing sent.
    UsePort("COM99");
    Press(0);
    ASSERT_EQ(view.log.size(), 2u);
    EXPECT_EQ(view.log[0], (TLogLine{"ошибка инициализации порта COM99", Red}));
    EXPECT_EQ(view.log[1].colour, Red);
    EXPECT_EQ(view.log[1].text.rfind("устройства COM99 нет", 0), 0u) << view.log[1].text;
    EXPECT_FALSE(view.Running(TViewTimer::tRdIn_Vexo));

    // Switching ports closes the first and opens the second.
    TestPty a, b;
    UsePort(a.SlavePath());
    Press(0);
    EXPECT_EQ(a.ReadFor(50), "ATI0\r\n");
    Press(0);
    EXPECT_EQ(a.ReadFor(50), "ATI0\r\n") << "same port: opened once, still open";
    UsePort(b.SlavePath());
    Press(0);
    EXPECT_EQ(b.ReadFor(50), "ATI0\r\n");
    EXPECT_EQ(a.ReadFor(30), "");
    EXPECT_EQ(engine->OpenedRS(), b.SlavePath());
    TXComm probe; // the first port is free again
    probe.SetDeviceName(a.SlavePath());
    EXPECT_TRUE(probe.Open());
    probe.Close();

    // A failed switch forgets the closed port; choosing it again reopens it.
    UsePort("COM98");
    Press(0);
    EXPECT_TRUE(engine->OpenedRS().empty());
    EXPECT_FALSE(engine->XComm_AT().Opened());
    UsePort(b.SlavePath());
    Press(0);
    EXPECT_EQ(b.ReadFor(50), "ATI0\r\n");
    EXPECT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(engine->XComm_AT().BaudRate(), br19200);
}

TEST_F(EngineTest, AVanishedPortIsReportedAndReopenedOnceBack)
{
    DeviceRootDir root;
    auto first = std::make_unique<TestPty>();
    ASSERT_TRUE(root.Link("ttyUSB0", first->SlavePath()));
    UsePort("COM5");
    Press(0);
    EXPECT_EQ(first->ReadFor(50), "ATI0\r\n");
    Tick();
    first.reset(); // unplugged
    Press(0);
    EXPECT_TRUE(view.boxes.empty()) << "no 'Device not opened.' box";
    EXPECT_EQ(view.log.back(), (TLogLine{"ошибка инициализации порта COM5", Red}));
    EXPECT_FALSE(engine->XComm_AT().Opened());
    EXPECT_TRUE(engine->OpenedRS().empty());
    Press(0);
    EXPECT_TRUE(view.boxes.empty());

    TestPty back; // plugged in again
    std::remove((root.Path() + "/ttyUSB0").c_str());
    ASSERT_TRUE(root.Link("ttyUSB0", back.SlavePath()));
    Press(0);
    EXPECT_EQ(back.ReadFor(100), "ATI0\r\n");
    back.Write("Vexo\r\n");
    ASSERT_TRUE(Received(6));
    Tick();
    EXPECT_EQ(view.log.back().text, "ответ  \"Vexo\" <- Vexo");
}

TEST_F(EngineTest, APortThatTakesNothingShowsTheComErrorAndIsReopened)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    Press(0);
    Tick();
    dev.ReadFor(20);
    // Fill the line until the device takes no more.
    TXComm &comm = engine->XComm_AT();
    comm.Buffers().SetOutputTimeout(50);
    while (comm.SendString(std::string(64 * 1024, 'x'))) {
    }
    while (comm.SendString("ATI0\r\n")) {
    }
    comm.Buffers().SetOutputTimeout(500);
    Press(0);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0], (TBox{"Error", "ОШИБКА COM порта"}));
    EXPECT_FALSE(view.Running(TViewTimer::tRdIn_Vexo));
    EXPECT_TRUE(engine->OpenedRS().empty());
    dev.ReadFor(200); // the device reads again
    Press(0);
    EXPECT_EQ(view.boxes.size(), 1u);
    EXPECT_TRUE(view.Running(TViewTimer::tRdIn_Vexo));
}

TEST_F(EngineTest, ScanListsPresentPortsIncludingOurOwn)
{
    DeviceRootDir root;
    TestPty com1, com3;
    ASSERT_TRUE(root.Link("ttyS0", com1.SlavePath()));
    ASSERT_TRUE(root.Link("ttyS2", com3.SlavePath()));
    ASSERT_TRUE(root.MakeFile("ttyS1"));
    UsePort("COM3");
    Press(0);
    Tick();
    ASSERT_TRUE(engine->XComm_AT().Opened());
    view.portList = {"old"};
    UsePort("typed");
    engine->Run([&] { engine->SpeedButton1Click(); });
    EXPECT_EQ(view.portList, (std::vector<std::string>{"COM1", "COM3"}));
    EXPECT_EQ(view.Text(TViewText::cbRSname), "") << "the scan empties the box";
    EXPECT_TRUE(engine->XComm_AT().Opened()) << "the probe leaves our own port alone";
}

TEST_F(EngineTest, SettingsFileAtStartAndClose)
{
    fs::create_directory("Work");
    auto load = [&](const std::string &content) {
        std::ofstream("Work/ATVexo.000", std::ios::binary | std::ios::trunc) << content;
        UsePort("before");
        engine->Run([&] { engine->tInitTimer(); });
        return view.Text(TViewText::cbRSname);
    };
    engine->FormCreate();
    EXPECT_TRUE(view.Running(TViewTimer::tInit));
    EXPECT_EQ(view.intervals[TViewTimer::tInit], 50);
    EXPECT_EQ(load("COM1\r\nCOM4\r\n"), "COM4");
    EXPECT_FALSE(view.Running(TViewTimer::tInit)) << "the start timer fires once";
    EXPECT_EQ(view.moves, 1);
    EXPECT_EQ(load("COM3\r\n\r\n"), "");
    EXPECT_EQ(load("COM  3\r\n"), "COM 3");
    EXPECT_EQ(load("\xCF\xEE\xF0\xF2\r\n"), "Порт");
    EXPECT_EQ(load(""), "before") << "an empty file changes nothing";

    UsePort("COM7 порт");
    engine->FormClose();
    EXPECT_EQ(FileBytes("Work/ATVexo.000"), "COM7 \xEF\xEE\xF0\xF2\r\n") << "one CP1251 line";
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(EngineTest, ClosingClosesThePortThenSavesAndShowsEachError)
{
    fs::create_directory("Work");
    TestPty dev;
    UsePort(dev.SlavePath());
    Press(0);
    ASSERT_TRUE(engine->XComm_AT().Opened());
    {
        TSaveWatch saves(engine->XComm_AT());
        engine->FormClose();
        EXPECT_EQ(saves.Saves(), 1);
        EXPECT_FALSE(saves.PortOpenAtSave()) << "the port is closed before the file is written";
    }
    EXPECT_FALSE(engine->XComm_AT().Opened());
    EXPECT_EQ(FileBytes("Work/ATVexo.000"), dev.SlavePath() + "\r\n");
    EXPECT_TRUE(view.boxes.empty());

    // A port that fails to close: its error is shown and the name still saved.
    for (const bool closes : {true, false}) {
        SCOPED_TRACE(closes);
        engine.reset();
        view.boxes.clear();
        engine = std::make_unique<TAT_VexoEngine>(view, std::make_unique<TFailingClose>(closes));
        UsePort(dev.SlavePath());
        Press(0);
        ASSERT_TRUE(engine->XComm_AT().Opened());
        UsePort("COM9");
        engine->FormClose();
        EXPECT_EQ(view.boxes, (std::vector<TBox>{{"ПО \"AT_Vexo\"", "close failed."}}));
        EXPECT_EQ(FileBytes("Work/ATVexo.000"), "COM9\r\n");
        EXPECT_EQ(view.closes, 0) << "closing asks nothing of the window";
    }
}

TEST_F(EngineTest, ClosingWithoutWorkFolderOrWhileWaiting)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    Press(0);
    ASSERT_TRUE(view.Running(TViewTimer::tRdIn_Vexo));
    engine->FormClose();
    EXPECT_FALSE(engine->XComm_AT().Opened()) << "the port is closed on close";
    EXPECT_FALSE(fs::exists("Work")) << "Work is never created";
    EXPECT_TRUE(view.boxes.empty());
    Tick(); // a wait that outlives the close ends without harm
    EXPECT_EQ(view.log.back().text, "нет ответа от \"Vexo\"");
}

TEST_F(EngineTest, ClearingTheLogWhileWaiting)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    Press(3);
    engine->Run([&] { engine->ToolButton6Click(); });
    EXPECT_TRUE(view.log.empty());
    dev.ReadFor(10);
    dev.Write("17\r\n");
    ASSERT_TRUE(Received(4));
    Tick();
    ASSERT_EQ(view.log.size(), 1u);
    EXPECT_EQ(view.log[0].text, "ответ  \"Vexo\" <- 17");
}

TEST_F(EngineTest, AFloodDuringTheWaitGivesOneVerdict)
{
    auto o = AlwaysAnswering();
    o.fault = vexo::sim::Fault::Flood;
    vexo::sim::VexoSim sim(o);
    UsePort(sim.DevicePath());
    const auto lines = Exchange(sim, 0);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].colour, Maroon);
    EXPECT_LE(engine->RxText().size(), 64u * 1024) << "the reply buffer stays bounded";
    PumpUntil([] { return false; }, 50); // the rest of the flood is drained, not judged
    Tick();
    EXPECT_EQ(view.log.size(), 3u);
}

TEST_F(EngineTest, DestroyedWhileAHandOverIsPending)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    Press(0);
    dev.Write("late\r\n");
    // The bytes are in the port and the event thread waits for the main
    // thread, which does not serve it here.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (engine->XComm_AT().QueueCount(0) < 6 && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    ASSERT_GE(engine->XComm_AT().QueueCount(0), 6u);
    const auto bars = view.bars;
    const auto lines = view.log.size();
    engine.reset();
    EXPECT_EQ(view.bars, bars) << "nothing reached the window while the engine went";
    EXPECT_EQ(view.log.size(), lines);
}

TEST_F(EngineTest, ErrorsEndInTheTopLevelBoxAndTheProgramGoesOn)
{
    // The serial component's own error, raised while closing a closed port.
    engine->Run([&] { engine->XComm_AT().Close(); });
    engine->Run([] { throw std::runtime_error("'5-' is not a valid integer value"); });
    engine->Run([] { throw 42; });
    ASSERT_EQ(view.boxes.size(), 3u);
    EXPECT_EQ(view.boxes[0], (TBox{"ПО \"AT_Vexo\"", "Device not opened."}));
    EXPECT_EQ(view.boxes[1], (TBox{"ПО \"AT_Vexo\"", "'5-' is not a valid integer value."}));
    EXPECT_EQ(view.boxes[2].text, "Unknown error.");
    // A box that cannot be shown takes nothing down.
    view.onBox = [] { throw std::runtime_error("no box"); };
    engine->Run([] { throw std::runtime_error("again"); });
    EXPECT_EQ(view.boxes.size(), 4u);
}

TEST_F(EngineTest, BoxesAskedForWhileOneIsOpenComeAfterIt)
{
    // A timer or a hand-over runs inside the open box's loop and asks for more.
    int depth = 0, deepest = 0;
    view.onBox = [&] {
        ++depth;
        deepest = std::max(deepest, depth);
        if (view.boxes.size() == 1) {
            engine->Run([] { throw std::runtime_error("second"); });
            engine->SendCommand(acInfo); // no port chosen: the "Error" box
            EXPECT_EQ(view.boxes.size(), 1u) << "nothing is shown on top of the open box";
        }
        --depth;
    };
    engine->Run([&] { engine->XComm_AT().Close(); });
    ASSERT_EQ(view.boxes.size(), 3u);
    EXPECT_EQ(view.boxes[0], (TBox{"ПО \"AT_Vexo\"", "Device not opened."}));
    EXPECT_EQ(view.boxes[1], (TBox{"ПО \"AT_Vexo\"", "second."}));
    EXPECT_EQ(view.boxes[2], (TBox{"Error", "Не определен \"RS\" порт"}));
    EXPECT_EQ(deepest, 1) << "boxes never stack";

    // After a box that could not be shown, the next one still is.
    view.onBox = [] { throw std::runtime_error("no box"); };
    engine->Run([] { throw std::runtime_error("lost"); });
    view.onBox = nullptr;
    engine->Run([] { throw std::runtime_error("shown"); });
    EXPECT_EQ(view.boxes.back().text, "shown.");
}

TEST_F(EngineTest, ToolbarAndSecondaryWindows)
{
    engine->Run([&] { engine->ToolButton3Click(); });
    engine->Run([&] { engine->TB_HelpClick(); });
    engine->Run([&] { engine->TB_ExitClick(); });
    engine->AddToLog(lkError, "x");
    engine->AddToLog(lkCommand, "y");
    engine->Run([&] { engine->ToolButton6Click(); });
    engine->AddToLog(lkReply, "z");
    EXPECT_EQ(view.abouts, 1);
    EXPECT_EQ(view.helps, 1);
    EXPECT_EQ(view.closes, 1);
    EXPECT_EQ(view.log, (std::vector<TLogLine>{{"z", Maroon}}));
}

TEST(EngineDesign, TheControlsGetTheirDesignValues)
{
    TFakeView view;
    view.texts[TViewText::cbSpeed_SeA] = "2400";
    view.klv707 = true;
    TAT_VexoEngine engine(view);
    EXPECT_EQ(view.Text(TViewText::cbSpeed_Cor), "19200");
    EXPECT_EQ(view.Text(TViewText::cbSpeed_SeA), "115200");
    EXPECT_EQ(view.Text(TViewText::cbSpeed_SeA_Prn), "19200");
    EXPECT_EQ(view.Text(TViewText::seAdrModBus), "1");
    EXPECT_EQ(view.Text(TViewText::cbRSname), "");
    EXPECT_FALSE(view.klv707);
    EXPECT_TRUE(view.log.empty());
    EXPECT_FALSE(view.Running(TViewTimer::tInit)) << "the start timer waits for FormCreate";
    engine.FormCreate();
    EXPECT_EQ(view.intervals[TViewTimer::tInit], 50);
}

TEST_F(EngineTest, AClickByNameRunsWhatTheWindowsTableSays)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    // Each command button's request with the design values in the controls.
    const std::pair<const char *, std::string> requests[] = {
        {"bRd_Inf", "ATI0"},           {"bRdSpeed_SeA", "AT+xKPV3=?"},   {"bRdSpeed_SeA_Prn", "AT+xKPV4=?"},
        {"bRdAdr_ModBus", "AT+xKPV8=?"}, {"bWrSpeed_SeA", "AT+xKPV3=7"}, {"bWrSpeed_SeA_Prn", "AT+xKPV4=4"},
        {"bWrAdrModBus", "AT+xKPV8=1"}, {"rdKLV707", "AT+xKPV9=?"},     {"wrKLV707", "AT+xKPV9=0"},
        {"rdSpeed_Cor", "AT+xKPV0=?"},  {"wrSpeed_Cor", "AT+xKPV0=4"},
    };
    for (const auto &[button, request] : requests) {
        engine->Click(button);
        EXPECT_EQ(dev.ReadExactly(request.size() + 2, 5000), request + "\r\n") << button;
        EXPECT_EQ(view.log.back().text, "запрос \"Vexo\" -> \"" + request + '"');
    }
    EXPECT_TRUE(view.boxes.empty());

    // Controls without an action, and names the window does not have.
    const std::size_t lines = view.log.size();
    for (const char *name : {"Label1", "chKLV707", "Panel4", "nope", ""})
        engine->Click(name);
    EXPECT_EQ(view.log.size(), lines);
    EXPECT_EQ(dev.ReadFor(50), "") << "nothing more was sent";

    engine->Click("ToolButton3");
    engine->Click("TB_Help");
    engine->Click("TB_Exit");
    EXPECT_EQ(view.abouts, 1);
    EXPECT_EQ(view.helps, 1);
    EXPECT_EQ(view.closes, 1);
    engine->Click("ToolButton6");
    EXPECT_TRUE(view.log.empty());
    engine->Click("SpeedButton1");
    EXPECT_EQ(view.Text(TViewText::cbRSname), "") << "the scanner empties the port box";

    // With the port box emptied a command stops at the port check.
    engine->Click("bRd_Inf");
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0], (TBox{"Error", "Не определен \"RS\" порт"}));
}
