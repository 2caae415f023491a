// The coloured command log on an offscreen QTextEdit.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFragment>

#include "LogHelpers.h"
#include "LogView.h"
#include "QtText.h"

namespace {

QColor Colour(int kind)
{
    const TColour c = LogKindColour(kind);
    return QColor(c.r, c.g, c.b);
}

// A line of a log kind, as the main window adds it.
void AddToLog(QTextEdit *view, int kind, const QString &text) { AppendLine(view, text, Colour(kind)); }

QTextBlock Block(QTextEdit &view, int n)
{
    return view.document()->findBlockByNumber(n);
}

// Every character of the block (and the block itself, for empty lines)
// carries this colour and the log font.
void ExpectBlockStyle(const QTextBlock &block, const QColor &colour)
{
    ASSERT_TRUE(block.isValid());
    SCOPED_TRACE(block.text().toStdString());
    const QTextCharFormat blockFormat = block.charFormat();
    EXPECT_EQ(blockFormat.foreground().color(), colour);
    int covered = 0;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QTextCharFormat f = fragment.charFormat();
        EXPECT_EQ(f.foreground().color(), colour);
        EXPECT_EQ(f.fontFamilies().toStringList(), QStringList{U("Courier New")});
        EXPECT_TRUE(f.fontFixedPitch());
        EXPECT_NE(f.fontWeight(), QFont::Bold);
        covered += fragment.length();
    }
    EXPECT_EQ(covered, block.length() - 1);
}

void Settle()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QTest::qWait(5);
    }
}

} // namespace

TEST(log_view, LinesKeepTheirOwnColoursInOrder)
{
    QTextEdit view;
    AddToLog(&view, lkCommand, U("Запрос версии"));
    AddToLog(&view, lkCommand, U("ATI0"));
    AddToLog(&view, lkReply, U("ответ получен"));
    AddToLog(&view, lkError, U("нет ответа"));
    AppendLine(&view, U("custom"), QColor(1, 2, 3));
    AddToLog(&view, lkCommand, U("ATS0?"));

    // the first line does not start with an empty paragraph
    ASSERT_EQ(view.document()->blockCount(), 6);
    EXPECT_EQ(view.toPlainText(), U("Запрос версии\nATI0\nответ получен\nнет ответа\ncustom\nATS0?"));
    ExpectBlockStyle(Block(view, 0), QColor(0, 0, 255));
    ExpectBlockStyle(Block(view, 1), QColor(0, 0, 255));
    ExpectBlockStyle(Block(view, 2), QColor(128, 0, 0));
    ExpectBlockStyle(Block(view, 3), QColor(255, 0, 0));
    ExpectBlockStyle(Block(view, 4), QColor(1, 2, 3));
    ExpectBlockStyle(Block(view, 5), QColor(0, 0, 255));
    EXPECT_FALSE(view.isReadOnly());
}

TEST(log_view, EmptyLinesAndLiteralMarkup)
{
    QTextEdit view;
    AddToLog(&view, lkReply, QString());
    AddToLog(&view, lkError, U("<b>bold?</b> &amp; <br>"));
    AddToLog(&view, lkReply, QString());
    AddToLog(&view, lkCommand, U("end"));
    ASSERT_EQ(view.document()->blockCount(), 4);
    EXPECT_EQ(Block(view, 0).text(), U(""));
    EXPECT_EQ(Block(view, 1).text(), U("<b>bold?</b> &amp; <br>"));
    EXPECT_EQ(Block(view, 2).text(), U(""));
    EXPECT_EQ(Block(view, 3).text(), U("end"));
    ExpectBlockStyle(Block(view, 0), QColor(128, 0, 0));
    ExpectBlockStyle(Block(view, 1), QColor(255, 0, 0));
    ExpectBlockStyle(Block(view, 2), QColor(128, 0, 0));
    ExpectBlockStyle(Block(view, 3), QColor(0, 0, 255));
}

TEST(log_view, TypedTextStaysAndLinesGoAfterIt)
{
    QTextEdit view;
    view.show();
    view.setFocus();
    AddToLog(&view, lkCommand, U("first"));
    // the operator clicks at the end and types, without a line end
    view.moveCursor(QTextCursor::End);
    QTest::keyClicks(&view, QStringLiteral(" typed"));
    ASSERT_EQ(view.toPlainText(), U("first typed"));

    AddToLog(&view, lkReply, U("second"));
    ASSERT_EQ(view.document()->blockCount(), 2);
    EXPECT_EQ(Block(view, 0).text(), U("first typed"));
    EXPECT_EQ(Block(view, 1).text(), U("second"));
    ExpectBlockStyle(Block(view, 1), QColor(128, 0, 0));

    // the caret stayed at the end of the typed text: typing goes on there
    QTest::keyClicks(&view, QStringLiteral("!"));
    EXPECT_EQ(view.toPlainText(), U("first typed!\nsecond"));

    // typed text after a line end stays too, on its own line
    view.moveCursor(QTextCursor::End);
    QTest::keyClick(&view, Qt::Key_Return);
    QTest::keyClicks(&view, QStringLiteral("note"));
    AddToLog(&view, lkError, U("third"));
    EXPECT_EQ(view.toPlainText(), U("first typed!\nsecond\nnote\nthird"));
    ExpectBlockStyle(Block(view, 3), QColor(255, 0, 0));

    // an operator who deleted everything: the next line is the first again
    view.selectAll();
    QTest::keyClick(&view, Qt::Key_Delete);
    ASSERT_TRUE(view.document()->isEmpty());
    AddToLog(&view, lkCommand, U("again"));
    EXPECT_EQ(view.document()->blockCount(), 1);
    EXPECT_EQ(view.toPlainText(), U("again"));
}

TEST(log_view, OperatorCaretAndSelectionAreLeftAlone)
{
    QTextEdit view;
    view.show();
    AddToLog(&view, lkCommand, U("0123456789"));
    AddToLog(&view, lkCommand, U("abcdef"));

    QTextCursor c = view.textCursor();
    c.setPosition(3);
    view.setTextCursor(c);
    AddToLog(&view, lkReply, U("more"));
    EXPECT_EQ(view.textCursor().position(), 3);
    EXPECT_FALSE(view.textCursor().hasSelection());

    // a selection reaching the very end is kept as it was, not stretched
    const int end = view.document()->characterCount() - 1;
    c.setPosition(12);
    c.setPosition(end, QTextCursor::KeepAnchor);
    view.setTextCursor(c);
    const QString selected = view.textCursor().selectedText();
    AddToLog(&view, lkError, U("tail"));
    EXPECT_EQ(view.textCursor().anchor(), 12);
    EXPECT_EQ(view.textCursor().position(), end);
    EXPECT_EQ(view.textCursor().selectedText(), selected);

    // and a caret in an empty view stays at the start
    QTextEdit empty;
    AddToLog(&empty, lkCommand, U("x"));
    EXPECT_EQ(empty.textCursor().position(), 0);
}

TEST(log_view, ClearEmptiesAndStartsAfresh)
{
    QTextEdit view;
    for (int i = 0; i < 20; ++i)
        AddToLog(&view, lkReply, QStringLiteral("line %1").arg(i));
    ClearLog(&view);
    EXPECT_TRUE(view.document()->isEmpty());
    AddToLog(&view, lkError, U("after clear"));
    ASSERT_EQ(view.document()->blockCount(), 1);
    EXPECT_EQ(view.toPlainText(), U("after clear"));
    ExpectBlockStyle(Block(view, 0), QColor(255, 0, 0));

    // a view holding a single empty line is not empty for the log
    ClearLog(&view);
    AddToLog(&view, lkCommand, QString());
    AddToLog(&view, lkCommand, QString());
    EXPECT_EQ(view.document()->blockCount(), 2);
    ClearLog(&view);
    AddToLog(&view, lkCommand, QString());
    ClearLog(&view);
    AddToLog(&view, lkReply, U("x"));
    EXPECT_EQ(view.document()->blockCount(), 1);
    EXPECT_EQ(view.toPlainText(), U("x"));

    ClearLog(nullptr);
    AppendLine(nullptr, U("ignored"), QColor(0, 0, 0));
}

TEST(log_view, FollowsTheEndOnlyWhenAtTheEnd)
{
    QTextEdit view;
    view.resize(300, 150);
    view.show();
    QScrollBar *bar = view.verticalScrollBar();
    for (int i = 0; i < 200; ++i)
        AddToLog(&view, lkCommand, QStringLiteral("line %1").arg(i));
    Settle();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    // scrolled up: new lines do not pull the view down
    bar->setValue(bar->maximum() / 3);
    const int reading = bar->value();
    const int oldMax = bar->maximum();
    for (int i = 0; i < 50; ++i)
        AddToLog(&view, lkReply, QStringLiteral("more %1").arg(i));
    Settle();
    EXPECT_GT(bar->maximum(), oldMax);
    EXPECT_EQ(bar->value(), reading);

    // back at the bottom: followed again
    bar->setValue(bar->maximum());
    for (int i = 0; i < 50; ++i) {
        AddToLog(&view, lkError, QStringLiteral("again %1").arg(i));
        if (i % 10 == 0)
            Settle();
    }
    Settle();
    EXPECT_EQ(bar->value(), bar->maximum());

    // the caret at the end (out of sight) does not drag the view either
    bar->setValue(0);
    view.moveCursor(QTextCursor::End);
    bar->setValue(0);
    Settle();
    AddToLog(&view, lkReply, U("quiet"));
    Settle();
    EXPECT_EQ(bar->value(), 0);
}

// A new line leaves the operator's selection and place in the log alone; a
// view at the bottom follows the new line, also when the caret or a
// selection sits at the very end.
TEST(log_view, SelectionAndPlaceKeptUnlessAtTheBottom)
{
    QTextEdit view;
    view.resize(300, 150);
    view.show();
    QScrollBar *bar = view.verticalScrollBar();
    for (int i = 0; i < 100; ++i)
        AddToLog(&view, lkCommand, QStringLiteral("line %1").arg(i));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); }));
    const auto addAndLayOut = [&](const QString &text) {
        const int oldMax = bar->maximum();
        AddToLog(&view, lkReply, text);
        EXPECT_TRUE(QTest::qWaitFor([&] { return bar->maximum() > oldMax; })) << "laid out";
        QCoreApplication::processEvents();
    };

    // at the bottom, the last line selected up to the very end
    QTextCursor c = view.textCursor();
    const int lastStart = view.document()->lastBlock().position();
    const int end = view.document()->characterCount() - 1;
    c.setPosition(lastStart);
    c.setPosition(end, QTextCursor::KeepAnchor);
    view.setTextCursor(c);
    addAndLayOut(U("follows"));
    EXPECT_EQ(bar->value(), bar->maximum()) << "a view at the bottom follows the new line";
    EXPECT_EQ(view.textCursor().anchor(), lastStart);
    EXPECT_EQ(view.textCursor().position(), end);
    EXPECT_EQ(view.textCursor().selectedText(), U("line 99"));

    // at the bottom, the caret at the very end
    view.moveCursor(QTextCursor::End);
    bar->setValue(bar->maximum());
    const int caret = view.textCursor().position();
    addAndLayOut(U("follows too"));
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(view.textCursor().position(), caret);
    EXPECT_FALSE(view.textCursor().hasSelection());

    // scrolled up, a selection in view: both stay
    bar->setValue(bar->maximum() / 2);
    const int reading = bar->value();
    const QTextCursor middle = view.cursorForPosition(QPoint(5, 5));
    c.setPosition(middle.block().position());
    c.setPosition(middle.block().position() + 4, QTextCursor::KeepAnchor);
    view.setTextCursor(c);
    bar->setValue(reading);
    const QString selected = view.textCursor().selectedText();
    ASSERT_FALSE(selected.isEmpty());
    for (int i = 0; i < 3; ++i)
        addAndLayOut(QStringLiteral("more %1").arg(i));
    EXPECT_EQ(bar->value(), reading) << "a view scrolled up stays where the operator reads";
    EXPECT_EQ(view.textCursor().selectedText(), selected);
    EXPECT_EQ(view.textCursor().anchor(), middle.block().position());
}

TEST(log_view, ManyLines)
{
    QTextEdit view;
    view.resize(400, 200);
    view.show();
    const int count = 5000;
    for (int i = 0; i < count; ++i)
        AddToLog(&view, 1 + i % 3, QStringLiteral("line %1 ").arg(i) + QString(30, u'.'));
    ASSERT_EQ(view.document()->blockCount(), count);
    for (int n : {0, 1, 2, count / 2, count - 1}) {
        EXPECT_EQ(Block(view, n).text(), QStringLiteral("line %1 ").arg(n) + QString(30, u'.'));
        ExpectBlockStyle(Block(view, n), Colour(1 + n % 3));
    }
    Settle();
    EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
}
