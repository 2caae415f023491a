#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>

#include <functional>

#include "FormBuilder.h"

class QLabel;
class QPushButton;
class QTimer;

// The about window: program name and version, and two links handed to the
// desktop (web site, mail). Borderless; the OK button is the only control
// that takes the focus.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget *owner = nullptr);
    ~TAboutForm() override;

    // Name of the dynamic property holding a control's hint. The hints of the
    // two links are what a click opens; they are never shown as tooltips.
    static constexpr const char *kHintProperty = ::kHintProperty;

    // Opens a link's hint; an empty function means QDesktopServices::openUrl.
    // Tests record the URLs instead of starting a browser.
    using UrlOpener = std::function<bool(const QUrl &)>;
    static void SetUrlOpener(UrlOpener opener);

    // Finds a shipped picture by file name; an empty function means
    // PicturePath(). Tests point it at missing or damaged files.
    using PictureLookup = std::function<QString(const QString &fileName)>;
    static void SetPictureLookup(PictureLookup lookup);

    // Handlers.
    void FormShow();
    void tInitTimer();
    void OKButtonKeyUp(QObject *sender, int key, Qt::KeyboardModifiers shift);
    void l_httpClick(QObject *sender);
    void l_mailClick(QObject *sender);

    QLabel *Image1 = nullptr;
    QLabel *lNamePO = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label_versPr = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *address = nullptr;
    QLabel *l_http = nullptr;
    QLabel *l_mail = nullptr;
    QPushButton *OKButton = nullptr;
    QTimer *tInit = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void OpenHint(QObject *sender);
};

// The window being shown by ShowAboutForm(), null otherwise.
extern TAboutForm *AboutForm;

// Creates a fresh about window owned by `owner`, shows it modally and
// releases it afterwards (also when an exception leaves the modal loop).
// The owner's timers keep running meanwhile.
void ShowAboutForm(QWidget *owner);
