#include "About.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include "FormBuilder.h"
#include "Fonts.h"
#include "ModalForm.h"
#include "Pictures.h"
#include "ScreenFit.h"
#include "VexoAssets.h"

TAboutForm *AboutForm = nullptr;

namespace {

TAboutForm::UrlOpener &UrlOpenerHook()
{
    static TAboutForm::UrlOpener opener;
    return opener;
}

TAboutForm::PictureLookup &PictureLookupHook()
{
    static TAboutForm::PictureLookup lookup;
    return lookup;
}

} // namespace

void TAboutForm::SetUrlOpener(UrlOpener opener)
{
    UrlOpenerHook() = std::move(opener);
}

void TAboutForm::SetPictureLookup(PictureLookup lookup)
{
    PictureLookupHook() = std::move(lookup);
}

TAboutForm::TAboutForm(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint)
{
    InitVexoAssets();
    InstallFontSubstitutions();

    setObjectName(QStringLiteral("AboutForm"));
    setWindowIcon(PngIcon(QStringLiteral(":/pictures/icon.png")));
    TBuildHooks hooks;
    hooks.findPicture = [](const QString &file) {
        const auto &lookup = PictureLookupHook();
        return lookup ? lookup(file) : PicturePath(file);
    };
    const TFormControls controls = BuildForm(forms::AboutForm, this, this, hooks);
    Image1 = controls.Get<QLabel>("Image1");
    lNamePO = controls.Get<QLabel>("lNamePO");
    Label5 = controls.Get<QLabel>("Label5");
    Label2 = controls.Get<QLabel>("Label2");
    Label_versPr = controls.Get<QLabel>("Label_versPr");
    Label1 = controls.Get<QLabel>("Label1");
    address = controls.Get<QLabel>("address");
    l_http = controls.Get<QLabel>("l_http");
    l_mail = controls.Get<QLabel>("l_mail");
    OKButton = controls.Get<QPushButton>("OKButton");
    tInit = controls.Get<QTimer>("tInit");

    for (const TFormControls::TEntry &e : controls.Entries()) {
        auto *w = qobject_cast<QWidget *>(e.object);
        if (e.row->action == forms::TAction::OpenHint) {
            w->setAccessibleDescription(w->property(kHintProperty).toString());
            w->installEventFilter(this);
        } else if (e.row->action == forms::TAction::CloseForm) {
            connect(static_cast<QAbstractButton *>(w), &QAbstractButton::clicked, this, &QDialog::accept);
            w->installEventFilter(this); // OKButtonKeyUp
        }
    }
    OKButton->setFocus();
    tInit->setSingleShot(true);
    connect(tInit, &QTimer::timeout, this, &TAboutForm::tInitTimer);
}

TAboutForm::~TAboutForm() = default;

void TAboutForm::FormShow()
{
    lNamePO->setText(QText(forms::AboutShownName));
    Label_versPr->setText(QText(forms::AboutShownVersion));
    for (QLabel *label : {lNamePO, Label_versPr}) {
        label->adjustSize();
        label->setAccessibleName(label->text());
    }
}

void TAboutForm::tInitTimer()
{
    tInit->stop();
    MoveToWorkAreaCorner(this);
}

void TAboutForm::OKButtonKeyUp(QObject *, int key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter)
        close();
}

void TAboutForm::l_httpClick(QObject *sender)
{
    OpenHint(sender);
}

void TAboutForm::l_mailClick(QObject *sender)
{
    OpenHint(sender);
}

void TAboutForm::OpenHint(QObject *sender)
{
    const auto *label = qobject_cast<const QLabel *>(sender);
    if (!label)
        return;
    const QUrl url(label->property(kHintProperty).toString());
    try {
        const auto &opener = UrlOpenerHook();
        // the result does not matter: a link that cannot be opened is ignored
        if (opener)
            (void)opener(url);
        else
            (void)QDesktopServices::openUrl(url);
    } catch (...) {
        // silently, as above; the window stays open
    }
}

void TAboutForm::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        FormShow();
        // centred in the work area, the OK button within reach
        if (const QRect area = WorkArea(this); !area.isEmpty()) {
            move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
            FitIntoWorkArea(this, forms::AboutForm);
        }
        OKButton->setFocus();
    }
    QDialog::showEvent(event);
}

void TAboutForm::keyPressEvent(QKeyEvent *event)
{
    // Escape closes on its release (OKButtonKeyUp), not on the press as in
    // QDialog; Enter still presses the default button
    if (event->key() == Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TAboutForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == OKButton && event->type() == QEvent::KeyRelease) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat())
            OKButtonKeyUp(OKButton, key->key(), key->modifiers());
    } else if ((watched == l_http || watched == l_mail) &&
               event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const auto *label = static_cast<QWidget *>(watched);
        if (mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint())) {
            if (watched == l_http)
                l_httpClick(watched);
            else
                l_mailClick(watched);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ShowAboutForm(QWidget *owner) { ShowModalOnce(owner, AboutForm); }
