// Every control of every window's table (forms/) exists in the real window
// by its name, with the table's parent, place, size, text, hint, font,
// colour, items, state, cursor, bevel and keyboard order; the timers with
// their interval and state. Read from the table, not retyped here.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QTextEdit>
#include <QKeySequence>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

#include <map>
#include <memory>

#include "About.h"
#include "Bevel.h"
#include "Forms.h"
#include "HelpATVexo.h"
#include "SpinEdit.h"
#include "Splash.h"
#include "StartUp.h"
#include "fAT_Vexo.h"

namespace {

using forms::TControl;
using forms::TForm;
using forms::TKind;

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

QString Joined(std::span<const std::string_view> lines)
{
    QStringList out;
    for (std::string_view l : lines)
        out << Q(l);
    return out.join(u'\n');
}

// The text a control shows, whatever its kind.
QString ShownText(QWidget *w)
{
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    if (auto *s = qobject_cast<TSpinEdit *>(w))
        return s->Text();
    if (auto *t = qobject_cast<QTextEdit *>(w))
        return t->toPlainText();
    return {};
}

// A control the operator cannot use; a text view that is only read keeps
// its colours, so it counts when it takes no input at all.
bool TakesNoInput(QWidget *w)
{
    if (auto *t = qobject_cast<QTextEdit *>(w))
        return t->isReadOnly() && t->textInteractionFlags() == Qt::NoTextInteraction;
    return !w->isEnabled();
}

void ExpectFont(QWidget *w, const forms::TFont &f)
{
    EXPECT_EQ(w->font().family(), Q(f.face));
    EXPECT_EQ(w->font().pixelSize(), f.px);
    EXPECT_EQ(w->font().bold(), bool(f.style & forms::fsBold));
    EXPECT_EQ(w->font().italic(), bool(f.style & forms::fsItalic));
    EXPECT_EQ(w->font().underline(), bool(f.style & forms::fsUnderline));
}

void ExpectColours(QWidget *w, const TControl &row)
{
    const QPalette::ColorRole text = row.kind == TKind::RichEdit ? QPalette::Text : QPalette::WindowText;
    if (row.colour.source == forms::TColour::Rgb) {
        EXPECT_EQ(w->palette().color(text), QColor(row.colour.r, row.colour.g, row.colour.b));
    }
    if (row.colour.source == forms::TColour::WindowText) {
        EXPECT_EQ(w->palette().color(text), w->window()->palette().color(QPalette::WindowText));
    }
    const QPalette::ColorRole back = row.kind == TKind::RichEdit ? QPalette::Base : QPalette::Window;
    if (row.background.source == forms::TColour::Rgb) {
        EXPECT_EQ(w->palette().color(back), QColor(row.background.r, row.background.g, row.background.b));
    }
    if (row.background.source == forms::TColour::ButtonFace) {
        EXPECT_EQ(w->palette().color(back), w->palette().color(QPalette::Button));
    }
}

// One row against its widget. `client` holds the form's direct children.
void ExpectControl(const TForm &form, const TControl &row, QWidget *window, QWidget *client)
{
    SCOPED_TRACE(std::string(form.name) + "." + std::string(row.name));
    if (row.kind == TKind::Timer) {
        auto *timer = window->findChild<QTimer *>(Q(row.name), Qt::FindDirectChildrenOnly);
        ASSERT_NE(timer, nullptr);
        EXPECT_EQ(timer->interval(), row.interval);
        EXPECT_EQ(timer->isActive(), row.enabled);
        return;
    }
    if (!row.key.empty()) {
        // a key of its own, or the key that presses this button
        const QString name = row.kind == TKind::Key ? Q(row.name) : Q(row.name) + QStringLiteral("Key");
        auto *key = window->findChild<QShortcut *>(name, Qt::FindDirectChildrenOnly);
        ASSERT_NE(key, nullptr) << name.toStdString();
        EXPECT_EQ(key->key(), QKeySequence(Q(row.key)));
        if (row.kind == TKind::Key)
            return;
    }
    auto *w = window->findChild<QWidget *>(Q(row.name));
    ASSERT_NE(w, nullptr);
    if (auto *button = qobject_cast<QToolButton *>(w)) {
        EXPECT_EQ(button->isCheckable(), row.toggle) << "a toggle stays down";
    }
    QWidget *parent = w->parentWidget();
    if (row.parent == form.name) {
        EXPECT_EQ(parent, client);
    } else {
        EXPECT_EQ(parent->objectName(), Q(row.parent));
    }

    // place and size; a size the table leaves open fits the text
    EXPECT_EQ(w->pos(), QPoint(row.left, row.top));
    if (row.width >= 0) {
        EXPECT_EQ(w->width(), row.width);
    } else {
        EXPECT_GE(w->width(), w->sizeHint().width());
    }
    if (row.height >= 0) {
        EXPECT_EQ(w->height(), row.height);
    } else {
        EXPECT_GE(w->height(), w->sizeHint().height());
    }

    const QString text = row.lines.empty() ? Q(row.text) : Joined(row.lines);
    if (row.kind != TKind::Image && row.kind != TKind::ProgressBar && row.kind != TKind::Panel) {
        EXPECT_EQ(ShownText(w), text);
    }
    if (row.showHint) {
        EXPECT_EQ(w->toolTip(), Q(row.hint));
    } else {
        EXPECT_TRUE(w->toolTip().isEmpty());
        EXPECT_EQ(w->property(kHintProperty).toString(), Q(row.hint));
    }
    if (!row.font.face.empty())
        ExpectFont(w, row.font);
    ExpectColours(w, row);
    EXPECT_EQ(TakesNoInput(w), !row.enabled);
    EXPECT_EQ(w->testAttribute(Qt::WA_SetCursor) && w->cursor().shape() == Qt::PointingHandCursor,
              row.cursor == forms::TCursor::Hand);

    if (auto *c = qobject_cast<QComboBox *>(w)) {
        QStringList items, expected;
        for (int i = 0; i < c->count(); ++i)
            items << c->itemText(i);
        for (std::string_view item : row.items)
            expected << Q(item);
        EXPECT_EQ(items, expected);
    }
    if (auto *check = qobject_cast<QCheckBox *>(w)) {
        EXPECT_EQ(check->isChecked(), row.checked);
    }
    if (auto *s = qobject_cast<TSpinEdit *>(w)) {
        EXPECT_EQ(s->MinValue(), row.min);
        EXPECT_EQ(s->MaxValue(), row.max);
    }
    if (auto *p = qobject_cast<QProgressBar *>(w)) {
        EXPECT_EQ(p->minimum(), row.min);
        EXPECT_EQ(p->maximum(), row.max);
    }
    if (auto *b = qobject_cast<QAbstractButton *>(w)) {
        EXPECT_EQ(b->icon().isNull(), row.picture == forms::TPicture::None);
    }
    if (auto *image = qobject_cast<QLabel *>(w); image && row.kind == TKind::Image) {
        EXPECT_FALSE(image->pixmap().isNull());
    }
    if (row.bevel == forms::TBevel::Lowered) {
        ExpectLoweredInnerBevel(w);
    }
    if (row.tabOrder < 0) {
        EXPECT_EQ(w->focusPolicy(), Qt::NoFocus);
    } else {
        EXPECT_TRUE(w->focusPolicy() & Qt::TabFocus);
    }
}

// Tab goes through the controls in the table's order.
void ExpectTabOrder(const TForm &form, QWidget *window)
{
    std::map<int, QWidget *> order;
    for (const TControl &row : form.controls)
        if (row.tabOrder >= 0) {
            order[row.tabOrder] = window->findChild<QWidget *>(Q(row.name));
        }
    std::map<QWidget *, int> place;
    for (const auto &[n, w] : order)
        place[w] = n;
    for (auto it = order.begin(); it != order.end() && std::next(it) != order.end(); ++it) {
        SCOPED_TRACE(it->second->objectName().toStdString());
        QWidget *next = it->second->nextInFocusChain();
        while (next != it->second && !place.count(next))
            next = next->nextInFocusChain(); // the parts a control is made of
        EXPECT_EQ(next, std::next(it)->second);
    }
}

void ExpectForm(const TForm &form, QWidget *window, QWidget *client)
{
    SCOPED_TRACE(std::string(form.name));
    EXPECT_EQ(window->windowTitle(), Q(form.caption));
    EXPECT_EQ(client->size(), QSize(form.clientWidth, form.clientHeight));
    if (form.place == forms::TPlace::Design) {
        EXPECT_EQ(window->pos(), QPoint(form.left, form.top));
    }
    EXPECT_EQ(window->minimumSize() == window->maximumSize(), !(form.style & forms::wsResizable));
    for (const TControl &row : form.controls)
        ExpectControl(form, row, window, client);
    ExpectTabOrder(form, window);
}

class FormWindows : public testing::Test {
protected:
    static void SetUpTestSuite() { PrepareApplication(); }
};

TEST_F(FormWindows, MainWindow)
{
    TfAT_Vexo window;
    ExpectForm(forms::MainForm, &window, window.centralWidget());
}

TEST_F(FormWindows, HelpWindow)
{
    TfHelpATVexo window;
    ExpectForm(forms::HelpForm, &window, &window);
}

TEST_F(FormWindows, AboutWindowBeforeItShows)
{
    TAboutForm window;
    ExpectForm(forms::AboutForm, &window, &window);
}

TEST_F(FormWindows, SplashWindowAtItsDesignDpi)
{
    TSplashForm window(nullptr, forms::SplashForm.designDpi);
    ExpectForm(forms::SplashForm, &window, &window);
}

} // namespace
