// JPEG loading, the shipped pictures and the compiled-in resources.
#include <gtest/gtest.h>

#include "JpegImage.h"
#include "Pictures.h"
#include "VexoAssets.h"

#include <cstdio>
#include <jpeglib.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>

#include <cstdlib>
#include <functional>
#include <vector>

namespace {

// ------------------------------------------------------------- test helpers

// Encodes raw samples with libjpeg; colour space and component count as given.
QByteArray Encode(int width, int height, int components, J_COLOR_SPACE space,
                  const std::vector<unsigned char> &samples, int quality = 95, bool progressive = false,
                  J_COLOR_SPACE stored = JCS_UNKNOWN)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    if (stored != JCS_UNKNOWN)
        jpeg_set_colorspace(&cinfo, stored);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + stride * cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray result(reinterpret_cast<const char *>(out), static_cast<qsizetype>(outSize));
    std::free(out);
    return result;
}

struct Rgb {
    int r, g, b;
};

// 64 x 64, four flat quadrants: red, green / blue, light grey.
const Rgb kQuadrants[4] = {{220, 30, 30}, {30, 200, 40}, {20, 40, 210}, {230, 230, 230}};

std::vector<unsigned char> QuadrantSamples()
{
    std::vector<unsigned char> s;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const Rgb &c = kQuadrants[(y >= 32 ? 2 : 0) + (x >= 32 ? 1 : 0)];
            s.push_back(static_cast<unsigned char>(c.r));
            s.push_back(static_cast<unsigned char>(c.g));
            s.push_back(static_cast<unsigned char>(c.b));
        }
    return s;
}

QByteArray QuadrantJpeg(bool progressive = false)
{
    return Encode(64, 64, 3, JCS_RGB, QuadrantSamples(), 95, progressive);
}

// Mean colour of a square well inside one quadrant.
Rgb MeanAt(const QImage &img, int cx, int cy, int half = 6)
{
    long r = 0, g = 0, b = 0, n = 0;
    for (int y = cy - half; y < cy + half; ++y)
        for (int x = cx - half; x < cx + half; ++x) {
            const QRgb p = img.pixel(x, y);
            r += qRed(p);
            g += qGreen(p);
            b += qBlue(p);
            ++n;
        }
    return {int(r / n), int(g / n), int(b / n)};
}

void ExpectQuadrants(const QImage &img)
{
    ASSERT_EQ(img.size(), QSize(64, 64));
    EXPECT_EQ(img.format(), QImage::Format_RGB888);
    for (int q = 0; q < 4; ++q) {
        const Rgb m = MeanAt(img, q % 2 ? 48 : 16, q >= 2 ? 48 : 16);
        EXPECT_NEAR(m.r, kQuadrants[q].r, 12) << "quadrant " << q;
        EXPECT_NEAR(m.g, kQuadrants[q].g, 12) << "quadrant " << q;
        EXPECT_NEAR(m.b, kQuadrants[q].b, 12) << "quadrant " << q;
    }
}

// Walks the marker segments up to the first scan and returns the first
// start-of-frame marker (0xC0 baseline, 0xC2 progressive, ...), its offset in
// *sofAt, or 0 when there is none.
int FrameMarker(const QByteArray &jpeg, qsizetype *sofAt = nullptr)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(jpeg.at(i)); };
    if (jpeg.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8)
        return 0;
    qsizetype i = 2;
    while (i + 4 <= jpeg.size()) {
        if (byte(i) != 0xFF)
            return 0;
        const int marker = byte(i + 1);
        const qsizetype length = (byte(i + 2) << 8) | byte(i + 3);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (sofAt)
                *sofAt = i;
            return marker;
        }
        if (marker == 0xDA)
            return 0;
        i += 2 + length;
    }
    return 0;
}

// Rewrites the picture size in the frame header.
QByteArray WithClaimedSize(QByteArray jpeg, int width, int height)
{
    qsizetype sof = -1;
    if (FrameMarker(jpeg, &sof) == 0)
        return QByteArray();
    // FF Cn, length(2), precision(1), height(2), width(2)
    jpeg[sof + 5] = char((height >> 8) & 0xFF);
    jpeg[sof + 6] = char(height & 0xFF);
    jpeg[sof + 7] = char((width >> 8) & 0xFF);
    jpeg[sof + 8] = char(width & 0xFF);
    return jpeg;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Refused means: a null image and a reason.
void ExpectRefused(const QByteArray &data, const char *what)
{
    QString error;
    const QImage img = DecodeJpeg(data, &error);
    EXPECT_TRUE(img.isNull()) << what;
    EXPECT_FALSE(error.isEmpty()) << what;
}

// ------------------------------------------------------------- shipped JPEGs

void CheckShipped(const QString &name, QSize size)
{
    const QString path = PicturePath(name);
    ASSERT_FALSE(path.isEmpty()) << qPrintable(name);
    QString error = "stale";
    const QImage img = LoadJpegFile(path, &error);
    ASSERT_FALSE(img.isNull()) << qPrintable(error);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(img.size(), size);

    const QByteArray bytes = ReadAll(path);
    EXPECT_EQ(FrameMarker(bytes), 0xC0) << qPrintable(name) << " is not a baseline JPEG";
    // the build's copy is the committed picture, not something stale
    EXPECT_EQ(bytes, ReadAll(QStringLiteral(VEXO_TEST_ASSETS_DIR "/") + name));
}

TEST(JpegShipped, HelpPhotoIsBaseline594x380)
{
    CheckShipped("help_vexo.jpg", QSize(594, 380));
}

TEST(JpegShipped, AboutLogoIsBaseline173x164BlackOnWhite)
{
    CheckShipped("about_logo.jpg", QSize(173, 164));
    const QImage img = LoadJpegFile(PicturePath("about_logo.jpg"));
    ASSERT_FALSE(img.isNull());
    int dark = 0, white = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const int g = qGray(img.pixel(x, y));
            dark += g < 50;
            white += g > 235;
        }
    const int all = img.width() * img.height();
    EXPECT_GT(dark, all / 10) << "no monogram";
    EXPECT_GT(white, all / 2) << "not on white";
    EXPECT_GT(qGray(img.pixel(1, 1)), 235);
    EXPECT_GT(qGray(img.pixel(171, 162)), 235);
}

TEST(JpegShipped, HelpPhotoShowsItsContentInTheVisiblePart)
{
    // the window shows only the top-left 589 x 312: it must not be empty there
    const QImage img = LoadJpegFile(PicturePath("help_vexo.jpg"));
    ASSERT_FALSE(img.isNull());
    QSet<QRgb> colours;
    for (int y = 0; y < 312; y += 3)
        for (int x = 0; x < 589; x += 3)
            colours.insert(img.pixel(x, y) & 0xF0F0F0);
    EXPECT_GT(colours.size(), 200);
}

// ------------------------------------------------------------- decoding

TEST(JpegDecode, KnownColoursSurviveBaselineAndProgressive)
{
    const QByteArray baseline = QuadrantJpeg();
    ASSERT_EQ(FrameMarker(baseline), 0xC0);
    QString error = "stale";
    ExpectQuadrants(DecodeJpeg(baseline, &error));
    EXPECT_TRUE(error.isEmpty());

    const QByteArray progressive = QuadrantJpeg(true);
    ASSERT_EQ(FrameMarker(progressive), 0xC2);
    ExpectQuadrants(DecodeJpeg(progressive, &error));
    EXPECT_TRUE(error.isEmpty()) << qPrintable(error);
}

TEST(JpegDecode, GrayscaleBecomesGreyRgb)
{
    std::vector<unsigned char> ramp;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 256; ++x)
            ramp.push_back(static_cast<unsigned char>(x));
    const QByteArray jpeg = Encode(256, 16, 1, JCS_GRAYSCALE, ramp);
    QString error;
    const QImage img = DecodeJpeg(jpeg, &error);
    ASSERT_FALSE(img.isNull()) << qPrintable(error);
    ASSERT_EQ(img.size(), QSize(256, 16));
    EXPECT_EQ(img.format(), QImage::Format_RGB888);
    for (int x = 4; x < 252; x += 16) {
        const QRgb p = img.pixel(x, 8);
        EXPECT_EQ(qRed(p), qGreen(p)) << x;
        EXPECT_EQ(qGreen(p), qBlue(p)) << x;
        EXPECT_NEAR(qRed(p), x, 6) << x;
    }
}

TEST(JpegDecode, AdobeCmykIsConvertedToRgb)
{
    // Adobe's convention, which libjpeg's marker announces: 255 = no ink.
    std::vector<unsigned char> cmyk;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool cyan = x >= 16;
            cmyk.insert(cmyk.end(), {static_cast<unsigned char>(cyan ? 0 : 255), 255, 255, 255});
        }
    const QByteArray jpeg = Encode(32, 16, 4, JCS_CMYK, cmyk, 95, false, JCS_CMYK);
    QString error;
    const QImage img = DecodeJpeg(jpeg, &error);
    ASSERT_FALSE(img.isNull()) << qPrintable(error);
    const Rgb paper = MeanAt(img, 8, 8, 4);
    const Rgb ink = MeanAt(img, 24, 8, 4);
    EXPECT_GT(paper.r, 240);
    EXPECT_GT(paper.g, 240);
    EXPECT_GT(paper.b, 240);
    EXPECT_LT(ink.r, 15);
    EXPECT_GT(ink.g, 240);
    EXPECT_GT(ink.b, 240);
}

TEST(JpegDecode, OddComponentCountIsRefused)
{
    std::vector<unsigned char> two(16 * 16 * 2, 100);
    const QByteArray jpeg = Encode(16, 16, 2, JCS_UNKNOWN, two);
    ASSERT_FALSE(jpeg.isEmpty());
    QString error;
    EXPECT_TRUE(DecodeJpeg(jpeg, &error).isNull());
    EXPECT_TRUE(error.contains("not supported")) << qPrintable(error);
}

TEST(JpegDecode, NonJpegInputsAreRefused)
{
    ExpectRefused(QByteArray(), "empty");
    ExpectRefused(QByteArray("\xFF\xD8", 2), "signature only");
    ExpectRefused(QByteArray("just some text, no picture"), "text");

    QRandomGenerator rng(12345);
    for (int round = 0; round < 20; ++round) {
        QByteArray noise(4096, '\0');
        for (auto &c : noise)
            c = char(rng.bounded(256));
        ExpectRefused(noise, "random bytes");
        // past the signature check, into the marker parser
        noise[0] = char(0xFF);
        noise[1] = char(0xD8);
        noise[2] = char(0xFF);
        ExpectRefused(noise, "random bytes after SOI");
    }

    QImage picture(20, 20, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "PNG"));
    QString error;
    EXPECT_TRUE(DecodeJpeg(png, &error).isNull());
    EXPECT_TRUE(error.contains("Not a JPEG file")) << qPrintable(error);
}

TEST(JpegDecode, EveryTruncationIsRefused)
{
    const QByteArray jpeg = QuadrantJpeg();
    ASSERT_FALSE(DecodeJpeg(jpeg).isNull());
    QString error;
    EXPECT_TRUE(DecodeJpeg(jpeg.left(jpeg.size() / 2), &error).isNull());
    EXPECT_TRUE(error.contains("Premature end of JPEG file")) << qPrintable(error);
    // every cut, down to the missing end-of-image marker
    for (qsizetype n = 0; n < jpeg.size(); n += (n < jpeg.size() - 16 ? 7 : 1))
        ExpectRefused(jpeg.left(n), qPrintable(QString("cut at %1").arg(n)));
}

TEST(JpegDecode, DamagedBytesNeverCrash)
{
    const QByteArray jpeg = QuadrantJpeg();
    QRandomGenerator rng(777);
    int refused = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray damaged = jpeg;
        const int hits = 1 + int(rng.bounded(4));
        for (int h = 0; h < hits; ++h)
            damaged[rng.bounded(int(damaged.size()))] = char(rng.bounded(256));
        QString error;
        const QImage img = DecodeJpeg(damaged, &error);
        // either a whole picture and no complaint, or nothing and a reason
        EXPECT_EQ(img.isNull(), !error.isEmpty()) << round << qPrintable(error);
        if (!img.isNull()) {
            EXPECT_EQ(img.format(), QImage::Format_RGB888);
        }
        refused += img.isNull();
    }
    EXPECT_GT(refused, 0);
}

TEST(JpegDecode, OversizedHeadersAreRefusedBeforeDecoding)
{
    const QByteArray jpeg = QuadrantJpeg();
    const struct {
        int w, h;
    } huge[] = {{60000, 60000}, {8193, 16}, {16, 8193}, {8192, 2049}, {4097, 4097}};
    for (const auto &s : huge) {
        const QByteArray claimed = WithClaimedSize(jpeg, s.w, s.h);
        ASSERT_FALSE(claimed.isEmpty());
        QString error;
        EXPECT_TRUE(DecodeJpeg(claimed, &error).isNull()) << s.w << "x" << s.h;
        EXPECT_TRUE(error.contains("too large")) << s.w << "x" << s.h << ": " << qPrintable(error);
    }
    // at the limit the size is allowed; the data, made for 64 x 64, then runs
    // out and the file is refused as damaged instead
    QString error;
    EXPECT_TRUE(DecodeJpeg(WithClaimedSize(jpeg, 8192, 2048), &error).isNull());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(error.contains("too large")) << qPrintable(error);
}

// ------------------------------------------------------------- files

TEST(JpegFile, LoadsWhatDecodeGives)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray jpeg = QuadrantJpeg();
    const QString path = dir.filePath("quadrants.jpg");
    ASSERT_TRUE(WriteAll(path, jpeg));
    QString error = "stale";
    const QImage fromFile = LoadJpegFile(path, &error);
    EXPECT_TRUE(error.isEmpty());
    ExpectQuadrants(fromFile);
    EXPECT_EQ(fromFile, DecodeJpeg(jpeg));
}

TEST(JpegFile, BadFilesAreRefusedWithTheirName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto refused = [](const QString &path, const char *what) {
        QString error;
        EXPECT_TRUE(LoadJpegFile(path, &error).isNull()) << what;
        EXPECT_TRUE(error.contains(QDir::toNativeSeparators(path))) << what << ": " << qPrintable(error);
    };

    refused(dir.filePath("missing.jpg"), "missing file");
    refused(dir.path(), "a folder");

    const QString empty = dir.filePath("empty.jpg");
    ASSERT_TRUE(WriteAll(empty, QByteArray()));
    refused(empty, "empty file");

    const QString png = dir.filePath("renamed_png.jpg");
    ASSERT_TRUE(WriteAll(png, ReadAll(":/pictures/tb2.png")));
    ASSERT_GT(QFileInfo(png).size(), 0);
    refused(png, "PNG named .jpg");

    const QString cut = dir.filePath("cut.jpg");
    const QByteArray jpeg = QuadrantJpeg();
    ASSERT_TRUE(WriteAll(cut, jpeg.left(jpeg.size() - 40)));
    refused(cut, "truncated file");

    // a sparse file: refused by its size alone
    const QString big = dir.filePath("big.jpg");
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.write(jpeg) == jpeg.size());
        ASSERT_TRUE(f.resize(kJpegMaxFileBytes + 1));
    }
    QString error;
    EXPECT_TRUE(LoadJpegFile(big, &error).isNull());
    EXPECT_TRUE(error.contains("larger than")) << qPrintable(error);

    EXPECT_TRUE(LoadJpegFile(QString(), &error).isNull());
    EXPECT_FALSE(error.isEmpty());
}

// ------------------------------------------------------------- PicturePath

TEST(JpegPicturePath, FindsTheBuildTreeCopies)
{
    for (const char *name : {"help_vexo.jpg", "about_logo.jpg"}) {
        const QString expected = QDir::cleanPath(QStringLiteral(VEXO_TEST_SHARE_DIR "/") + name);
        EXPECT_EQ(PicturePath(name), expected);
    }
}

TEST(JpegPicturePath, UnknownOrPathLikeNamesGiveNothing)
{
    EXPECT_TRUE(PicturePath("no_such_picture.jpg").isEmpty());
    EXPECT_TRUE(PicturePath(QString()).isEmpty());
    EXPECT_TRUE(PicturePath("../at_vexo/help_vexo.jpg").isEmpty());
    EXPECT_TRUE(PicturePath(QStringLiteral(VEXO_TEST_SHARE_DIR "/help_vexo.jpg")).isEmpty());
}

TEST(JpegPicturePath, ProgramFolderLayoutComesFirst)
{
    const QString name = QString("probe_%1.jpg").arg(QCoreApplication::applicationPid());
    const QString besideProgram = QCoreApplication::applicationDirPath() + "/../share/at_vexo";
    const bool madeFolder = !QDir(besideProgram).exists();
    ASSERT_TRUE(QDir().mkpath(besideProgram));
    const QString first = QDir::cleanPath(besideProgram + "/" + name);
    const QString second = QDir::cleanPath(QStringLiteral(VEXO_TEST_SHARE_DIR "/") + name);
    const auto cleanup = qScopeGuard([&] {
        QFile::remove(first);
        QFile::remove(second);
        if (madeFolder) {
            QDir().rmdir(besideProgram);
            QDir().rmdir(QFileInfo(besideProgram).path());
        }
    });
    ASSERT_NE(first, second);

    ASSERT_TRUE(WriteAll(second, "b"));
    EXPECT_EQ(PicturePath(name), second);
    ASSERT_TRUE(WriteAll(first, "a"));
    EXPECT_EQ(PicturePath(name), first);
}

// ------------------------------------------------------------- resources

class JpegResources : public testing::Test {
protected:
    static void SetUpTestSuite() { InitVexoAssets(); }
    static QImage Load(const QString &path) { return QImage(path).convertToFormat(QImage::Format_ARGB32); }
    static int Count(const QImage &img, const std::function<bool(QRgb)> &pred)
    {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += pred(img.pixel(x, y));
        return n;
    }
    static bool Red(QRgb c) { return qAlpha(c) > 200 && qRed(c) > 150 && qGreen(c) < 90 && qBlue(c) < 90; }
    static bool Yellow(QRgb c)
    {
        return qAlpha(c) > 200 && qRed(c) > 200 && qGreen(c) > 160 && qBlue(c) < 120;
    }
    static bool Green(QRgb c) { return qAlpha(c) > 200 && qGreen(c) > 110 && qRed(c) < 120 && qBlue(c) < 100; }
};

TEST_F(JpegResources, EveryPictureIsThereAtItsSize)
{
    InitVexoAssets(); // a second call must not disturb anything
    const struct {
        const char *path;
        int side;
    } pictures[] = {
        {":/pictures/icon.png", 32},          {":/pictures/icon.ico", 32},
        {":/pictures/tb0.png", 16},           {":/pictures/tb1.png", 16},
        {":/pictures/tb2.png", 16},           {":/pictures/tb3.png", 16},
        {":/pictures/tb4.png", 16},           {":/pictures/tb5.png", 16},
        {":/pictures/tb6.png", 16},           {":/pictures/scanner.png", 20},
        {":/pictures/scanner_disabled.png", 20}, {":/pictures/ok.png", 18},
        {":/pictures/ok_disabled.png", 18},
    };
    for (const auto &p : pictures) {
        const QImage img(p.path);
        ASSERT_FALSE(img.isNull()) << p.path;
        EXPECT_EQ(img.size(), QSize(p.side, p.side)) << p.path;
    }
    // the run-time pictures are not compiled in
    EXPECT_FALSE(QFile::exists(":/pictures/help_vexo.jpg"));
    EXPECT_FALSE(QFile::exists(":/pictures/about_logo.jpg"));
}

TEST_F(JpegResources, IconIsSixteenColoursBlackOnWhite)
{
    const QImage icon = Load(":/pictures/icon.png");
    QSet<QRgb> colours;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            colours.insert(icon.pixel(x, y));
    EXPECT_LE(colours.size(), 16);
    EXPECT_TRUE(colours.contains(qRgb(0, 0, 0)));
    EXPECT_TRUE(colours.contains(qRgb(255, 255, 255)));
    EXPECT_EQ(Count(icon, [](QRgb c) { return qAlpha(c) != 255; }), 0);
    EXPECT_GT(Count(icon, [](QRgb c) { return qGray(c) < 60; }), 32 * 32 / 5);
    EXPECT_GT(Count(icon, [](QRgb c) { return qGray(c) > 230; }), 32 * 32 / 3);
}

TEST_F(JpegResources, IcoIsAFourBitIconOfTheSamePicture)
{
    const QByteArray ico = ReadAll(":/pictures/icon.ico");
    ASSERT_GE(ico.size(), 6 + 16 + 40);
    const auto u8 = [&](int i) { return static_cast<unsigned char>(ico.at(i)); };
    const auto u16 = [&](int i) { return u8(i) | (u8(i + 1) << 8); };
    const auto u32 = [&](int i) { return quint32(u16(i)) | (quint32(u16(i + 2)) << 16); };
    EXPECT_EQ(u16(0), 0);
    EXPECT_EQ(u16(2), 1); // an icon, not a cursor
    EXPECT_EQ(u16(4), 1);
    EXPECT_EQ(u8(6), 32);
    EXPECT_EQ(u8(7), 32);
    EXPECT_EQ(u8(8), 16);
    EXPECT_EQ(u16(12), 4);
    const quint32 size = u32(14), offset = u32(18);
    ASSERT_EQ(offset, 22u);
    EXPECT_EQ(offset + size, quint32(ico.size()));
    EXPECT_EQ(u32(22), 40u);   // BITMAPINFOHEADER
    EXPECT_EQ(u32(26), 32u);
    EXPECT_EQ(u32(30), 64u);   // picture and mask
    EXPECT_EQ(u16(36), 4);     // bits per pixel
    EXPECT_EQ(u32(38), 0u);    // uncompressed
    // 16 palette entries, 32 rows of 16 bytes, 32 mask rows of 4 bytes
    EXPECT_EQ(size, 40u + 64u + 512u + 128u);

    // an independent reader sees the same pixels as in the PNG
    const QImage fromIco = QImage::fromData(ico, "ICO").convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(fromIco.isNull());
    const QImage png = Load(":/pictures/icon.png");
    ASSERT_EQ(fromIco.size(), png.size());
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(fromIco.pixel(x, y), png.pixel(x, y)) << x << "," << y;
}

TEST_F(JpegResources, ToolbarPicturesShowTheirColoursOnTransparency)
{
    for (int i = 0; i < 7; ++i) {
        const QImage img = Load(QString(":/pictures/tb%1.png").arg(i));
        EXPECT_GT(Count(img, [](QRgb c) { return qAlpha(c) == 0; }), 0) << i;
        EXPECT_GT(Count(img, [](QRgb c) { return qAlpha(c) == 255; }), 40) << i;
    }
    const QImage about = Load(":/pictures/tb2.png");
    EXPECT_GT(Count(about, Yellow), 30);
    EXPECT_GT(Count(about, Red), 10);
    const QImage help = Load(":/pictures/tb4.png");
    EXPECT_GT(Count(help, Red), 10);
    const QImage brush = Load(":/pictures/tb6.png");
    EXPECT_GT(Count(brush, Yellow), 5);
    EXPECT_GT(Count(brush, Red), 10);
}

TEST_F(JpegResources, DisabledTwinsAreGreyCopies)
{
    const struct {
        const char *enabled, *disabled;
        bool (*colour)(QRgb);
    } twins[] = {{":/pictures/scanner.png", ":/pictures/scanner_disabled.png", &Red},
                 {":/pictures/ok.png", ":/pictures/ok_disabled.png", &Green}};
    for (const auto &t : twins) {
        const QImage on = Load(t.enabled);
        const QImage off = Load(t.disabled);
        ASSERT_EQ(on.size(), off.size());
        EXPECT_GT(Count(on, t.colour), 20) << t.enabled;
        EXPECT_EQ(Count(off, [](QRgb c) { return qAlpha(c) > 0 && (qRed(c) != qGreen(c) || qGreen(c) != qBlue(c)); }),
                  0)
            << t.disabled;
        // the grey glyph covers what the coloured one covers
        for (int y = 0; y < on.height(); ++y)
            for (int x = 0; x < on.width(); ++x)
                if (qAlpha(on.pixel(x, y)) == 255) {
                    EXPECT_GT(qAlpha(off.pixel(x, y)), 200) << t.disabled << " " << x << "," << y;
                }
    }
}

} // namespace
