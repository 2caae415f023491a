// Builds a window's controls by walking its table (forms/Forms.h): one
// widget a row, of the row's kind, with its place, texts, font, colours,
// state, cursor, bevel and picture; the aligned ones kept in place by a
// layout; the timers; the keyboard order. What a click does is left to the
// window, which finds each row's action beside its widget.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string_view>
#include <vector>

#include "Forms.h"

class QWidget;

// Name of the dynamic property that holds a hint which is never shown as a
// tooltip (a link's address).
inline constexpr const char *kHintProperty = "hint";

// The controls of one built window, in the table's order.
class TFormControls {
public:
    struct TEntry {
        const forms::TControl *row;
        QObject *object; // the widget, or the QTimer of a timer row
    };

    QObject *Find(std::string_view name) const;
    template <typename T>
    T *Get(std::string_view name) const
    {
        return qobject_cast<T *>(Find(name));
    }
    const std::vector<TEntry> &Entries() const { return FEntries; }
    void Add(const forms::TControl &row, QObject *object) { FEntries.push_back({&row, object}); }

private:
    std::vector<TEntry> FEntries;
};

struct TBuildHooks {
    // Makes a row's widget itself; null (or returning null): the kind's own.
    std::function<QWidget *(const forms::TControl &row, QWidget *parent)> make;
    // Full path of a shipped JPEG picture; null: PicturePath().
    std::function<QString(const QString &fileName)> findPicture;
    // The screen's logical DPI, for a form laid out at another DPI than 96
    // (the splash window); <= 0: the primary screen's.
    qreal dpi = 0;
};

// Builds `form` onto `window`: its caption, size, position, fixed size
// unless resizable, and font; every control into `client` (the window's
// client area: the window itself or a main window's central widget).
TFormControls BuildForm(const forms::TForm &form, QWidget *window, QWidget *client, const TBuildHooks &hooks = {});

// A design length of a form laid out at `designDpi`, at `dpi`, rounded as
// the layout is. Edges are scaled rather than sizes, so neighbours stay flush.
int ScaledLength(int designPixels, qreal dpi, int designDpi);

// The shipped file of a picture (":/pictures/..." for the compiled-in ones,
// a bare file name for the JPEG photographs), and of its disabled twin.
QString PictureFile(forms::TPicture picture);
QString DisabledPictureFile(forms::TPicture picture);

// UTF-8 from a table, as Qt text.
inline QString QText(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }
