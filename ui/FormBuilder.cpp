#include "FormBuilder.h"

#include <QAbstractButton>
#include <QKeySequence>
#include <QShortcut>

#include <QCheckBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <map>

#include "EditCombo.h"
#include "Fonts.h"
#include "JpegImage.h"
#include "Pictures.h"
#include "SpinEdit.h"

using namespace forms;

namespace {

// Lays out the rows aligned to the top (full width, their own height) and
// the one filling the rest, in the table's order, inside the parent's
// contents (within its bevel). Rows without alignment keep their rectangle.
class TAlignLayout : public QLayout {
public:
    explicit TAlignLayout(QWidget *parent) : QLayout(parent)
    {
        setContentsMargins(0, 0, 0, 0);
        setSpacing(0);
    }
    ~TAlignLayout() override
    {
        for (const TItem &i : FItems)
            delete i.item;
    }

    void Add(QWidget *w, TAlign align, int height)
    {
        addChildWidget(w);
        FItems.push_back({new QWidgetItem(w), align, height});
        invalidate();
    }

    void addItem(QLayoutItem *item) override { FItems.push_back({item, TAlign::Client, 0}); }
    int count() const override { return int(FItems.size()); }
    QLayoutItem *itemAt(int index) const override
    {
        return index >= 0 && index < count() ? FItems[size_t(index)].item : nullptr;
    }
    QLayoutItem *takeAt(int index) override
    {
        if (index < 0 || index >= count())
            return nullptr;
        QLayoutItem *item = FItems[size_t(index)].item;
        FItems.erase(FItems.begin() + index);
        return item;
    }
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal | Qt::Vertical; }
    QSize minimumSize() const override
    {
        int height = 0;
        for (const TItem &i : FItems)
            if (i.align == TAlign::Top)
                height += i.height;
        const QMargins m = contentsMargins();
        return QSize(m.left() + m.right(), height + m.top() + m.bottom());
    }
    QSize sizeHint() const override { return minimumSize(); }

    void setGeometry(const QRect &rect) override
    {
        QLayout::setGeometry(rect);
        QRect rest = contentsRect();
        for (const TItem &i : FItems) {
            QWidget *w = i.item->widget();
            if (!w)
                continue;
            if (i.align == TAlign::Top) {
                w->setGeometry(rest.left(), rest.top(), rest.width(), i.height);
                rest.setTop(rest.top() + i.height);
            } else {
                w->setGeometry(rest);
            }
        }
    }

private:
    struct TItem {
        QLayoutItem *item;
        TAlign align;
        int height;
    };
    std::vector<TItem> FItems;
};

// A button with its picture 2 px from the left edge and the caption centred
// in the space to the right of it; QPushButton would centre both together.
class TGlyphButton : public QPushButton {
public:
    using QPushButton::QPushButton;
    static constexpr int kMargin = 2;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter p(this);
        QStyleOptionButton opt;
        initStyleOption(&opt);
        opt.text.clear();
        opt.icon = QIcon();
        p.drawControl(QStyle::CE_PushButton, opt);

        const int shift = isDown() ? 1 : 0;
        const QSize glyph = iconSize();
        const QPixmap pm = icon().pixmap(glyph, isEnabled() ? QIcon::Normal : QIcon::Disabled);
        p.drawPixmap(kMargin + shift, (height() - glyph.height()) / 2 + shift, pm);

        const int textLeft = kMargin + glyph.width();
        const QRect textRect(textLeft + shift, shift, width() - textLeft, height());
        p.drawItemText(textRect, Qt::AlignCenter, palette(), isEnabled(), text(), QPalette::ButtonText);
    }
};

// What the rows' sizes and fonts are multiplied by.
struct TScale {
    qreal dpi = 96;
    int designDpi = 96;
    int Length(int v) const { return designDpi == 96 ? v : ScaledLength(v, dpi, designDpi); }
    QRect Rect(int left, int top, int width, int height) const
    {
        const int x = Length(left), y = Length(top);
        return QRect(x, y, Length(left + width) - x, Length(top + height) - y);
    }
};

QFont FormFont(const TFont &f, const TScale &scale)
{
    QFont font(QText(f.face));
    font.setPixelSize(std::max(1, scale.Length(f.px)));
    font.setBold(f.style & fsBold);
    font.setItalic(f.style & fsItalic);
    font.setUnderline(f.style & fsUnderline);
    // Fixed-pitch text keeps the whole-pixel character cells it was laid out
    // in (7 px at 12 px): fractional ones would wrap the help page's widest
    // lines and push the longest captions into their buttons' bevels.
    if (IsFixedPitchFace(font.family()))
        font.setHintingPreference(QFont::PreferFullHinting);
    // The faces cover code page 1251 whole, so no fallback face is ever
    // needed for what the windows show; looking fallbacks up costs start-up.
    font.setStyleStrategy(QFont::NoFontMerging);
    return font;
}

QColor SystemColour(const TColour &c, const QPalette &pal)
{
    switch (c.source) {
    case TColour::Rgb:
        return QColor(c.r, c.g, c.b);
    case TColour::ButtonFace:
        return pal.color(QPalette::Button);
    case TColour::WindowText:
        return pal.color(QPalette::WindowText);
    case TColour::Inherit:
        break;
    }
    return {};
}

void SetColours(QWidget *w, const TControl &row)
{
    if (row.colour.source == TColour::Inherit && row.background.source == TColour::Inherit)
        return;
    QPalette pal = w->palette();
    if (row.colour.source != TColour::Inherit) {
        const QColor c = SystemColour(row.colour, pal);
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
            pal.setColor(role, c);
    }
    if (row.background.source != TColour::Inherit) {
        const QColor c = SystemColour(row.background, pal);
        if (row.kind == TKind::RichEdit) {
            pal.setColor(QPalette::Base, c);
        } else {
            pal.setColor(QPalette::Window, c);
            w->setAutoFillBackground(true);
        }
    }
    w->setPalette(pal);
}

void SetBevel(QFrame *frame, TBevel bevel)
{
    switch (bevel) {
    case TBevel::None:
        frame->setFrameShape(QFrame::NoFrame);
        break;
    case TBevel::Lowered:
        // A raised outer and a lowered inner line, 1 px each: the contents
        // start 2 px in.
        frame->setFrameShape(QFrame::Box);
        frame->setFrameShadow(QFrame::Raised);
        frame->setLineWidth(1);
        frame->setMidLineWidth(0);
        break;
    case TBevel::Raised:
        frame->setFrameShape(QFrame::Panel);
        frame->setFrameShadow(QFrame::Raised);
        frame->setLineWidth(1);
        break;
    }
}

QIcon PictureIcon(TPicture picture)
{
    const QString disabled = DisabledPictureFile(picture);
    return PngIcon(PictureFile(picture), disabled);
}

void SetIcon(QAbstractButton *button, TPicture picture)
{
    const QIcon icon = PictureIcon(picture);
    button->setIcon(icon);
    const QList<QSize> sizes = icon.availableSizes();
    if (!sizes.isEmpty())
        button->setIconSize(sizes.first());
}

QString JoinedLines(std::span<const std::string_view> lines)
{
    QStringList out;
    for (std::string_view line : lines)
        out << QText(line);
    return out.join(QLatin1Char('\n'));
}

// A text view: an editable one (the log) or one that is only read.
void SetUpTextView(QTextEdit *view, const TControl &row)
{
    view->setAcceptRichText(false);
    view->setUndoRedoEnabled(false);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setLineWrapMode(row.wordWrap ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    if (!row.enabled) {
        // No caret, no selection, no editing. Kept enabled so the text keeps
        // its own colour instead of the greyed-out one.
        view->setReadOnly(true);
        view->setTextInteractionFlags(Qt::NoTextInteraction);
        view->setContextMenuPolicy(Qt::NoContextMenu);
        view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        // laid out for a 1 px inner margin: with Qt's 4 px the widest lines would wrap
        view->document()->setDocumentMargin(1);
    } else {
        view->setReadOnly(row.readOnly);
    }
    if (!row.lines.empty())
        view->setPlainText(JoinedLines(row.lines));
    else if (!row.text.empty())
        view->setPlainText(QText(row.text));
}

QWidget *MakeWidget(const TControl &row, QWidget *parent, const TBuildHooks &hooks)
{
    if (hooks.make)
        if (QWidget *w = hooks.make(row, parent))
            return w;
    const QString text = QText(row.text);
    switch (row.kind) {
    case TKind::Panel:
    case TKind::ToolBar:
    case TKind::BevelLine: {
        auto *frame = new QFrame(parent);
        SetBevel(frame, row.bevel);
        return frame;
    }
    case TKind::Separator:
        return new QWidget(parent);
    case TKind::ToolButton:
    case TKind::GlyphButton: {
        auto *b = new QToolButton(parent);
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setAutoRaise(true);
        return b;
    }
    case TKind::Button:
        return new QPushButton(text, parent);
    case TKind::OkButton: {
        auto *b = new TGlyphButton(text, parent);
        b->setAutoDefault(true);
        b->setDefault(true);
        return b;
    }
    case TKind::EditCombo: {
        auto *c = new TEditCombo(parent);
        c->setInsertPolicy(QComboBox::NoInsert);
        for (std::string_view item : row.items)
            c->addItem(QText(item));
        c->setCurrentIndex(-1);
        c->setEditText(text);
        return c;
    }
    case TKind::CheckBox: {
        auto *c = new QCheckBox(text, parent);
        c->setChecked(row.checked);
        return c;
    }
    case TKind::SpinEdit: {
        auto *s = new TSpinEdit(parent);
        s->SetRange(row.min, row.max);
        s->SetText(text);
        return s;
    }
    case TKind::ProgressBar: {
        auto *p = new QProgressBar(parent);
        p->setRange(row.min, row.max);
        p->setValue(row.min);
        p->setTextVisible(false);
        return p;
    }
    case TKind::Label:
    case TKind::LinkLabel:
        return new QLabel(text, parent);
    case TKind::RichEdit:
        return new QTextEdit(parent);
    case TKind::Image: {
        auto *l = new QLabel(parent);
        // drawn unscaled from the top-left corner, the rest cut off
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setScaledContents(false);
        const QString file = PictureFile(row.picture);
        const QString path = hooks.findPicture ? hooks.findPicture(file) : PicturePath(file);
        // a missing or damaged picture leaves the control empty, nothing more
        const QImage image = LoadJpegFile(path);
        if (!image.isNull())
            l->setPixmap(QPixmap::fromImage(image));
        return l;
    }
    case TKind::Timer:
    case TKind::Key:
        break;
    }
    return new QWidget(parent);
}

// What a screen reader calls the control: its caption, else its hint, else its name.
QString AccessibleName(const TControl &row)
{
    if (!row.text.empty() && row.kind != TKind::EditCombo && row.kind != TKind::SpinEdit)
        return QText(row.text);
    if (!row.hint.empty())
        return QText(row.hint);
    return QText(row.name);
}

void SetUpControl(QWidget *w, const TControl &row, const TScale &scale)
{
    w->setObjectName(QText(row.name));
    if (!row.font.face.empty())
        w->setFont(FormFont(row.font, scale));
    SetColours(w, row);
    if (!row.hint.empty()) {
        if (row.showHint)
            w->setToolTip(QText(row.hint));
        else
            w->setProperty(kHintProperty, QText(row.hint));
    }
    if (row.cursor == TCursor::Hand)
        w->setCursor(Qt::PointingHandCursor);
    if (row.picture != TPicture::None)
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            SetIcon(b, row.picture);
    if (auto *label = qobject_cast<QLabel *>(w); label && row.kind != TKind::Image) {
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(row.wordWrap);
        label->setAlignment((row.textAlign == TTextAlign::Centre ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    }
    if (auto *view = qobject_cast<QTextEdit *>(w)) {
        SetUpTextView(view, row);
    } else if (!row.enabled) {
        w->setEnabled(false);
    }
    w->setAccessibleName(AccessibleName(row));
}

// Places a row's widget at its rectangle; a size not given comes from the text.
void Place(QWidget *w, const TControl &row, const TScale &scale)
{
    const QRect r = scale.Rect(row.left, row.top, std::max(row.width, 0), std::max(row.height, 0));
    if (row.width < 0 || row.height < 0) {
        const QSize hint = w->sizeHint();
        w->setGeometry(r.x(), r.y(), row.width < 0 ? hint.width() : r.width(),
                       row.height < 0 ? hint.height() : r.height());
    } else {
        w->setGeometry(r);
    }
}

// Only the rows with a place in the keyboard order take the focus; a row
// without one keeps the parts it is made of (scroll bars, edits) out too.
void SetUpKeyboard(const TFormControls &controls, QWidget *client)
{
    std::map<QWidget *, const TControl *> rows;
    std::vector<std::pair<int, QWidget *>> order;
    for (const TFormControls::TEntry &e : controls.Entries()) {
        auto *w = qobject_cast<QWidget *>(e.object);
        if (!w)
            continue;
        rows[w] = e.row;
        if (e.row->tabOrder < 0) {
            w->setFocusPolicy(Qt::NoFocus);
        } else {
            if (!(w->focusPolicy() & Qt::TabFocus))
                w->setFocusPolicy(Qt::StrongFocus);
            order.emplace_back(e.row->tabOrder, w);
        }
    }
    for (QWidget *part : client->findChildren<QWidget *>()) {
        if (rows.count(part))
            continue;
        QWidget *owner = part->parentWidget();
        while (owner && owner != client && !rows.count(owner))
            owner = owner->parentWidget();
        if (owner && owner != client && rows[owner]->tabOrder < 0)
            part->setFocusPolicy(Qt::NoFocus);
    }
    std::stable_sort(order.begin(), order.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1].second, order[i].second);
}

} // namespace

QObject *TFormControls::Find(std::string_view name) const
{
    for (const TEntry &e : FEntries)
        if (e.row->name == name)
            return e.object;
    return nullptr;
}

int ScaledLength(int designPixels, qreal dpi, int designDpi)
{
    return static_cast<int>(std::lround(designPixels * dpi / designDpi));
}

QString PictureFile(TPicture picture)
{
    switch (picture) {
    case TPicture::ToolAbout:
        return QStringLiteral(":/pictures/tb2.png");
    case TPicture::ToolHelp:
        return QStringLiteral(":/pictures/tb4.png");
    case TPicture::ToolClear:
        return QStringLiteral(":/pictures/tb6.png");
    case TPicture::ToolExit:
        return QStringLiteral(":/pictures/tb0.png");
    case TPicture::ToolWait:
        return QStringLiteral(":/pictures/tb7.png");
    case TPicture::ToolReadAll:
        return QStringLiteral(":/pictures/tb8.png");
    case TPicture::ToolWriteAll:
        return QStringLiteral(":/pictures/tb9.png");
    case TPicture::ToolSaveLog:
        return QStringLiteral(":/pictures/tb10.png");
    case TPicture::Scanner:
        return QStringLiteral(":/pictures/scanner.png");
    case TPicture::OkCheck:
        return QStringLiteral(":/pictures/ok.png");
    case TPicture::HelpPhoto:
        return QStringLiteral("help_vexo.jpg");
    case TPicture::AboutLogo:
        return QStringLiteral("about_logo.jpg");
    case TPicture::None:
        break;
    }
    return {};
}

QString DisabledPictureFile(TPicture picture)
{
    switch (picture) {
    case TPicture::Scanner:
        return QStringLiteral(":/pictures/scanner_disabled.png");
    case TPicture::OkCheck:
        return QStringLiteral(":/pictures/ok_disabled.png");
    default:
        return {};
    }
}

TFormControls BuildForm(const TForm &form, QWidget *window, QWidget *client, const TBuildHooks &hooks)
{
    TScale scale;
    scale.designDpi = form.designDpi;
    if (form.designDpi != 96) {
        // 96-DPI layouts are left to Qt's own high-DPI scaling
        QScreen *screen = QGuiApplication::primaryScreen();
        scale.dpi = hooks.dpi > 0 ? hooks.dpi : (screen ? screen->logicalDotsPerInch() : qreal(form.designDpi));
    }

    window->setWindowTitle(QText(form.caption));
    // the controls measure their text as they are made: the faces first
    window->setFont(FormFont(form.font, scale));
    const QSize size = scale.Rect(0, 0, form.clientWidth, form.clientHeight).size();
    if (form.style & wsResizable)
        window->resize(size);
    else
        window->setFixedSize(size);
    if (QScreen *screen = QGuiApplication::primaryScreen(); screen && form.place == TPlace::ScreenCentre) {
        const QRect area = screen->geometry();
        window->move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
    } else if (form.place == TPlace::Design) {
        window->move(form.left, form.top);
    }

    TFormControls controls;
    std::map<std::string_view, QWidget *> parents{{form.name, client}};
    std::map<QWidget *, TAlignLayout *> layouts;
    std::vector<TAlignLayout *> byDepth; // parents' before their children's
    for (const TControl &row : form.controls) {
        if (row.kind == TKind::Timer) {
            auto *timer = new QTimer(window);
            timer->setObjectName(QText(row.name));
            timer->setInterval(row.interval);
            if (row.enabled)
                timer->start();
            controls.Add(row, timer);
            continue;
        }
        if (row.kind == TKind::Key) {
            auto *key = new QShortcut(QKeySequence(QText(row.key)), window);
            key->setObjectName(QText(row.name));
            controls.Add(row, key);
            continue;
        }
        const auto parent = parents.find(row.parent);
        QWidget *into = parent != parents.end() ? parent->second : client;
        QWidget *w = MakeWidget(row, into, hooks);
        SetUpControl(w, row, scale);
        if (row.align == TAlign::None) {
            Place(w, row, scale);
        } else {
            TAlignLayout *&layout = layouts[into];
            if (!layout) {
                layout = new TAlignLayout(into);
                byDepth.push_back(layout);
            }
            layout->Add(w, row.align, scale.Rect(row.left, row.top, row.width, row.height).height());
        }
        parents[row.name] = w;
        controls.Add(row, w);
        // A button's key presses it, wherever the focus is in the window.
        if (auto *button = qobject_cast<QAbstractButton *>(w); button && !row.key.empty()) {
            auto *key = new QShortcut(QKeySequence(QText(row.key)), window);
            key->setObjectName(QText(row.name) + QStringLiteral("Key"));
            QObject::connect(key, &QShortcut::activated, button, &QAbstractButton::click);
        }
        if (auto *button = qobject_cast<QAbstractButton *>(w); button && row.toggle)
            button->setCheckable(true);
    }
    SetUpKeyboard(controls, client);
    // in place now, not only once shown
    if (window->layout())
        window->layout()->activate();
    for (TAlignLayout *layout : byDepth)
        layout->activate();
    return controls;
}
