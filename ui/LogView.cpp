#include "LogView.h"

#include <QFont>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include "Forms.h"

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
    format.setFontFamilies({QString::fromLatin1(forms::LogFontFace)});
    format.setFontFixedPitch(true);
    format.setFontStyleHint(QFont::TypeWriter);

    // The operator's caret moves along with an insert at its own position,
    // i.e. whenever it sits at the very end; note it so it can be put back.
    const QTextCursor caret = view->textCursor();
    const int caretAnchor = caret.anchor();
    const int caretPosition = caret.position();
    const int hScroll = view->horizontalScrollBar()->value();
    QScrollBar *vBar = view->verticalScrollBar();
    const int vScroll = vBar->value();
    const bool atBottom = vScroll >= vBar->maximum();

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
        // setTextCursor scrolls to the caret; the operator did not ask for
        // that. A view at the bottom stays there (the range may have grown
        // already), else it goes back to where the operator was reading.
        view->horizontalScrollBar()->setValue(hScroll);
        vBar->setValue(atBottom ? vBar->maximum() : vScroll);
    }
}

void ClearLog(QTextEdit *view)
{
    if (!view)
        return;
    view->clear();
    view->document()->firstBlock().setUserState(-1);
}
