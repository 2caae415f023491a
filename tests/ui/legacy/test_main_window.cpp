// The main window driven as an operator would: controls found by name, a
// stand-in Vexo or a bare pseudo-terminal on the other end of the line.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <memory>
#include <vector>

#include "ErrorHandler.h"
#include "SpinEdit.h"
#include "VexoSim.h"
#include "XComDrv.h"
#include "pAT_Vexo.h"
#include "QtWait.h"
#include "pty.h"

namespace {

QString U(const char *s) { return QString::fromUtf8(s); }

const QColor Blue(0, 0, 255), Maroon(128, 0, 0), Red(255, 0, 0);

struct Line {
    QString text;
    QColor colour;
};

std::vector<Line> LogLines(QTextEdit *view)
{
    std::vector<Line> lines;
    for (QTextBlock b = view->document()->begin(); b.isValid(); b = b.next()) {
        if (b.text().isEmpty())
            continue;
        const QTextFragment f = b.begin().fragment();
        lines.push_back({b.text(), f.charFormat().foreground().color()});
    }
    return lines;
}

struct Box {
    QString caption, text;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConnectSerialToEventLoop();
        SetMessagePresenter([this](QWidget *, const QString &c, const QString &t) { boxes.push_back({c, t}); });
        ASSERT_TRUE(cwd.isValid());
        oldCwd = QDir::currentPath();
        QDir::setCurrent(cwd.path());
        window = std::make_unique<TfAT_Vexo>();
        window->show();
        log = Find<QTextEdit>("reWin");
        port = Find<QComboBox>("cbRSname");
    }
    void TearDown() override
    {
        window.reset();
        QDir::setCurrent(oldCwd);
        SetMessagePresenter(nullptr);
    }

    template <typename T>
    T *Find(const char *name)
    {
        T *w = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    void Press(const char *button) { Find<QPushButton>(button)->click(); }

    // One full exchange: press, then wait for the verdict (or no-reply) line.
    std::vector<Line> Exchange(const char *button)
    {
        const std::size_t before = LogLines(log).size();
        Press(button);
        WaitFor([&] { return !window->tRdIn_Vexo()->isActive() && LogLines(log).size() >= before + 3; }, 3000);
        auto all = LogLines(log);
        return std::vector<Line>(all.begin() + static_cast<std::ptrdiff_t>(std::min(before, all.size())), all.end());
    }

    void UsePort(const std::string &path) { port->setEditText(QString::fromStdString(path)); }

    QTemporaryDir cwd;
    QString oldCwd;
    std::unique_ptr<TfAT_Vexo> window;
    QTextEdit *log = nullptr;
    QComboBox *port = nullptr;
    std::vector<Box> boxes;
};

vexo::sim::Options AlwaysAnswering()
{
    vexo::sim::Options o;
    o.setupWindow = false;
    return o;
}

} // namespace

TEST_F(MainWindowTest, EveryCommandWithTheStandIn)
{
    vexo::sim::VexoSim sim(AlwaysAnswering());
    UsePort(sim.DevicePath());
    const struct {
        const char *button;
        const char *request;
        const char *announce;
        const char *verdict;
    } cases[] = {
        {"bRd_Inf", "ATI0", "контроль \"Vexo\"", "Vexo v03.17"},
        {"bRdSpeed_SeA", "AT+xKPV3=?", "чтение скорости порта \"RS232\" Vexo", "скорость RS = \"115200\""},
        {"bRdSpeed_SeA_Prn", "AT+xKPV4=?", "чтение скорости порта \"RS232\" Vexo для принтера",
         "скорость RS = \"19200\""},
        {"bRdAdr_ModBus", "AT+xKPV8=?", "чтение адреса \"ModBus\"", "1"},
        {"bWrSpeed_SeA", "AT+xKPV3=7", "запись скорости порта \"RS232\" Vexo 115200", "запись норма"},
        {"bWrSpeed_SeA_Prn", "AT+xKPV4=4", "запись скорости порта \"RS232\" Vexo для принтера 19200",
         "запись норма"},
        {"bWrAdrModBus", "AT+xKPV8=1", "запись адреса для \"ModBus\" 1", "запись норма"},
        {"rdKLV707", "AT+xKPV9=?", "чтение флага работы с \"КЛВ-707\"", "выключена поддержка КЛВ-707"},
        {"wrKLV707", "AT+xKPV9=0", "запись флага работы с \"КЛВ-707\" выключить поддержку КЛВ-707",
         "запись норма"},
        {"rdSpeed_Cor", "AT+xKPV0=?", "чтение скорости порта \"I/O\" Vexo", "скорость RS = \"19200\""},
        {"wrSpeed_Cor", "AT+xKPV0=4", "запись скорости порта \"I/O\" Vexo 19200", "запись норма"},
    };
    for (const auto &c : cases) {
        sim.ClearRequests();
        const auto lines = Exchange(c.button);
        ASSERT_EQ(lines.size(), 3u) << c.button;
        EXPECT_EQ(lines[0].text, U("выдать команду в \"Vexo\" - \"") + U(c.announce) + u'"') << c.button;
        EXPECT_EQ(lines[0].colour, Blue);
        EXPECT_EQ(lines[1].text, U("запрос \"Vexo\" -> \"") + U(c.request) + u'"');
        EXPECT_EQ(lines[1].colour, Blue);
        EXPECT_EQ(lines[2].text, U("ответ  \"Vexo\" <- ") + U(c.verdict)) << c.button;
        EXPECT_EQ(lines[2].colour, Maroon);
        const auto requests = sim.Requests();
        ASSERT_EQ(requests.size(), 1u) << c.button;
        EXPECT_EQ(requests[0].line, c.request);
    }
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(window->OpenedRS(), QString::fromStdString(sim.DevicePath()));

    // Values that were written come back.
    Find<QCheckBox>("chKLV707")->setChecked(true);
    EXPECT_EQ(Exchange("wrKLV707")[2].text, U("ответ  \"Vexo\" <- запись норма"));
    EXPECT_EQ(Exchange("rdKLV707")[2].text, U("ответ  \"Vexo\" <- поддержка КЛВ-707 включена"));
    Find<QComboBox>("cbSpeed_SeA")->setEditText(QStringLiteral("38400"));
    Exchange("bWrSpeed_SeA");
    EXPECT_EQ(sim.Stored(3), 5);
}

TEST_F(MainWindowTest, BytesOnTheWireAndTheParameterControls)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    auto sent = [&](const char *button) {
        Press(button);
        const std::string s = dev.ReadFor(100);
        window->tRdIn_Vexo()->stop();
        return s;
    };
    EXPECT_EQ(sent("bRdSpeed_SeA"), "AT+xKPV3=?\r\n");
    auto *speed = Find<QComboBox>("cbSpeed_SeA");
    speed->setEditText(QStringLiteral("19 200"));
    EXPECT_EQ(sent("bWrSpeed_SeA"), "AT+xKPV3=4\r\n");
    speed->setEditText(QStringLiteral("abc"));
    EXPECT_EQ(sent("bWrSpeed_SeA"), "AT+xKPV3=7\r\n");
    speed->setEditText(QString());
    EXPECT_EQ(sent("bWrSpeed_SeA"), "AT+xKPV3=7\r\n");
    EXPECT_EQ(LogLines(log).at(LogLines(log).size() - 2).text,
              U("выдать команду в \"Vexo\" - \"запись скорости порта \"RS232\" Vexo\""))
        << "an empty box announces no value";
    Find<QComboBox>("cbSpeed_SeA_Prn")->setEditText(QStringLiteral("38400"));
    EXPECT_EQ(sent("bWrSpeed_SeA_Prn"), "AT+xKPV4=5\r\n");
    Find<QCheckBox>("chKLV707")->setChecked(true);
    EXPECT_EQ(sent("wrKLV707"), "AT+xKPV9=1\r\n");

    auto *spin = Find<TSpinEdit>("seAdrModBus");
    auto typed = [&](const QString &text) {
        spin->setFocus();
        spin->findChild<QLineEdit *>()->setText(text);
        Find<QPushButton>("bWrAdrModBus")->setFocus(); // clicking the button takes the focus
        QCoreApplication::processEvents();
        return sent("bWrAdrModBus");
    };
    EXPECT_EQ(typed("17"), "AT+xKPV8=17\r\n");
    EXPECT_EQ(typed("+5"), "AT+xKPV8=+5\r\n");
    EXPECT_EQ(typed("007"), "AT+xKPV8=007\r\n");
    EXPECT_EQ(typed("1,5"), "AT+xKPV8=1,5\r\n");
    EXPECT_EQ(typed(""), "AT+xKPV8=\r\n");
    EXPECT_EQ(typed("0"), "AT+xKPV8=1\r\n");
    EXPECT_EQ(typed("300"), "AT+xKPV8=250\r\n");
    EXPECT_EQ(typed("-7"), "AT+xKPV8=1\r\n");
    spin->stepBy(1);
    EXPECT_EQ(spin->Text(), QStringLiteral("2"));
    spin->stepBy(1000);
    EXPECT_EQ(spin->Text(), QStringLiteral("250"));
    QString bad = QStringLiteral("1a");
    int pos = 0;
    EXPECT_EQ(spin->validate(bad, pos), QValidator::Invalid) << "letters cannot be typed";
}

TEST_F(MainWindowTest, RepliesAreJudgedAfterTheWait)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    auto verdict = [&](const char *button, const std::string &reply) {
        Press(button);
        dev.ReadFor(20);
        dev.Write(reply);
        WaitFor([&] { return !window->tRdIn_Vexo()->isActive(); });
        return LogLines(log).back();
    };
    EXPECT_EQ(verdict("bRdSpeed_SeA", "4\r\n").text, U("ответ  \"Vexo\" <- скорость RS = \"19200\""));
    EXPECT_EQ(verdict("bRdSpeed_SeA", "12\r\n").text, U("ответ  \"Vexo\" <- скорость RS = \"\""));
    EXPECT_EQ(verdict("rdSpeed_Cor", "263\r\n").text, U("ответ  \"Vexo\" <- скорость RS = \"115200\""));
    EXPECT_EQ(verdict("bRdSpeed_SeA", "ERROR\r\n").text, U("ответ  \"Vexo\" <- скорость RS = \"брак ответа\""));
    EXPECT_EQ(verdict("bRdSpeed_SeA", "7\r\nOK\r\n").text,
              U("ответ  \"Vexo\" <- скорость RS = \"брак ответа\""));
    // A reply that looks numeric but is no number still gets its verdict line.
    EXPECT_EQ(verdict("bRdSpeed_SeA_Prn", "5-\r\n").text, U("ответ  \"Vexo\" <- скорость RS = \"брак ответа\""));
    EXPECT_EQ(verdict("bRdAdr_ModBus", " 1 7 \r\n").text, U("ответ  \"Vexo\" <-  1 7 "));
    EXPECT_EQ(verdict("bWrSpeed_SeA", "ok\r\n").text, U("ответ  \"Vexo\" <- запись брак"));
    EXPECT_EQ(verdict("bWrSpeed_SeA", "OK\r\n").text, U("ответ  \"Vexo\" <- запись норма"));
    EXPECT_EQ(verdict("rdKLV707", "2\r\n").text, U("ответ  \"Vexo\" <- ответ брак"));
    // A bare line end is a reply, judged as empty text.
    EXPECT_EQ(verdict("bRd_Inf", "\r\n").text, U("ответ  \"Vexo\" <- "));
    EXPECT_EQ(verdict("bRdAdr_ModBus", "\r\n").text, U("ответ  \"Vexo\" <- брак ответа"));
    // Replies are code page 1251.
    EXPECT_EQ(verdict("bRd_Inf", "\xC2\xE5\xEA\xF1\xEE 1.0\r\n").text, U("ответ  \"Vexo\" <- Вексо 1.0"));
    EXPECT_EQ(verdict("bRd_Inf", "<b>x</b>\r\n").text, U("ответ  \"Vexo\" <- <b>x</b>")) << "shown literally";
    EXPECT_EQ(LogLines(log).back().colour, Maroon);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindowTest, SplitLateAndMissingReplies)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    QElapsedTimer t;

    // Pieces within the wait are judged as one text.
    Press("bRdSpeed_SeA");
    t.start();
    dev.Write("1");
    Idle(100);
    dev.Write("\r");
    Idle(100);
    dev.Write("\n");
    WaitFor([&] { return !window->tRdIn_Vexo()->isActive(); });
    EXPECT_EQ(LogLines(log).back().text, U("ответ  \"Vexo\" <- скорость RS = \"2400\""));
    EXPECT_GE(t.elapsed(), 450);

    // Nothing comes back: a red line.
    Press("bRd_Inf");
    WaitFor([&] { return !window->tRdIn_Vexo()->isActive(); });
    EXPECT_EQ(LogLines(log).back().text, U("нет ответа от \"Vexo\""));
    EXPECT_EQ(LogLines(log).back().colour, Red);

    // A reply after the wait is never judged, and the next request drops it.
    Press("bRdSpeed_SeA");
    WaitFor([&] { return !window->tRdIn_Vexo()->isActive(); });
    dev.Write("3\r\n");
    WaitFor([&] { return !window->RxText().isEmpty(); });
    const std::size_t lines = LogLines(log).size();
    Idle(600);
    EXPECT_EQ(LogLines(log).size(), lines) << "no second verdict";
    EXPECT_EQ(window->RxText(), QByteArray("3\r\n"));
    Press("bWrSpeed_SeA");
    EXPECT_TRUE(window->RxText().isEmpty());
    WaitFor([&] { return !window->tRdIn_Vexo()->isActive(); });
    EXPECT_EQ(LogLines(log).back().text, U("нет ответа от \"Vexo\""));
}

TEST_F(MainWindowTest, TwoPressesInOneWaitGiveOneVerdict)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    QElapsedTimer t;
    t.start();
    Press("bRdSpeed_SeA");
    Idle(100);
    Press("bWrSpeed_SeA");
    dev.ReadFor(20);
    dev.Write("OK\r\n");
    WaitFor([&] { return !window->tRdIn_Vexo()->isActive(); });
    const qint64 took = t.elapsed();
    Idle(300);
    const auto lines = LogLines(log);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1].text, U("запрос \"Vexo\" -> \"AT+xKPV3=?\""));
    EXPECT_EQ(lines[3].text, U("запрос \"Vexo\" -> \"AT+xKPV3=7\""));
    EXPECT_EQ(lines[4].text, U("ответ  \"Vexo\" <- запись норма")) << "judged as a reply to the latest command";
    EXPECT_LT(took, 590) << "the wait is not restarted by the second press";
    EXPECT_EQ(window->CurCmd(), 4);
}

TEST_F(MainWindowTest, ActivityBarsStepAndWrap)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    auto *wr = Find<QProgressBar>("prB_Wr");
    auto *rd = Find<QProgressBar>("prB_rd");
    for (int i = 1; i <= 11; ++i) {
        Press("bRd_Inf");
        window->tRdIn_Vexo()->stop();
        EXPECT_EQ(wr->value(), i <= 10 ? i * 10 : 0) << i;
    }
    EXPECT_EQ(rd->value(), 0);
    dev.Write("x");
    WaitFor([&] { return rd->value() > 0; });
    EXPECT_EQ(rd->value(), 10);
}

TEST_F(MainWindowTest, PortChoiceErrorsAndSwitching)
{
    // No port: an error box and nothing else.
    Press("bRd_Inf");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(boxes[0].text, U("Не определен \"RS\" порт"));
    EXPECT_TRUE(LogLines(log).empty());

    // A port that cannot be opened: a red line, nothing sent.
    port->setEditText(QStringLiteral("COM99"));
    Press("bRd_Inf");
    ASSERT_EQ(LogLines(log).size(), 1u);
    EXPECT_EQ(LogLines(log)[0].text, U("ошибка инициализации порта COM99"));
    EXPECT_EQ(LogLines(log)[0].colour, Red);
    EXPECT_FALSE(window->tRdIn_Vexo()->isActive());

    // Switching ports closes the first and opens the second.
    TestPty a, b;
    UsePort(a.SlavePath());
    Press("bRd_Inf");
    EXPECT_EQ(a.ReadFor(50), "ATI0\r\n");
    Press("bRd_Inf");
    EXPECT_EQ(a.ReadFor(50), "ATI0\r\n") << "same port: opened once, still open";
    UsePort(b.SlavePath());
    Press("bRd_Inf");
    EXPECT_EQ(b.ReadFor(50), "ATI0\r\n");
    EXPECT_EQ(a.ReadFor(30), "");
    EXPECT_EQ(window->OpenedRS(), QString::fromStdString(b.SlavePath()));
    TXComm probe; // the first port is free again
    probe.SetDeviceName(a.SlavePath());
    EXPECT_TRUE(probe.Open());
    probe.Close();

    // A failed switch forgets the closed port; choosing it again reopens it.
    port->setEditText(QStringLiteral("COM98"));
    Press("bRd_Inf");
    EXPECT_TRUE(window->OpenedRS().isEmpty());
    EXPECT_FALSE(window->XComm_AT().Opened());
    UsePort(b.SlavePath());
    Press("bRd_Inf");
    EXPECT_EQ(b.ReadFor(50), "ATI0\r\n");
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(MainWindowTest, AVanishedPortIsReportedAndReopenedOnceBack)
{
    DeviceRootDir root;
    auto first = std::make_unique<TestPty>();
    ASSERT_TRUE(root.Link("ttyUSB0", first->SlavePath()));
    port->setEditText(QStringLiteral("COM5"));
    Press("bRd_Inf");
    EXPECT_EQ(first->ReadFor(50), "ATI0\r\n");
    window->tRdIn_Vexo()->stop();
    first.reset(); // unplugged
    Idle(50);
    Press("bRd_Inf");
    EXPECT_TRUE(boxes.empty()) << "no 'Device not opened.' box";
    EXPECT_EQ(LogLines(log).back().text, U("ошибка инициализации порта COM5"));
    EXPECT_EQ(LogLines(log).back().colour, Red);
    EXPECT_FALSE(window->XComm_AT().Opened());
    EXPECT_TRUE(window->OpenedRS().isEmpty());
    Press("bRd_Inf");
    EXPECT_TRUE(boxes.empty());

    TestPty back; // plugged in again
    std::remove((root.Path() + "/ttyUSB0").c_str());
    ASSERT_TRUE(root.Link("ttyUSB0", back.SlavePath()));
    Press("bRd_Inf");
    EXPECT_EQ(back.ReadFor(100), "ATI0\r\n");
    back.Write("Vexo\r\n");
    WaitFor([&] { return !window->tRdIn_Vexo()->isActive(); });
    EXPECT_EQ(LogLines(log).back().text, U("ответ  \"Vexo\" <- Vexo"));
}

TEST_F(MainWindowTest, APortThatTakesNothingShowsTheComErrorAndIsReopened)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    Press("bRd_Inf");
    window->tRdIn_Vexo()->stop();
    dev.ReadFor(20);
    // Fill the line until the device takes no more.
    window->XComm_AT().Buffers().SetOutputTimeout(50);
    while (window->XComm_AT().SendString(std::string(64 * 1024, 'x'))) {
    }
    while (window->XComm_AT().SendString("ATI0\r\n")) {
    }
    window->XComm_AT().Buffers().SetOutputTimeout(500);
    Press("bRd_Inf");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(boxes[0].text, U("ОШИБКА COM порта"));
    EXPECT_FALSE(window->tRdIn_Vexo()->isActive());
    EXPECT_TRUE(window->OpenedRS().isEmpty());
    dev.ReadFor(200); // the device reads again
    Press("bRd_Inf");
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(window->tRdIn_Vexo()->isActive());
}

TEST_F(MainWindowTest, ScanListsPresentPortsIncludingOurOwn)
{
    DeviceRootDir root;
    TestPty com1, com3;
    ASSERT_TRUE(root.Link("ttyS0", com1.SlavePath()));
    ASSERT_TRUE(root.Link("ttyS2", com3.SlavePath()));
    ASSERT_TRUE(root.MakeFile("ttyS1"));
    port->setEditText(QStringLiteral("COM3"));
    Press("bRd_Inf");
    window->tRdIn_Vexo()->stop();
    ASSERT_TRUE(window->XComm_AT().Opened());
    port->setEditText(QStringLiteral("typed"));
    Find<QToolButton>("SpeedButton1")->click();
    ASSERT_EQ(port->count(), 2);
    EXPECT_EQ(port->itemText(0), QStringLiteral("COM1"));
    EXPECT_EQ(port->itemText(1), QStringLiteral("COM3"));
    EXPECT_EQ(port->currentText(), QString()) << "the scan empties the box";
}

TEST_F(MainWindowTest, SettingsFileAtStartAndClose)
{
    QDir().mkdir(QStringLiteral("Work"));
    auto load = [&](const QByteArray &content) {
        QFile f(QStringLiteral("Work/ATVexo.000"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        port->setEditText(QStringLiteral("before"));
        window->tInitTimer();
        return port->currentText();
    };
    EXPECT_EQ(load("COM1\r\nCOM4\r\n"), QStringLiteral("COM4"));
    EXPECT_EQ(load("COM3\r\n\r\n"), QString());
    EXPECT_EQ(load("COM  3\r\n"), QStringLiteral("COM 3"));
    EXPECT_EQ(load(""), QStringLiteral("before")) << "an empty file changes nothing";
    EXPECT_EQ(window->pos(), QPoint(0, 0));
    EXPECT_FALSE(window->tInit()->isActive());

    port->setEditText(U("COM7 порт"));
    window->close();
    QFile f(QStringLiteral("Work/ATVexo.000"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("COM7 \xEF\xEE\xF0\xF2\r\n")) << "one CP1251 line";
    EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindowTest, ClosingWithoutWorkFolderOrWhileWaiting)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    Press("bRd_Inf");
    ASSERT_TRUE(window->tRdIn_Vexo()->isActive());
    window->close();
    EXPECT_FALSE(window->XComm_AT().Opened()) << "the port is closed on close";
    EXPECT_FALSE(QDir(QStringLiteral("Work")).exists()) << "Work is never created";
    EXPECT_TRUE(boxes.empty());
    Idle(600);
    window.reset();
}

TEST_F(MainWindowTest, ClearingTheLogWhileWaiting)
{
    TestPty dev;
    UsePort(dev.SlavePath());
    Press("bRdAdr_ModBus");
    Find<QToolButton>("ToolButton6")->click();
    EXPECT_TRUE(LogLines(log).empty());
    dev.Write("17\r\n");
    WaitFor([&] { return !window->tRdIn_Vexo()->isActive(); });
    const auto lines = LogLines(log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, U("ответ  \"Vexo\" <- 17"));
}

TEST_F(MainWindowTest, AFloodDuringTheWaitGivesOneVerdict)
{
    auto o = AlwaysAnswering();
    o.fault = vexo::sim::Fault::Flood;
    vexo::sim::VexoSim sim(o);
    UsePort(sim.DevicePath());
    const auto lines = Exchange("bRd_Inf");
    Idle(300);
    EXPECT_EQ(LogLines(log).size(), 3u);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_LE(window->RxText().size(), 64 * 1024) << "the reply buffer stays bounded";
}
