// The Qt main window's settings-file buttons end to end, through the real
// file dialogs (the test fills them in as the operator would), against the
// stand-in Vexo with the real timers: open a file, write all with check,
// read it back, compare, save.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include <iostream>
#include <memory>

#include "QtText.h"
#include "QtWait.h"
#include "Sequences.h"
#include "VexoSim.h"
#include "fAT_Vexo.h"

using vexo::sim::Options;
using vexo::sim::VexoSim;

namespace {

QString LastLine(QTextEdit *view)
{
    QTextBlock b = view->document()->lastBlock();
    while (b.isValid() && b.text().isEmpty())
        b = b.previous();
    return b.text();
}

QColor LastLineColour(QTextEdit *view)
{
    QTextBlock b = view->document()->lastBlock();
    while (b.isValid() && b.text().isEmpty())
        b = b.previous();
    return b.begin().fragment().charFormat().foreground().color();
}

// Once the file dialog shows, picks `path` in it and accepts it; what the
// dialog was captioned is kept.
void AnswerDialog(const QString &path, QString *caption)
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, path, caption] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        *caption = dialog->windowTitle();
        // Typed into the name box as the operator does: selectFile leaves a
        // box that has the focus as it is.
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (!name)
            return;
        name->setText(path);
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept, as its button runs it
        poll->deleteLater();
    });
    poll->start(10);
}

class MainProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConnectSerialToEventLoop();
        ASSERT_TRUE(cwd.isValid());
        oldCwd = QDir::currentPath();
        QDir::setCurrent(cwd.path());
        Options o;
        o.setupWindow = false;
        sim = std::make_unique<VexoSim>(std::move(o));
        window = std::make_unique<TfAT_Vexo>();
        window->show();
        log = window->findChild<QTextEdit *>("reWin");
        window->findChild<QComboBox *>("cbRSname")->setEditText(QString::fromStdString(sim->DevicePath()));
        ASSERT_TRUE(log);
    }
    void TearDown() override
    {
        for (QTextBlock b = log->document()->begin(); b.isValid(); b = b.next())
            if (!b.text().isEmpty())
                std::cout << "  log: " << b.text().toStdString() << '\n';
        window.reset();
        sim.reset();
        QDir::setCurrent(oldCwd);
    }
    QString Box(const char *name) const { return window->findChild<QComboBox *>(name)->currentText(); }
    QString Address() const { return QString::fromStdString(window->Text("seAdrModBus")); }
    bool Flag() const { return window->findChild<QCheckBox *>("chKLV707")->isChecked(); }
    // Presses a sequence's button and waits for the sequence to end.
    bool RunSequence(QAbstractButton *button)
    {
        button->click();
        const TSequences &running = window->Engine().Sequences();
        return running.Running() != TSequenceKind::None &&
               WaitFor([&] { return running.Running() == TSequenceKind::None; }, 20000);
    }

    QTemporaryDir cwd;
    QString oldCwd;
    std::unique_ptr<VexoSim> sim;
    std::unique_ptr<TfAT_Vexo> window;
    QTextEdit *log = nullptr;
};

} // namespace

TEST_F(MainProfileTest, OpenWriteAllReadBackCompareAndSaveThroughTheDialogs)
{
    const QString file = cwd.filePath(QStringLiteral("site.txt"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("# prepared in the office\nformat = AT_Vexo 1\nparams_4_8_9 = 1\nio_speed = 9600\n"
                "rs232_speed = 38400\nprinter_speed = 9600\nmodbus_address = 17\nklv707 = 1\n");
    }
    auto *open = window->findChild<QPushButton *>("bOpenProfile");
    auto *save = window->findChild<QPushButton *>("bSaveProfile");
    auto *compare = window->findChild<QPushButton *>("bCompare");
    auto *writeAll = window->findChild<QToolButton *>("TB_WriteAll");
    auto *readAll = window->findChild<QToolButton *>("TB_ReadAll");
    ASSERT_TRUE(open && save && compare && writeAll && readAll);
    EXPECT_TRUE(window->findChild<QShortcut *>("bOpenProfileKey")) << "Ctrl+O";
    EXPECT_TRUE(window->findChild<QShortcut *>("bCompareKey")) << "F8";

    QString caption;
    AnswerDialog(file, &caption);
    open->click();
    EXPECT_EQ(caption, U("Открыть параметры Vexo"));
    EXPECT_EQ(Box("cbSpeed_Cor"), U("9600"));
    EXPECT_EQ(Box("cbSpeed_SeA"), U("38400"));
    EXPECT_EQ(Box("cbSpeed_SeA_Prn"), U("9600"));
    EXPECT_EQ(Address(), U("17"));
    EXPECT_TRUE(Flag());
    EXPECT_TRUE(LastLine(log).startsWith(U("параметры открыты из файла \"") + file + '"')) << LastLine(log).toStdString();
    EXPECT_TRUE(sim->Requests().empty()) << "nothing is sent on opening";

    ASSERT_TRUE(RunSequence(writeAll));
    EXPECT_EQ(LastLine(log), U("запись всех параметров \"Vexo\" с проверкой из файла \"") + file +
                                 U("\": совпадает - скорость \"I/O\", скорость \"RS232\", скорость принтера, "
                                   "адрес \"ModBus\", флаг \"КЛВ-707\""));
    EXPECT_EQ(LastLineColour(log), QColor(0, 128, 0));
    EXPECT_EQ(sim->Stored(0), 3);
    EXPECT_EQ(sim->Stored(8), 17);

    // Back to the design values, then read back from the unit.
    window->SetText("cbSpeed_Cor", "19200");
    window->SetText("seAdrModBus", "1");
    ASSERT_TRUE(RunSequence(readAll));
    EXPECT_EQ(Box("cbSpeed_Cor"), U("9600"));
    EXPECT_EQ(Address(), U("17"));
    EXPECT_TRUE(Flag());

    ASSERT_TRUE(RunSequence(compare));
    EXPECT_TRUE(LastLine(log).startsWith(U("сравнение параметров с \"Vexo\" из файла \"") + file + '"'))
        << LastLine(log).toStdString();
    EXPECT_EQ(LastLineColour(log), QColor(0, 128, 0));

    const QString copy = cwd.filePath(QStringLiteral("next-unit.txt"));
    AnswerDialog(copy, &caption);
    save->click();
    EXPECT_EQ(caption, U("Сохранить параметры Vexo"));
    QFile saved(copy);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    std::cout << "  saved file:\n" << bytes.toStdString(); // for the record
    EXPECT_TRUE(bytes.contains("\r\nmodule = Vexo v03.17\r\n")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("\r\nio_speed = 9600\r\n"));
    EXPECT_TRUE(bytes.contains("\r\nparams_4_8_9 = 1\r\n"));
    EXPECT_EQ(LastLine(log).left(28), U("параметры сохранены в файл \"").left(28));
}
