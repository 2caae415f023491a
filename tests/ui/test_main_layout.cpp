// The main window beyond its table: the frame, the editable controls and the
// log, what grows on resize, the start timer and the exit button.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include <memory>

#include "QtText.h"
#include "SpinEdit.h"
#include "fAT_Vexo.h"
#include "XComDrv.h" // the engine's port object

namespace {

class MainLayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<TfAT_Vexo>();
        window->tInit()->stop(); // placed by hand where a test needs it
    }
    QWidget *W(const char *name)
    {
        auto *w = window->findChild<QWidget *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Position relative to the window's client area.
    QRect InClient(const char *name)
    {
        QWidget *w = W(name);
        return QRect(w->mapTo(window.get(), QPoint(0, 0)), w->size());
    }
    std::unique_ptr<TfAT_Vexo> window;
};

} // namespace

// Places, sizes, texts, hints, fonts and states of every control are checked
// against the main window's table in test_form_windows.cpp; here, what the
// table does not say.
TEST_F(MainLayoutTest, FrameAndPictureOnlyToolbar)
{
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->size(), window->centralWidget()->size()) << "no menu or status bar";
    const Qt::WindowFlags f = window->windowFlags();
    EXPECT_FALSE(f & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(f & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(f & Qt::WindowSystemMenuHint);

    const auto tools = W("ToolBar1")->findChildren<QToolButton *>();
    // the four of old and the four after TB_Exit
    ASSERT_EQ(tools.size(), 8);
    for (QToolButton *b : tools) {
        EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonIconOnly) << "pictures only";
        EXPECT_EQ(b->iconSize(), QSize(16, 16));
        EXPECT_EQ(b->accessibleName(), b->toolTip()) << b->objectName().toStdString();
    }
}

TEST_F(MainLayoutTest, EditableControlsAndTheLog)
{
    window->show();
    for (const char *name : {"cbSpeed_Cor", "cbSpeed_SeA", "cbSpeed_SeA_Prn", "cbRSname"}) {
        auto *w = qobject_cast<QComboBox *>(W(name));
        ASSERT_NE(w, nullptr) << name;
        EXPECT_TRUE(w->isEditable()) << name;
        EXPECT_EQ(w->insertPolicy(), QComboBox::NoInsert) << name;
    }
    for (const char *bar : {"prB_Wr", "prB_rd"})
        EXPECT_EQ(qobject_cast<QProgressBar *>(W(bar))->value(), 0);

    auto *log = qobject_cast<QTextEdit *>(W("reWin"));
    EXPECT_FALSE(log->isReadOnly()) << "the operator may type into the log";
    EXPECT_EQ(log->lineWrapMode(), QTextEdit::WidgetWidth);
    EXPECT_EQ(log->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);

    EXPECT_TRUE(window->tRdIn_Vexo()->isSingleShot());
    EXPECT_EQ(window->Engine().XComm_AT().DeviceName(), "COM2");
    EXPECT_EQ(window->Engine().XComm_AT().BaudRate(), br9600);
    EXPECT_TRUE(window->Engine().XComm_AT().Synchronize());

    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (w->isVisibleTo(window.get()) && (qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w))) {
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        }
    }
}

// The boxes are editable from their creation on; typing, completion and the
// drop-down list work as in a box made editable the usual way.
TEST_F(MainLayoutTest, EditableCombosTypeCompleteAndDropDownAsUsual)
{
    QComboBox usual;
    usual.setEditable(true);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    for (const char *name : {"cbRSname", "cbSpeed_Cor", "cbSpeed_SeA", "cbSpeed_SeA_Prn"}) {
        auto *box = qobject_cast<QComboBox *>(W(name));
        ASSERT_NE(box, nullptr) << name;
        QLineEdit *edit = box->lineEdit();
        ASSERT_NE(edit, nullptr) << name;
        EXPECT_TRUE(edit->isVisible()) << name;
        EXPECT_EQ(edit->text(), box->currentText()) << name;
        EXPECT_EQ(edit->hasFrame(), usual.lineEdit()->hasFrame()) << name;
        EXPECT_EQ(edit->palette(), box->palette()) << name;
        EXPECT_TRUE(box->testAttribute(Qt::WA_InputMethodEnabled)) << name;
        ASSERT_NE(edit->completer(), nullptr) << name;
        EXPECT_EQ(edit->completer()->completionMode(), usual.completer()->completionMode()) << name;
        EXPECT_EQ(edit->completer()->caseSensitivity(), usual.completer()->caseSensitivity()) << name;
    }

    auto *speeds = qobject_cast<QComboBox *>(W("cbSpeed_SeA"));
    speeds->lineEdit()->clear();
    speeds->setFocus();
    for (const QChar ch : QStringLiteral("57"))
        QTest::sendKeyEvent(QTest::Click, speeds->lineEdit(), Qt::Key_unknown, QString(ch), Qt::NoModifier);
    EXPECT_EQ(speeds->currentText(), QStringLiteral("57600")) << "completed inline from the list";

    speeds->showPopup();
    QAbstractItemView *list = speeds->view();
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return list->isVisible(); }));
    EXPECT_EQ(list->model()->rowCount(), 8);
    EXPECT_EQ(list->model()->index(7, 0).data().toString(), QStringLiteral("115200"));
    speeds->hidePopup();
}

TEST_F(MainLayoutTest, OnlyTheLogGrowsOnResize)
{
    window->show();
    const QRect grid = InClient("Panel4"), row = InClient("Panel2"), button = InClient("wrKLV707");
    const QRect log = InClient("reWin");
    window->resize(900, 900);
    QCoreApplication::processEvents();
    EXPECT_EQ(InClient("Panel4").height(), grid.height());
    EXPECT_EQ(InClient("Panel4").topLeft(), grid.topLeft());
    EXPECT_EQ(InClient("Panel2").height(), row.height());
    EXPECT_EQ(InClient("wrKLV707"), button);
    EXPECT_EQ(InClient("reWin").topLeft(), log.topLeft());
    EXPECT_EQ(InClient("reWin").height(), log.height() + 197);
    EXPECT_EQ(InClient("reWin").width(), log.width() + 180);
}

TEST_F(MainLayoutTest, StartTimerMovesTheWindowToTheCorner)
{
    auto fresh = std::make_unique<TfAT_Vexo>();
    fresh->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(fresh.get()));
    EXPECT_EQ(fresh->pos(), QPoint(319, 157));
    QElapsedTimer t;
    t.start();
    while (fresh->tInit()->isActive() && t.elapsed() < 2000)
        QTest::qWait(5);
    EXPECT_FALSE(fresh->tInit()->isActive()) << "fires once";
    EXPECT_EQ(fresh->pos(), QPoint(0, 0));
}

TEST_F(MainLayoutTest, ExitButtonClosesTheWindow)
{
    window->show();
    qobject_cast<QToolButton *>(W("TB_Exit"))->click();
    EXPECT_FALSE(window->isVisible());
}
