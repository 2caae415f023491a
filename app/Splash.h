#pragma once

#include <QWidget>

class QFrame;
class QLabel;

// The window shown while the main window is being built, from its table.
// Laid out for the table's DPI and scaled to the screen's logical DPI; no
// input, no timer.
class TSplashForm : public QWidget {
    Q_OBJECT
public:
    // logicalDpi <= 0: the primary screen's logical DPI.
    explicit TSplashForm(QWidget *parent = nullptr, qreal logicalDpi = 0);
    ~TSplashForm() override;

    // Shows the window and paints it at once: no event loop runs yet when
    // the program starts.
    void ShowAndPaint();

    // A design size or position in pixels at the given DPI, rounded as the
    // layout scaling does.
    static int Scaled(int designPixels, qreal logicalDpi);

    // Where the underline of `blanks` blanks of Label3's face at the given
    // pixel size falls, relative to the label's top-left corner.
    static QRect UnderlineStroke(int pixelSize, int blanks);

    qreal LogicalDpi() const { return FDpi; }

    QFrame *Panel1 = nullptr;
    QLabel *Label3 = nullptr;
    QFrame *Bevel1 = nullptr;
    QLabel *Label1 = nullptr;

private:
    qreal FDpi = 0;
};
