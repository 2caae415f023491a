#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QFrame;
class QKeyEvent;
class QLabel;
class QTextEdit;
class QTimer;

// The help page: how to cable the Vexo, when it listens, what the commands
// mean. No control takes the focus, so the window itself gets every key;
// releasing Escape closes it.
class TfHelpATVexo : public QDialog {
    Q_OBJECT
public:
    explicit TfHelpATVexo(QWidget *owner = nullptr);
    ~TfHelpATVexo() override;

    // The texts of RichEdit1 and RichEdit2, one entry a line.
    static const QStringList &WarningLines();
    static const QStringList &HelpLines();

    // Finds a shipped picture by file name; an empty function means
    // PicturePath(). Tests point it at missing or damaged files.
    using PictureLookup = std::function<QString(const QString &fileName)>;
    static void SetPictureLookup(PictureLookup lookup);

    // Handlers.
    void tInitTimer();
    void FormKeyUp(QObject *sender, int key, Qt::KeyboardModifiers shift);

    QLabel *Label1 = nullptr;
    QFrame *Panel1 = nullptr;
    QFrame *Panel2 = nullptr;
    QTextEdit *RichEdit1 = nullptr;
    QLabel *Image1 = nullptr;
    QTextEdit *RichEdit2 = nullptr;
    QTimer *tInit = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
};

// The window being shown by ShowHelpForm(), null otherwise.
extern TfHelpATVexo *fHelpATVexo;

// Creates a fresh help window owned by `owner`, shows it modally and
// releases it afterwards (also when an exception leaves the modal loop).
// The owner's timers keep running meanwhile.
void ShowHelpForm(QWidget *owner);
