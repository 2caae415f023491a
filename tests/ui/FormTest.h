// Shared by the help and about window tests: the design texts, a fixture
// that resets the windows' hooks, a modal-loop driver and pixel helpers.
#pragma once

#include <gtest/gtest.h>
#include "About.h"
#include "Fonts.h"
#include "HelpATVexo.h"
#include "JpegImage.h"
#include "Pictures.h"
#include "VexoAssets.h"
#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QFrame>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>
#include <functional>
#include <stdexcept>
#include <vector>

namespace formtest {

// Texts as the design gives them, one entry a line.
inline const char *const kWarning[] = {
    "Внимание!!! у \"Vexo\", “AT” команды доступны по порту корректора, только в течении ",
    "7 сек после включения питания Vexo. Скорость работы по порту \"19200\"!!!",
};

inline const char *const kHelp[] = {
    "Компьютер   и   Vexo   соединяются “нуль - модемным”  кабелем   (Zero-modem ",
    "или  Z-modem),  имеющим   на   обоих   концах   розетки ,  контакты   которых   ",
    "соединяются  по   схеме :    ",
    "                  Vexo                                                       ",
    "Соединитель   компьютера  ",
    "       контакт  DB9 (« ВУ »)                                                   DB9    ",
    "                        3-------------------------------------------------------2                 ",
    "                        2-------------------------------------------------------3        ",
    "                        5-------------------------------------------------------5        ",
    "",
    "",
    "“AT” команды Vexo:",
    "",
    "ATI0 - запрос версии модема, продлевает время настройки на 30сек;",
    "AT команды  настройки Vexo: AT+xKPVx=Y,",
    " где:",
    "   x<0..99> - номер параметра, Y<0..65535> - значение параметра",
    "   x=3  - интерфейс “шлюз”, Y=0-7 - номер скорости обмена: 0..7 (1200..115200)",
    "   x=4  - интерфейс принтера (только для вычислителей “тетрамакс”), Y=0-7 - номер ",
    "скорости обмена",
    "   x=8  - AdrMBus (только для вычислителей “тетрамакс”), Y=1-254 - адрес на шине ",
    "ModBus (AT+xKPV8=88).",
};

inline QStringList Lines(const char *const *begin, const char *const *end)
{
    QStringList out;
    for (auto it = begin; it != end; ++it)
        out << QString::fromUtf8(*it);
    return out;
}

// Screen of the test platform: 1280 x 1024, no window frames.
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;

class UiTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        InitVexoAssets();
        InstallFontSubstitutions();
    }
    void TearDown() override
    {
        TfHelpATVexo::SetPictureLookup({});
        TAboutForm::SetPictureLookup({});
        TAboutForm::SetUrlOpener({});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

enum class AfterDuring { Close, LeaveOpen };

// Runs `open`, which blocks in a modal loop, with `during` called from inside
// that loop. A window `during` leaves open is closed afterwards unless told
// otherwise; a watchdog ends a loop that would never return. True when
// `during` ran and nothing hung.
inline bool RunModal(const std::function<void()> &open, const std::function<void()> &during,
              AfterDuring after = AfterDuring::Close)
{
    bool ran = false;
    bool hung = false;
    QTimer::singleShot(0, qApp, [&] {
        ran = true;
        during();
        if (QWidget *modal = QApplication::activeModalWidget(); modal && after == AfterDuring::Close)
            modal->close();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        hung = true;
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    watchdog.start(30000);
    open();
    return ran && !hung;
}

inline QColor TextColour(const QWidget *w, QPalette::ColorRole role = QPalette::WindowText)
{
    return w->palette().color(role);
}

inline bool IsGreen(QRgb c)
{
    return qGreen(c) > qRed(c) + 50 && qGreen(c) > qBlue(c) + 50;
}

// Bounding box of the pixels that pass `test`.
inline QRect Extent(const QImage &img, const std::function<bool(QRgb)> &test, const QRect &within = QRect())
{
    const QRect area = within.isNull() ? img.rect() : within & img.rect();
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (test(img.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

inline QImage Grab(QWidget *w)
{
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Writes `bytes` to a file in `dir` and returns its path.
inline QString WriteFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

} // namespace formtest

using namespace formtest;
