// Draws every picture of the program and writes them into one folder
// (default: the assets folder). The outputs are committed, so the normal
// build never runs this; rerun it after changing a drawing.
//
//   make_artwork [output-folder] [--preview folder]
//
// --preview also writes enlarged PNG copies (and PNG copies of the JPEGs)
// for looking at the pictures.

#include "Artwork.h"

#include <QDir>
#include <QGuiApplication>

#include <iterator>

#ifndef VEXO_ASSETS_SOURCE_DIR
#define VEXO_ASSETS_SOURCE_DIR "."
#endif

using namespace artwork;

namespace {

bool SaveIcons(Output &out)
{
    bool ok = true;
    const QImage icon = ToSixteenGreys(IconTrueColour(32));
    ok &= SavePng(out, icon, "icon.png");
    ok &= SaveIco16Colours(out, icon, "icon.ico");
    ok &= SavePng(out, IconTrueColour(48).convertToFormat(QImage::Format_RGB32), "icon_48.png");
    ok &= SavePng(out, IconTrueColour(128).convertToFormat(QImage::Format_RGB32), "icon_128.png");
    return ok;
}

bool SaveButtons(Output &out)
{
    bool ok = true;
    const QImage toolbar[] = {TbExit(), TbClosedDoor(), TbAbout(), TbInfo(),   TbHelp(),
                              TbClosedBook(), TbBrush(), TbWait(), TbReadAll(), TbWriteAll(), TbSaveLog()};
    for (int i = 0; i < int(std::size(toolbar)); ++i)
        ok &= SavePng(out, toolbar[i].convertToFormat(QImage::Format_ARGB32), QString("tb%1.png").arg(i));

    const QImage scanner = ScannerGlyph();
    ok &= SavePng(out, scanner.convertToFormat(QImage::Format_ARGB32), "scanner.png");
    ok &= SavePng(out, DisabledTwin(scanner), "scanner_disabled.png");
    const QImage check = OkGlyph();
    ok &= SavePng(out, check.convertToFormat(QImage::Format_ARGB32), "ok.png");
    ok &= SavePng(out, DisabledTwin(check), "ok_disabled.png");
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    Output out;
    out.dir = QString::fromUtf8(VEXO_ASSETS_SOURCE_DIR);
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--preview" && i + 1 < args.size())
            out.previewDir = args[++i];
        else
            out.dir = args[i];
    }
    if (!QDir().mkpath(out.dir) || (!out.previewDir.isEmpty() && !QDir().mkpath(out.previewDir)))
        return Fail("cannot create the output folders"), 1;

    bool ok = SaveIcons(out);
    ok &= SaveButtons(out);
    ok &= SaveJpeg(out, HelpPhoto(), "help_vexo.jpg", 90);
    ok &= SaveJpeg(out, AboutLogo(), "about_logo.jpg", 92);
    if (!out.previewDir.isEmpty())
        SaveSheet(out);
    return ok ? 0 : 1;
}
