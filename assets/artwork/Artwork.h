// The pictures of the program, drawn by make_artwork, and what their drawers
// share: where the files go and a few painting helpers.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPair>
#include <QPointF>
#include <QString>

#include <functional>

namespace artwork {

// Where the pictures go. With a preview folder, enlarged copies go there too,
// and the small pictures are kept for one sheet showing them all.
struct Output {
    QString dir;
    QString previewDir;
    QList<QPair<QString, QImage>> smallPictures;
};

// ---------------------------------------------------------------- files

bool Fail(const QString &what);
bool SavePng(Output &out, const QImage &img, const QString &name);
bool SaveJpeg(const Output &out, const QImage &src, const QString &name, int quality);
bool SaveIco16Colours(const Output &out, const QImage &indexed, const QString &name);
void SaveSheet(const Output &out);

// ---------------------------------------------------------------- painting

QImage Transparent(int w, int h);
// A transparent w x h picture, drawn antialiased by `draw`.
QImage Glyph(int w, int h, const std::function<void(QPainter &)> &draw);
QImage DisabledTwin(const QImage &glyph);
void DropShadow(QPainter &p, const QPainterPath &shape, QPointF offset, int blur, int alpha);
void AddGrain(QImage &img, int amount, quint32 seed);
QFont Font(const QString &family, double pixels, bool bold = false, bool italic = false);

// ---------------------------------------------------------------- pictures

QImage IconTrueColour(int size);
QImage ToSixteenGreys(const QImage &img);
QImage AboutLogo();

QImage TbExit();
QImage TbClosedDoor();
QImage TbAbout();
QImage TbInfo();
QImage TbHelp();
QImage TbClosedBook();
QImage TbBrush();
// ToolbarSequences.cpp
QImage TbWait();
QImage TbReadAll();
QImage TbWriteAll();
QImage TbSaveLog();

QImage ScannerGlyph();
QImage OkGlyph();

QImage HelpPhoto();

} // namespace artwork
