// The engine following the plug: a fake sysfs tree and device folder under
// the real enumeration and the real monitor (inotify on that folder, served
// by the main loop), the stand-in Vexo on the pty an added node links to.
#include "EngineRig.h"

#include <chrono>
#include <fstream>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FakeSysfs.h"
#include "LogHelpers.h"
#include "VexoSim.h"
#include "commlayer.h"
#include "pty.h"

namespace {

using namespace std::chrono_literals;
using vexo::sim::ManualClock;
using vexo::sim::Options;
using vexo::sim::VexoSim;

const TColour Teal{0, 128, 128};
const FakeSysfs::Usb Ft232{.usbPath = "1-2", .vid = "0403", .pid = "6001", .product = "FT232R USB UART",
                           .maker = "FTDI", .serial = "A50285BI"};

class PlugTest : public EngineRig {
protected:
    void SetUp() override
    {
        EngineRig::SetUp();
        ASSERT_GE(MainLoopFd(), 0); // the loop the monitor is served by
        commlayer::SetDeviceRoot(fs.Dev().string());
        SetPortRoots(fs.Roots());
    }
    void TearDown() override
    {
        EngineRig::TearDown();
        commlayer::SetDeviceRoot("/dev");
        SetPortRoots({});
    }
    void StartProgram() { Do([&] { engine->tInitTimer(); }); }
    // The adapter `tty` comes: its sysfs entries, its node a link to the stand-in's pty.
    void Plug(const std::string &tty, const FakeSysfs::Usb &usb)
    {
        Options o;
        o.setupWindow = false;
        o.clock = simClock;
        sims.push_back(std::make_unique<VexoSim>(std::move(o)));
        fs.AddUsb(tty, usb);
        fs.LinkNode(tty, sims.back()->DevicePath());
    }
    bool Logged(const std::string &text)
    {
        return PumpUntil([&] {
            for (const TLogLine &l : view.log)
                if (l.text == text)
                    return true;
            return false;
        });
    }
    void Remember(const std::string &port, const std::string &adapterLine)
    {
        std::filesystem::create_directory("Work");
        std::ofstream("Work/ATVexo.000") << port << "\r\n";
        std::ofstream("Work/ATVexo.adapter") << adapterLine << "\r\n";
    }

    FakeSysfs fs;
    std::shared_ptr<ManualClock> simClock = std::make_shared<ManualClock>();
    std::vector<std::unique_ptr<VexoSim>> sims;
};

TEST_F(PlugTest, PluggedAndPulledOutWithTheirLinesTheListFollowsTheBoxStays)
{
    StartProgram();
    Do([&] { engine->SpeedButton1Click(); });
    EXPECT_TRUE(view.portList.empty());
    view.texts[TViewText::cbRSname] = "COM3"; // typed by the operator
    Plug("ttyUSB1", Ft232);
    ASSERT_TRUE(Logged("подключен COM6: FT232R USB UART (FTDI, № A50285BI)"));
    EXPECT_EQ(view.log.back().colour, Teal);
    EXPECT_EQ(engine->Journal().Lines().back().kind, lkPort) << "into the journal too";
    EXPECT_EQ(view.portList, (std::vector<std::string>{"COM6"}));
    EXPECT_EQ(view.portNotes["COM6"], "USB: FT232R USB UART");
    EXPECT_EQ(view.texts.Get(TViewText::cbRSname), "COM3");

    fs.Remove("ttyUSB1");
    ASSERT_TRUE(Logged("отключен COM6: FT232R USB UART"));
    EXPECT_TRUE(view.portList.empty());
    EXPECT_EQ(view.texts.Get(TViewText::cbRSname), "COM3");
    int plugLines = 0;
    for (const TLogLine &l : view.log)
        plugLines += l.colour == Teal;
    EXPECT_EQ(plugLines, 2) << "one line per change, however many notices";
}

TEST_F(PlugTest, TheOpenedAdapterIsRememberedOnlyWhereWorkExists)
{
    StartProgram();
    Plug("ttyUSB1", Ft232);
    ASSERT_TRUE(Logged("подключен COM6: FT232R USB UART (FTDI, № A50285BI)"));
    UsePort("COM6");
    Press(0);
    ASSERT_EQ(engine->OpenedRS(), "COM6");
    EXPECT_FALSE(std::filesystem::exists("Work")) << "the Work folder is never made";

    std::filesystem::create_directory("Work");
    Do([&] { engine->CloseRSPort(); });
    Plug("ttyUSB2", {.usbPath = "1-3", .vid = "1a86", .pid = "7523", .product = "USB Serial"});
    ASSERT_TRUE(Logged("подключен COM7: USB Serial (USB 1-3)"));
    UsePort("COM7");
    now += 500;
    Tick(); // the first press's reply wait is over
    Press(0);
    ASSERT_EQ(engine->OpenedRS(), "COM7");
    std::ifstream in("Work/ATVexo.adapter");
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "COM7\t1a86\t7523\t\t1-3\t0\tUSB Serial\t\r");
}

TEST_F(PlugTest, TheBoxFollowsItsAdapterToItsNewNameAtTheStartAndWhenPlugged)
{
    Remember("COM5", "COM5\t0403\t6001\tA50285BI\t\t0\tFT232R USB UART\tFTDI");
    Plug("ttyUSB2", Ft232); // COM7 now
    StartProgram();
    EXPECT_EQ(view.texts.Get(TViewText::cbRSname), "COM7");
    ASSERT_FALSE(view.log.empty());
    EXPECT_EQ(view.log.back(), (TLogLine{"адаптер FT232R USB UART теперь COM7, был COM5", Teal}));
    EXPECT_EQ(view.hints["cbRSname"], "COM7: FT232R USB UART (FTDI, 0403:6001, № A50285BI)");
    std::ifstream settings("Work/ATVexo.000", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(settings), {}), "COM5\r\n") << "the settings file is not touched";

    // Pulled out and plugged into a third socket: it follows again.
    fs.Remove("ttyUSB2");
    ASSERT_TRUE(Logged("отключен COM7: FT232R USB UART"));
    Plug("ttyUSB0", Ft232);
    ASSERT_TRUE(Logged("адаптер FT232R USB UART теперь COM5, был COM7"));
    EXPECT_EQ(view.texts.Get(TViewText::cbRSname), "COM5");
}

TEST_F(PlugTest, TwoIdenticalAdaptersAwayFromTheOldSocketChooseNothing)
{
    Remember("COM5", "COM5\t1a86\t7523\t\t1-1.2\t0\tUSB Serial\t");
    Plug("ttyUSB1", {.usbPath = "1-1.3", .vid = "1a86", .pid = "7523", .product = "USB Serial"});
    Plug("ttyUSB3", {.usbPath = "1-1.4", .vid = "1a86", .pid = "7523", .product = "USB Serial"});
    StartProgram();
    EXPECT_EQ(view.texts.Get(TViewText::cbRSname), "COM5");
    ASSERT_FALSE(view.log.empty());
    EXPECT_EQ(view.log.back().text, "адаптер USB Serial (был COM5) не выбран: одинаковые адаптеры без серийного "
                                    "номера на COM6, COM8, ни один не в прежнем гнезде USB");
}

TEST_F(PlugTest, NoRememberedAdapterPresentLeavesTheBoxAndTheLog)
{
    Remember("COM5", "COM5\t0403\t6001\tA50285BI\t\t0\tFT232R USB UART\tFTDI");
    Plug("ttyUSB2", {.usbPath = "1-4", .vid = "0403", .pid = "6001", .product = "FT232R USB UART", .serial = "B77"});
    StartProgram();
    EXPECT_EQ(view.texts.Get(TViewText::cbRSname), "COM5");
    EXPECT_TRUE(view.log.empty());
}

TEST_F(PlugTest, F5PressedBeforeTheAdapterCameGetsItsAnswer)
{
    StartProgram();
    UsePort("COM6");
    Do([&] { engine->TB_WaitClick(); });
    EXPECT_TRUE(view.Down(TViewText::TB_Wait));
    ASSERT_EQ(view.log.size(), 2u);
    EXPECT_EQ(view.log[1], (TLogLine{"порт COM6 не подключен: ожидание подключения адаптера", Teal}));
    EXPECT_FALSE(view.Running(TViewTimer::tRdIn_Vexo));

    Plug("ttyUSB1", Ft232);
    ASSERT_TRUE(PumpUntil([&] { return view.Running(TViewTimer::tRdIn_Vexo); })) << "the first attempt went out";
    VexoSim &sim = *sims.back();
    ASSERT_TRUE(PumpUntil([&] { return !sim.Requests().empty(); }));
    const std::uint64_t before = sim.BytesSent();
    simClock->Advance(500ms);
    ASSERT_TRUE(sim.Settle(2000ms));
    const std::uint64_t answer = sim.BytesSent() - before;
    ASSERT_TRUE(PumpUntil([&] { return engine->RxText().size() >= answer; }));
    now += 500;
    Tick();
    EXPECT_EQ(view.log.back(), (TLogLine{"ожидание ответа \"Vexo\" окончено: ответ на попытку 1", Green}));
    EXPECT_FALSE(view.Down(TViewText::TB_Wait));
}

} // namespace

namespace {

// A process named `name` that holds `device` open on its stdin until killed.
class Holder {
public:
    Holder(const std::filesystem::path &dir, const std::string &name, const std::string &device)
    {
        const auto program = dir / name;
        std::filesystem::copy_file("/bin/sleep", program);
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
            ::dup2(fd, 0);
            ::execl(program.c_str(), name.c_str(), "60", static_cast<char *>(nullptr));
            ::_exit(127);
        }
    }
    ~Holder()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// The holder runs under its name with the device open.
bool Holds(pid_t pid, const std::string &device)
{
    return PumpUntil([&] {
        std::error_code ec;
        return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/fd/0", ec) == device;
    });
}

} // namespace

TEST_F(PlugTest, AnAdapterModemManagerTookSaysSoAtOnceWithTheRemedy)
{
    StartProgram();
    TestPty device;
    std::filesystem::create_directory("bin");
    Holder mm("bin", "ModemManager", device.SlavePath());
    ASSERT_TRUE(Holds(mm.Pid(), device.SlavePath()));
    fs.AddUsb("ttyUSB1", Ft232);
    fs.LinkNode("ttyUSB1", device.SlavePath());
    const std::string path = (fs.Dev() / "ttyUSB1").string();
    const std::string taken = "порт " + path + " занят программой ModemManager (PID " + std::to_string(mm.Pid()) +
                              "); ModemManager проверяет адаптер как модем: остановите его (sudo systemctl stop "
                              "ModemManager) или запретите ему этот адаптер правилом udev ENV{ID_MM_DEVICE_IGNORE}=\"1\"";
    ASSERT_TRUE(Logged(taken)) << "before anything is pressed";
    EXPECT_EQ(view.log.back().colour, Red);
    EXPECT_EQ(view.log.size(), 2u) << "the plug's line, then who took it; nothing more";
}
