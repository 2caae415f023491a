// The Qt main window following the plug, end to end with its real timers and
// event loop: a fake sysfs tree and device folder under the real enumeration
// and monitor, the stand-in Vexo on the pty the plugged node links to. The
// drop-down shows what each port is, the box's hint names the adapter, and
// F5 pressed before the adapter came gets its answer.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QShortcut>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include <iostream>
#include <memory>

#include "FakeSysfs.h"
#include "PortList.h"
#include "QtWait.h"
#include "VexoSim.h"
#include "commlayer.h"
#include "pty.h"
#include "fAT_Vexo.h"

namespace {

QStringList LogTexts(QTextEdit *view) { return view->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

QColor ColourOf(QTextEdit *view, const QString &text)
{
    for (QTextBlock b = view->document()->begin(); b.isValid(); b = b.next())
        if (b.text() == text)
            return b.begin().fragment().charFormat().foreground().color();
    return {};
}

class MainPortsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConnectSerialToEventLoop();
        commlayer::SetDeviceRoot(fs.Dev().string());
        SetPortRoots(fs.Roots());
        ASSERT_TRUE(cwd.isValid());
        oldCwd = QDir::currentPath();
        QDir::setCurrent(cwd.path());
        window = std::make_unique<TfAT_Vexo>();
        window->show();
        log = window->findChild<QTextEdit *>("reWin");
        port = window->findChild<QComboBox *>("cbRSname");
        ASSERT_TRUE(log && port);
        ASSERT_TRUE(WaitFor([&] { return !window->tInit()->isActive(); })) << "the start timer ran";
    }
    void TearDown() override
    {
        for (const QString &line : LogTexts(log))
            std::cout << "  log: " << line.toStdString() << '\n';
        window.reset();
        sim.reset();
        QDir::setCurrent(oldCwd);
        commlayer::SetDeviceRoot("/dev");
        SetPortRoots({});
    }
    bool Logged(const QString &line) { return WaitFor([&] { return LogTexts(log).contains(line); }); }

    FakeSysfs fs;
    QTemporaryDir cwd;
    QString oldCwd;
    std::unique_ptr<TfAT_Vexo> window;
    std::unique_ptr<vexo::sim::VexoSim> sim;
    QTextEdit *log = nullptr;
    QComboBox *port = nullptr;
};

} // namespace

TEST_F(MainPortsTest, TheDropDownShowsWhatEachPortIsAndTheHintNamesTheAdapter)
{
    fs.AddUsb("ttyUSB1", {.usbPath = "1-2", .vid = "0403", .pid = "6001", .product = "FT232R USB UART",
                          .maker = "FTDI", .serial = "A50285BI"});
    TestPty device; // the scanner opens what it lists
    fs.LinkNode("ttyUSB1", device.SlavePath());
    window->findChild<QToolButton *>("SpeedButton1")->click();
    ASSERT_EQ(port->count(), 1);
    EXPECT_EQ(port->itemText(0), QStringLiteral("COM6")) << "the item is the bare name";
    EXPECT_EQ(PortNoteOf(port, 0), QStringLiteral("USB: FT232R USB UART"));
    port->setCurrentIndex(0);
    EXPECT_EQ(port->currentText(), QStringLiteral("COM6")) << "choosing it puts the bare name into the box";
    EXPECT_EQ(port->toolTip(), QStringLiteral("COM6: FT232R USB UART (FTDI, 0403:6001, № A50285BI)"));
    port->setEditText(QStringLiteral("COM9"));
    EXPECT_EQ(port->toolTip(), QString()) << "no such port: no hint";
}

TEST_F(MainPortsTest, F5BeforeThePlugThePlugLoggedAndAnswered)
{
    port->setEditText(QStringLiteral("COM6"));
    window->findChild<QShortcut *>("TB_WaitKey")->activated();
    ASSERT_TRUE(Logged(QStringLiteral("порт COM6 не подключен: ожидание подключения адаптера")));
    EXPECT_TRUE(window->findChild<QToolButton *>("TB_Wait")->isChecked());

    vexo::sim::Options o;
    o.setupWindow = false;
    sim = std::make_unique<vexo::sim::VexoSim>(o);
    fs.AddUsb("ttyUSB1", {.usbPath = "1-2", .vid = "0403", .pid = "6001", .product = "FT232R USB UART",
                          .maker = "FTDI", .serial = "A50285BI"});
    fs.LinkNode("ttyUSB1", sim->DevicePath());
    const QString plugged = QStringLiteral("подключен COM6: FT232R USB UART (FTDI, № A50285BI)");
    ASSERT_TRUE(Logged(plugged));
    EXPECT_EQ(ColourOf(log, plugged), QColor(0, 128, 128));
    ASSERT_TRUE(Logged(QStringLiteral("ожидание ответа \"Vexo\" окончено: ответ на попытку 1")));
    EXPECT_FALSE(window->findChild<QToolButton *>("TB_Wait")->isChecked());
    EXPECT_EQ(port->currentText(), QStringLiteral("COM6"));
}
