#include "LogHelpers.h"

#include <QFont>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <limits>

#include "Str_UtRx.h"
#include "SysUtils.h"

#if defined(_WIN32) && !defined(NOMINMAX)
#define NOMINMAX
#endif
#include "commapi.h"

QColor LogKindColour(int kind)
{
    switch (kind) {
    case lkCommand:
        return QColor(0, 0, 255);
    case lkReply:
        return QColor(128, 0, 0);
    case lkError:
        return QColor(255, 0, 0);
    default:
        return QColor(0, 0, 0);
    }
}

QString StripCtrl(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() >= 32)
            out.append(c);
    }
    return out;
}

std::string StripCtrl(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 32)
            out.push_back(c);
    }
    return out;
}

bool IsIntText(const QString &text)
{
    const QString s = DelSpaces(text);
    if (s.isEmpty())
        return false;
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u != u'-' && (u < u'0' || u > u'9'))
            return false;
    }
    return true;
}

qint64 IntTextValue(const QString &text)
{
    if (!IsIntText(text))
        return 0;
    const QString s = DelSpaces(text);
    // Strict: one optional leading minus, then at least one digit. Library
    // converters accept more (a plus sign, surrounding blanks, other digit
    // sets) and must not decide what counts as a number here.
    const bool negative = s.front() == u'-';
    const qsizetype first = negative ? 1 : 0;
    const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1
                                   : quint64(std::numeric_limits<qint64>::max());
    bool ok = first < s.size();
    quint64 value = 0;
    for (qsizetype i = first; ok && i < s.size(); ++i) {
        const char16_t u = s[i].unicode();
        if (u < u'0' || u > u'9') {
            ok = false;
            break;
        }
        const unsigned digit = unsigned(u - u'0');
        if (value > (limit - digit) / 10) {
            ok = false;
            break;
        }
        value = value * 10 + digit;
    }
    if (!ok)
        throw EConvertError("'" + s.toStdString() + "' is not a valid integer value");
    if (negative)
        return value == limit ? std::numeric_limits<qint64>::min() : -qint64(value);
    return qint64(value);
}

namespace {

// Keeps a log view pinned to its end while it is at the end. The scroll
// range of a text view grows only when the document layout reports its new
// size, which happens after the insert (on a zero timer for small changes),
// so the pinning has to follow the range, not the insert.
class TLogFollower : public QObject {
public:
    explicit TLogFollower(QTextEdit *view) : QObject(view), FBar(view->verticalScrollBar())
    {
        setObjectName(QStringLiteral("vexoLogFollower"));
        FAtEnd = FBar->value() >= FBar->maximum();
        connect(FBar, &QScrollBar::valueChanged, this, [this](int value) {
            FAtEnd = value >= FBar->maximum();
        });
        connect(FBar, &QScrollBar::rangeChanged, this, [this](int, int max) {
            if (FAtEnd)
                FBar->setValue(max);
            else
                FAtEnd = FBar->value() >= max;
        });
    }

    static void Attach(QTextEdit *view)
    {
        const auto children = view->findChildren<QObject *>(QStringLiteral("vexoLogFollower"),
                                                            Qt::FindDirectChildrenOnly);
        for (QObject *child : children) {
            if (dynamic_cast<TLogFollower *>(child))
                return;
        }
        new TLogFollower(view);
    }

private:
    QScrollBar *FBar;
    bool FAtEnd = true;
};

// Block state of a first block that holds an empty log line.
constexpr int EmptyFirstLine = 0x4c4f47;

} // namespace

void AppendLine(QTextEdit *view, const QString &text, const QColor &colour)
{
    if (!view)
        return;
    TLogFollower::Attach(view);

    QTextCharFormat format;
    format.setForeground(colour);
    format.setFontFamilies({QString::fromLatin1(LogFontFamily)});
    format.setFontFixedPitch(true);
    format.setFontStyleHint(QFont::TypeWriter);

    // The operator's caret moves along with an insert at its own position,
    // i.e. whenever it sits at the very end; note it so it can be put back.
    const QTextCursor caret = view->textCursor();
    const int caretAnchor = caret.anchor();
    const int caretPosition = caret.position();
    const int hScroll = view->horizontalScrollBar()->value();
    const int vScroll = view->verticalScrollBar()->value();

    // A cursor of our own at the end: the document's length is known, so
    // this costs the same however long the log has grown. No capacity limit:
    // the log grows until the clear command, trimming nothing.
    QTextDocument *doc = view->document();
    QTextBlock first = doc->firstBlock();
    const bool intoFirstBlock = doc->isEmpty() && first.userState() != EmptyFirstLine;
    QTextCursor end(doc);
    end.movePosition(QTextCursor::End);
    end.beginEditBlock();
    if (intoFirstBlock) {
        end.setBlockCharFormat(format);
    } else {
        end.insertBlock(QTextBlockFormat(), format);
        first.setUserState(-1);
    }
    end.insertText(text, format);
    end.endEditBlock();
    // An empty first line leaves the document looking empty; the mark keeps
    // the next line from being written over it.
    if (intoFirstBlock)
        first.setUserState(text.isEmpty() ? EmptyFirstLine : -1);

    QTextCursor moved = view->textCursor();
    if (moved.anchor() != caretAnchor || moved.position() != caretPosition) {
        moved.setPosition(caretAnchor);
        moved.setPosition(caretPosition, QTextCursor::KeepAnchor);
        view->setTextCursor(moved);
        // setTextCursor scrolls to the caret; the operator did not ask for that
        view->horizontalScrollBar()->setValue(hScroll);
        view->verticalScrollBar()->setValue(vScroll);
    }
}

void AddToLog(QTextEdit *view, int kind, const QString &text)
{
    AppendLine(view, text, LogKindColour(kind));
}

void ClearLog(QTextEdit *view)
{
    if (!view)
        return;
    view->clear();
    view->document()->firstBlock().setUserState(-1);
}

bool RSPortPresent(const QString &name)
{
    // The device path is an 8-bit string; COM names are ASCII in practice,
    // anything beyond Latin-1 (or a NUL that would cut the path) names no port.
    std::string path = "\\\\.\\";
    path.reserve(path.size() + std::size_t(name.size()));
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (u == 0 || u > 0xFF)
            return false;
        path.push_back(static_cast<char>(u));
    }
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return true;
    }
    // Busy (held by another program or by our own port object) still exists.
    return GetLastError() == ERROR_ACCESS_DENIED;
}
