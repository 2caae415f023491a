// The main window as it appears: fixed pixel places, captions, hints and
// items byte-exact, what grows on resize, the toolbar, and the start timer.
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

#include "Bevel.h"
#include "QtText.h"
#include "SpinEdit.h"
#include "fAT_Vexo.h"
#include "XComDrv.h" // the engine's port object

namespace {

const char *const CRLF = "\r\n";

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
    QRect InParent(const char *name) { return W(name)->geometry(); }
    std::unique_ptr<TfAT_Vexo> window;
};

} // namespace

TEST_F(MainLayoutTest, FrameToolbarAndPanels)
{
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->windowTitle(), U("\"AT\" команды \"Vexo\""));
    EXPECT_EQ(window->size(), QSize(720, 703));
    EXPECT_EQ(window->pos(), QPoint(319, 157)) << "design position before the start timer";
    const Qt::WindowFlags f = window->windowFlags();
    EXPECT_FALSE(f & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(f & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(f & Qt::WindowSystemMenuHint);

    EXPECT_EQ(InClient("ToolBar1"), QRect(0, 0, 720, 41));
    EXPECT_EQ(InClient("Panel1"), QRect(0, 41, 720, 662));
    EXPECT_EQ(InParent("Panel2"), QRect(2, 2, 716, 47));
    EXPECT_EQ(InParent("Panel4"), QRect(2, 49, 716, 304));
    EXPECT_EQ(InParent("Panel3"), QRect(2, 353, 716, 307));
    EXPECT_EQ(InParent("Label6"), QRect(2, 2, 712, 16));
    EXPECT_EQ(InParent("reWin").topLeft(), QPoint(2, 18));

    const struct {
        const char *name;
        int x, width;
    } tools[] = {{"ToolButton4", 0, 25}, {"ToolButton3", 25, 72}, {"ToolButton1", 97, 8},
                 {"TB_Help", 105, 72},   {"ToolButton5", 177, 8}, {"ToolButton6", 185, 72},
                 {"ToolButton2", 257, 8}, {"TB_Exit", 265, 72}};
    for (const auto &t : tools) {
        EXPECT_EQ(InParent(t.name).x(), t.x) << t.name;
        EXPECT_EQ(InParent(t.name).width(), t.width) << t.name;
    }
    const struct {
        const char *name;
        const char *hint;
    } hints[] = {{"ToolButton3", "О программе"},
                 {"TB_Help", "Справка"},
                 {"ToolButton6", "очистить поле контроля выполнения команд"},
                 {"TB_Exit", "ВЫХОД"}};
    for (const auto &h : hints) {
        auto *b = qobject_cast<QToolButton *>(W(h.name));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->toolTip(), U(h.hint));
        EXPECT_EQ(b->height(), 31);
        EXPECT_TRUE(b->text().isEmpty() || b->toolButtonStyle() == Qt::ToolButtonIconOnly) << "pictures only";
        EXPECT_FALSE(b->icon().isNull()) << h.name;
        EXPECT_EQ(b->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(b->accessibleName(), U(h.hint));
    }
}

TEST_F(MainLayoutTest, PanelsHaveTheLoweredInnerBevel)
{
    window->show();
    for (const char *panel : {"Panel1", "Panel2", "Panel3", "Panel4"})
        ExpectLoweredInnerBevel(W(panel));
}

TEST_F(MainLayoutTest, ControlsCaptionsHintsAndItems)
{
    window->show();
    const QString T = U("(только для вычислителей \"Тетрамакс\")");
    const QString K = U("(только для вычислителей \"Тетрамакс\", Vexo с версии  03.17)");
    const struct {
        const char *name;
        QRect place;
        QString caption;
        QString hint;
    } buttons[] = {
        {"bRd_Inf", {8, 16, 537, 30}, U("контроль Vexo"), U("контроль Vexo")},
        {"rdSpeed_Cor", {8, 56, 265, 30}, U("чтение скорости порта \"I/O\" Vexo"),
         U("чтение скорости порта корректора")},
        {"wrSpeed_Cor", {280, 56, 265, 30}, U("запись скорости порта \"I/O\" Vexo"),
         U("запись скорости порта корректора")},
        {"bRdSpeed_SeA", {8, 104, 265, 30}, U("чтение скорости порта \"RS232\" Vexo"),
         U("чтение скорости шлюза") + CRLF + U("(при подключении модема или компьютера)")},
        {"bWrSpeed_SeA", {280, 104, 265, 30}, U("запись скорости порта \"RS232\" Vexo"),
         U("запись скорости \"шлюза\"") + CRLF + U("(при подключении модема или компьютера)")},
        {"bRdSpeed_SeA_Prn", {8, 152, 265, 30}, U("чтение скорости \"RS232\" для принтера "),
         U("чтение скорости порта \"RS232\" для принтера") + CRLF + T},
        {"bWrSpeed_SeA_Prn", {280, 152, 265, 30}, U("запись скорости \"RS232\" для принтера "),
         U("запись скорости порта \"RS232\" для принтера") + CRLF + T},
        {"bRdAdr_ModBus", {8, 200, 265, 30}, U("чтение адреса \"ModBus\""),
         U("чтение адреса \"ModBus\"") + CRLF + T},
        {"bWrAdrModBus", {280, 200, 265, 30}, U("запись адреса для \"ModBus\""),
         U("запись адреса для \"ModBus\"") + CRLF + U("(только для вычислителей \"Тетрамакс\"")},
        {"rdKLV707", {8, 248, 265, 33}, U("чтение флага работы с \"КЛВ-707\""),
         U("чтение флага разрешения работы с концентратором \"КЛВ-707\"") + CRLF + K},
        {"wrKLV707", {280, 248, 265, 33}, U("запись флага работы с \"КЛВ-707\""),
         U("запись флага разрешения работы с концентратором \"КЛВ-707\"") + CRLF + K},
    };
    for (const auto &b : buttons) {
        auto *w = qobject_cast<QPushButton *>(W(b.name));
        ASSERT_NE(w, nullptr) << b.name;
        EXPECT_EQ(w->geometry(), b.place) << b.name;
        EXPECT_EQ(w->text(), b.caption) << b.name;
        EXPECT_EQ(w->toolTip(), b.hint) << b.name;
        EXPECT_EQ(w->cursor().shape(), Qt::PointingHandCursor) << b.name;
        EXPECT_TRUE(w->icon().isNull()) << "plain push buttons";
    }

    const struct {
        const char *name;
        QPoint at;
        QString text;
        QString hint;
    } labels[] = {
        {"Label1", {240, 16}, U("зап."), {}},
        {"Label2", {424, 16}, U("чт."), {}},
        {"Label7", {552, 40}, U("скорость порта \"I/O\""), {}},
        {"Label3", {552, 88}, U("скорость порта \"RS232\""), U("скорость шлюза")},
        {"Label4", {552, 128}, U("скорость порта \"RS232\"") + CRLF + U("для принтера"), {}},
        {"Label5", {552, 192}, U("адрес \"ModBus\""), {}},
    };
    for (const auto &l : labels) {
        auto *w = qobject_cast<QLabel *>(W(l.name));
        ASSERT_NE(w, nullptr) << l.name;
        EXPECT_EQ(w->pos(), l.at) << l.name;
        EXPECT_EQ(w->text(), l.text) << l.name;
        EXPECT_EQ(w->toolTip(), l.hint) << l.name;
    }
    EXPECT_EQ(qobject_cast<QLabel *>(W("Label6"))->text(), U("Окно выполнения колманд"));
    EXPECT_EQ(qobject_cast<QLabel *>(W("Label6"))->palette().color(QPalette::WindowText), QColor(128, 0, 0));

    const QStringList speeds = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
    const struct {
        const char *name;
        QRect place;
        QStringList items;
        QString text;
        QString hint;
    } combos[] = {
        {"cbSpeed_Cor", {552, 56, 121, 0}, speeds, "19200", {}},
        {"cbSpeed_SeA", {552, 104, 121, 0}, speeds, "115200",
         U("скорость порта \"шлюза\"") + CRLF + U("(при подключении модема или компьютера)")},
        {"cbSpeed_SeA_Prn", {552, 160, 121, 0}, {"9600", "19200"}, "19200",
         U("скорость порта  \"RS232\" для принтера  ") + CRLF + T},
        {"cbRSname", {56, 16, 113, 0}, {}, "", {}},
    };
    for (const auto &c : combos) {
        auto *w = qobject_cast<QComboBox *>(W(c.name));
        ASSERT_NE(w, nullptr) << c.name;
        EXPECT_EQ(w->pos(), c.place.topLeft()) << c.name;
        EXPECT_EQ(w->width(), c.place.width()) << c.name;
        EXPECT_TRUE(w->isEditable()) << c.name;
        QStringList items;
        for (int i = 0; i < w->count(); ++i)
            items << w->itemText(i);
        EXPECT_EQ(items, c.items) << c.name;
        EXPECT_EQ(w->currentText(), c.text) << c.name;
        EXPECT_EQ(w->toolTip(), c.hint) << c.name;
    }
    EXPECT_EQ(W("cbRSname")->font().pixelSize(), 15);
    EXPECT_EQ(W("cbRSname")->cursor().shape(), Qt::PointingHandCursor);

    auto *spin = qobject_cast<TSpinEdit *>(W("seAdrModBus"));
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->pos(), QPoint(552, 208));
    EXPECT_EQ(spin->width(), 73);
    EXPECT_EQ(spin->Text(), QStringLiteral("1"));
    EXPECT_EQ(spin->MinValue(), 1);
    EXPECT_EQ(spin->MaxValue(), 250);
    EXPECT_EQ(spin->toolTip(), U("адрес \"ModBus\"") + CRLF + U("(только для вычислителей \"Тетрамакс\""));

    auto *check = qobject_cast<QCheckBox *>(W("chKLV707"));
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->pos(), QPoint(552, 256));
    EXPECT_EQ(check->width(), 153);
    EXPECT_EQ(check->text(), U("\"КЛВ-707\" вкл/выкл"));
    EXPECT_FALSE(check->isChecked());
    EXPECT_EQ(check->toolTip(),
              U("флаг разрешения/запрета работы \"Vexo\" ") + CRLF + U("с концентратором \"КЛВ-707\" "));

    EXPECT_EQ(InParent("SpeedButton1"), QRect(16, 8, 30, 30));
    EXPECT_EQ(W("SpeedButton1")->toolTip(), U("сканер RS портов"));
    EXPECT_EQ(InParent("prB_Wr"), QRect(280, 16, 81, 21));
    EXPECT_EQ(InParent("prB_rd"), QRect(448, 16, 81, 21));
    for (const char *bar : {"prB_Wr", "prB_rd"}) {
        auto *p = qobject_cast<QProgressBar *>(W(bar));
        EXPECT_EQ(p->minimum(), 0);
        EXPECT_EQ(p->maximum(), 100);
        EXPECT_EQ(p->value(), 0);
    }

    auto *log = qobject_cast<QTextEdit *>(W("reWin"));
    EXPECT_FALSE(log->isReadOnly()) << "the operator may type into the log";
    EXPECT_EQ(log->lineWrapMode(), QTextEdit::WidgetWidth);
    EXPECT_EQ(log->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_EQ(W("Panel1")->font().family(), QStringLiteral("Courier New"));
    EXPECT_EQ(W("Panel1")->font().pixelSize(), 12);

    EXPECT_EQ(window->tRdIn_Vexo()->interval(), 500);
    EXPECT_FALSE(window->tRdIn_Vexo()->isActive());
    EXPECT_EQ(window->tInit()->interval(), 50);
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

TEST_F(MainLayoutTest, HandCursorOnlyOnButtonsAndThePortBox)
{
    QStringList hands;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (w->testAttribute(Qt::WA_SetCursor) && w->cursor().shape() == Qt::PointingHandCursor)
            hands << w->objectName();
    }
    hands.sort();
    QStringList expected = {"ToolButton3", "TB_Help", "ToolButton6", "TB_Exit", "SpeedButton1", "cbRSname",
                            "bRd_Inf", "rdSpeed_Cor", "wrSpeed_Cor", "bRdSpeed_SeA", "bWrSpeed_SeA",
                            "bRdSpeed_SeA_Prn", "bWrSpeed_SeA_Prn", "bRdAdr_ModBus", "bWrAdrModBus",
                            "rdKLV707", "wrKLV707"};
    expected.sort();
    EXPECT_EQ(hands, expected);
    for (const char *speed : {"cbSpeed_Cor", "cbSpeed_SeA", "cbSpeed_SeA_Prn"}) {
        EXPECT_FALSE(W(speed)->testAttribute(Qt::WA_SetCursor)) << speed;
        EXPECT_NE(W(speed)->cursor().shape(), Qt::PointingHandCursor) << speed;
    }
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
