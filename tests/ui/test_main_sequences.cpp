// The Qt main window's sequence buttons against the stand-in Vexo switched on
// late, with the real timers: the operator presses the wait button (or its
// key), powers the unit, and the window shows the answer, lets the button up
// and counts the set-up window down.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QShortcut>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolButton>

#include <iostream>
#include <memory>

#include "QtText.h"
#include "QtWait.h"
#include "VexoSim.h"
#include "fAT_Vexo.h"

using vexo::sim::Options;
using vexo::sim::VexoSim;

namespace {

QStringList LogTexts(QTextEdit *view)
{
    QStringList lines;
    for (QTextBlock b = view->document()->begin(); b.isValid(); b = b.next())
        if (!b.text().isEmpty())
            lines << b.text();
    return lines;
}

QColor LastLineColour(QTextEdit *view)
{
    QTextBlock b = view->document()->lastBlock();
    while (b.isValid() && b.text().isEmpty())
        b = b.previous();
    return b.begin().fragment().charFormat().foreground().color();
}

class MainSequenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConnectSerialToEventLoop();
        ASSERT_TRUE(cwd.isValid());
        oldCwd = QDir::currentPath();
        QDir::setCurrent(cwd.path()); // no Work folder: no service record file
        window = std::make_unique<TfAT_Vexo>();
        window->show();
        log = window->findChild<QTextEdit *>("reWin");
        wait = window->findChild<QToolButton *>("TB_Wait");
        label = window->findChild<QLabel *>("lSetupWindow");
        ASSERT_TRUE(log && wait && label);
    }
    void TearDown() override
    {
        // What the operator saw, for the record.
        for (const QString &line : LogTexts(log))
            std::cout << "  log: " << line.toStdString() << '\n';
        window.reset();
        sim.reset();
        QDir::setCurrent(oldCwd);
    }
    void Use(Options o)
    {
        sim = std::make_unique<VexoSim>(std::move(o));
        window->findChild<QComboBox *>("cbRSname")->setEditText(QString::fromStdString(sim->DevicePath()));
    }

    QTemporaryDir cwd;
    QString oldCwd;
    std::unique_ptr<VexoSim> sim;
    std::unique_ptr<TfAT_Vexo> window;
    QTextEdit *log = nullptr;
    QToolButton *wait = nullptr;
    QLabel *label = nullptr;
};

} // namespace

TEST_F(MainSequenceTest, WaitButtonCatchesAUnitSwitchedOnLateAndTheLabelCounts)
{
    Options o;
    o.powerOnAfterMs = 1200; // powered a little after the press
    Use(o);
    wait->click();
    EXPECT_TRUE(wait->isChecked()) << "down while it waits";
    ASSERT_EQ(LogTexts(log).value(0), U("ожидание ответа \"Vexo\": \"ATI0\" повторяется до первого ответа"));

    ASSERT_TRUE(WaitFor([&] { return !wait->isChecked(); }, 15000)) << "the wait never ended";
    EXPECT_TRUE(sim->PoweredOn());
    const QStringList lines = LogTexts(log);
    ASSERT_EQ(lines.size(), 5) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[1], U("выдать команду в \"Vexo\" - \"контроль \"Vexo\"\""));
    EXPECT_EQ(lines[2], U("запрос \"Vexo\" -> \"ATI0\""));
    EXPECT_EQ(lines[3], U("ответ  \"Vexo\" <- Vexo v03.17"));
    EXPECT_TRUE(lines[4].startsWith(U("ожидание ответа \"Vexo\" окончено: ответ на попытку "))) << lines[4].toStdString();
    EXPECT_EQ(LastLineColour(log), QColor(0, 128, 0));

    EXPECT_EQ(label->text(), U("настройка:\r\n30 с"));
    EXPECT_LE(label->heightForWidth(label->width()), label->height()) << "the text fits its place";
    ASSERT_TRUE(WaitFor([&] { return label->text() == U("настройка:\r\n29 с"); }, 3000))
        << label->text().toStdString();
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 0)) << "red only in the last 5 s";
}

TEST_F(MainSequenceTest, TheKeysStartAWaitAndEscapeEndsIt)
{
    Options o;
    o.powerOnAfterMs = 600000; // stays off
    Use(o);
    auto *f5 = window->findChild<QShortcut *>("TB_WaitKey");
    auto *escape = window->findChild<QShortcut *>("aEndSequence");
    ASSERT_TRUE(f5 && escape);
    emit f5->activated();
    EXPECT_TRUE(wait->isChecked());
    ASSERT_TRUE(WaitFor([&] { return sim->Requests().size() >= 2; }, 5000)) << "attempts go on";
    emit escape->activated();
    EXPECT_FALSE(wait->isChecked());
    const QStringList lines = LogTexts(log);
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[1].startsWith(U("ожидание ответа \"Vexo\" прервано, попыток: "))) << lines[1].toStdString();
    EXPECT_EQ(LastLineColour(log), QColor(255, 0, 0));
}
