// The Qt main window over the engine: buttons, timers, the serial hand-over,
// the log view, the spin edit, the port list and the boxes are wired as the
// engine expects. The engine's own rules are tested in tests/engine.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <vector>

#include "ErrorBox.h"
#include "QtText.h"
#include "QtWait.h"
#include "SpinEdit.h"
#include "Thread.h"
#include "WorkFile.h"
#include "fAT_Vexo.h"
#include "SaveWatch.h"
#include "pty.h"

namespace {

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
        lines.push_back({b.text(), b.begin().fragment().charFormat().foreground().color()});
    }
    return lines;
}


struct Box {
    QString caption, text;
};

// Records the boxes while it lives, and puts the real box back however the
// test ends.
class RecordedBoxes {
public:
    RecordedBoxes()
    {
        SetMessagePresenter([this](QWidget *, const QString &c, const QString &t) {
            boxes.push_back({c, t});
            if (during)
                during();
        });
    }
    ~RecordedBoxes() { SetMessagePresenter(nullptr); }
    RecordedBoxes(const RecordedBoxes &) = delete;
    RecordedBoxes &operator=(const RecordedBoxes &) = delete;

    std::vector<Box> boxes;
    std::function<void()> during; // runs while a box is open
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConnectSerialToEventLoop();
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
    }

    template <typename T>
    T *Find(const char *name)
    {
        T *w = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // The reply timer's tick, without waiting for it.
    void Tick()
    {
        TAT_VexoEngine &e = window->Engine();
        if (e.ReplyTimerEnabled())
            e.Run([&] { e.tRdIn_VexoTimer(); });
    }

    QTemporaryDir cwd;
    QString oldCwd;
    RecordedBoxes recorded;
    std::unique_ptr<TfAT_Vexo> window;
    QTextEdit *log = nullptr;
    QComboBox *port = nullptr;
};

} // namespace

TEST_F(MainWindowTest, EveryButtonSendsItsCommand)
{
    TestPty dev;
    port->setEditText(QString::fromStdString(dev.SlavePath()));
    const struct {
        const char *button;
        const char *request;
    } cases[] = {
        {"bRd_Inf", "ATI0"},          {"bRdSpeed_SeA", "AT+xKPV3=?"}, {"bRdSpeed_SeA_Prn", "AT+xKPV4=?"},
        {"bRdAdr_ModBus", "AT+xKPV8=?"}, {"bWrSpeed_SeA", "AT+xKPV3=7"}, {"bWrSpeed_SeA_Prn", "AT+xKPV4=4"},
        {"bWrAdrModBus", "AT+xKPV8=1"}, {"rdKLV707", "AT+xKPV9=?"},   {"wrKLV707", "AT+xKPV9=1"},
        {"rdSpeed_Cor", "AT+xKPV0=?"},  {"wrSpeed_Cor", "AT+xKPV0=4"},
    };
    Find<QCheckBox>("chKLV707")->setChecked(true);
    for (const auto &c : cases) {
        Find<QPushButton>(c.button)->click();
        EXPECT_EQ(dev.ReadFor(50), std::string(c.request) + "\r\n") << c.button;
        Tick();
    }
    EXPECT_EQ(Find<QProgressBar>("prB_Wr")->value(), 0) << "eleven steps: full after ten, then from the start";
    EXPECT_TRUE(recorded.boxes.empty());
}

TEST_F(MainWindowTest, TheReplyIsJudgedByTheWindowTimerAndLoggedInColour)
{
    TestPty dev;
    port->setEditText(QString::fromStdString(dev.SlavePath()));
    QElapsedTimer t;
    t.start();
    Find<QPushButton>("bRdSpeed_SeA")->click();
    ASSERT_TRUE(window->tRdIn_Vexo()->isActive());
    EXPECT_EQ(window->tRdIn_Vexo()->interval(), 500);
    dev.ReadFor(10);
    dev.Write("4\r\n");
    ASSERT_TRUE(WaitFor([&] { return Find<QProgressBar>("prB_rd")->value() > 0; }))
        << "the data event reached the main thread";
    ASSERT_TRUE(WaitFor([&] { return !window->tRdIn_Vexo()->isActive(); }));
    EXPECT_GE(t.elapsed(), 450);
    const auto lines = LogLines(log);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].colour, QColor(0, 0, 255));
    EXPECT_EQ(lines[1].text, U("запрос \"Vexo\" -> \"AT+xKPV3=?\""));
    EXPECT_EQ(lines[1].colour, QColor(0, 0, 255));
    EXPECT_EQ(lines[2].text, U("ответ  \"Vexo\" <- скорость RS = \"19200\""));
    EXPECT_EQ(lines[2].colour, QColor(128, 0, 0));

    Find<QToolButton>("ToolButton6")->click();
    EXPECT_TRUE(LogLines(log).empty());
}

TEST_F(MainWindowTest, RepliesWakeTheEventLoopWhichDeliversThemItself)
{
    TestPty dev;
    port->setEditText(QString::fromStdString(dev.SlavePath()));
    std::atomic<int> handOvers{0};
    SetWakeMainThread([&] {
        ++handOvers;
        QMetaObject::invokeMethod(QCoreApplication::instance(), [] { CheckSynchronize(); }, Qt::QueuedConnection);
    });
    QProgressBar *activity = Find<QProgressBar>("prB_rd");
    const int replies = 20;
    for (int i = 0; i < replies; ++i) {
        Find<QPushButton>("bRdSpeed_SeA")->click();
        ASSERT_EQ(dev.ReadFor(50), "AT+xKPV3=?\r\n");
        const int before = activity->value();
        dev.Write("4\r\n");
        ASSERT_TRUE(WaitFor([&] { return activity->value() != before; })) << i;
        Tick();
    }
    SetWakeMainThread(nullptr);
    // The window's loop watches the port: a reply wakes it and it runs the
    // data handler itself, so hand-overs from the event thread are the
    // exception (a loop slower than the event thread by milliseconds).
    EXPECT_LT(handOvers.load(), replies);
    EXPECT_EQ(LogLines(log).back().text, U("ответ  \"Vexo\" <- скорость RS = \"19200\""));
}

TEST_F(MainWindowTest, TheSpinEditSendsWhatItShows)
{
    TestPty dev;
    port->setEditText(QString::fromStdString(dev.SlavePath()));
    auto *spin = Find<TSpinEdit>("seAdrModBus");
    auto typed = [&](const QString &text) {
        spin->setFocus();
        spin->findChild<QLineEdit *>()->setText(text);
        Find<QPushButton>("bWrAdrModBus")->setFocus(); // clicking the button takes the focus
        QCoreApplication::processEvents();
        Find<QPushButton>("bWrAdrModBus")->click();
        const std::string s = dev.ReadFor(50);
        Tick();
        return s;
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

TEST_F(MainWindowTest, TheScannerFillsTheListAndEmptiesTheBox)
{
    DeviceRootDir root;
    TestPty com1, com3;
    ASSERT_TRUE(root.Link("ttyS0", com1.SlavePath()));
    ASSERT_TRUE(root.Link("ttyS2", com3.SlavePath()));
    port->addItem(QStringLiteral("old"));
    port->setEditText(QStringLiteral("typed"));
    Find<QToolButton>("SpeedButton1")->click();
    ASSERT_EQ(port->count(), 2);
    EXPECT_EQ(port->itemText(0), QStringLiteral("COM1"));
    EXPECT_EQ(port->itemText(1), QStringLiteral("COM3"));
    EXPECT_EQ(port->currentIndex(), -1) << "no entry picked";
    EXPECT_EQ(port->currentText(), QString()) << "the scan empties the box";
}

TEST_F(MainWindowTest, BoxesComeOneAfterAnother)
{
    Find<QPushButton>("bRd_Inf")->click(); // no port chosen
    ASSERT_EQ(recorded.boxes.size(), 1u);
    EXPECT_EQ(recorded.boxes[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(recorded.boxes[0].text, U("Не определен \"RS\" порт"));

    // An error while the first box is open is shown after it, not on top.
    recorded.boxes.clear();
    int depth = 0, deepest = 0;
    TAT_VexoEngine &e = window->Engine();
    recorded.during = [&] {
        ++depth;
        deepest = std::max(deepest, depth);
        if (recorded.boxes.size() == 1)
            e.Run([] { throw std::runtime_error("second"); });
        --depth;
    };
    e.Run([&] { e.XComm_AT().Close(); }); // the port is not open
    ASSERT_EQ(recorded.boxes.size(), 2u);
    EXPECT_EQ(recorded.boxes[0].caption, U("ПО \"AT_Vexo\""));
    EXPECT_EQ(recorded.boxes[0].text, U("Device not opened."));
    EXPECT_EQ(recorded.boxes[1].text, U("second."));
    EXPECT_EQ(deepest, 1) << "boxes never stack";
}

TEST_F(MainWindowTest, TheSettingsFileAtStartAndClose)
{
    QDir().mkdir(QStringLiteral("Work"));
    {
        QFile f(QStringLiteral("Work/ATVexo.000"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("COM1\r\nCOM  4\r\n");
    }
    auto fresh = std::make_unique<TfAT_Vexo>();
    fresh->show();
    ASSERT_TRUE(WaitFor([&] { return !fresh->tInit()->isActive(); }));
    auto *box = fresh->findChild<QComboBox *>(QStringLiteral("cbRSname"));
    EXPECT_EQ(box->currentText(), QStringLiteral("COM 4"));
    box->setEditText(U("COM7 порт"));
    fresh->close();
    QFile f(QStringLiteral("Work/ATVexo.000"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("COM7 \xEF\xEE\xF0\xF2\r\n"));
    EXPECT_TRUE(recorded.boxes.empty());
}

TEST_F(MainWindowTest, ClosingClosesThePortBeforeTheNameIsSaved)
{
    QDir().mkdir(QStringLiteral("Work"));
    TestPty dev;
    port->setEditText(QString::fromStdString(dev.SlavePath()));
    Find<QPushButton>("bRd_Inf")->click();
    TAT_VexoEngine &e = window->Engine();
    ASSERT_TRUE(e.XComm_AT().Opened());
    TSaveWatch saves(e.XComm_AT());
    const bool closed = window->close();
    EXPECT_TRUE(closed);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(saves.Saves(), 1);
    EXPECT_FALSE(saves.PortOpenAtSave()) << "the port is closed before the file is written";
    EXPECT_FALSE(e.XComm_AT().Opened());
    QFile f(QStringLiteral("Work/ATVexo.000"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray::fromStdString(dev.SlavePath() + "\r\n"));
    EXPECT_TRUE(recorded.boxes.empty());
}
