// The platform's picture decoding with the program's caps: the pictures
// built in decode at their own size; damaged, foreign and oversized data is
// refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "Pictures.h"
#include "VexoGlyphs.h"
#include "WinText.h"

namespace {

std::vector<unsigned char> Resource(const wchar_t *name)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC res = FindResourceW(module, name, MAKEINTRESOURCEW(10));
    if (!res)
        return {};
    const auto *data = static_cast<const unsigned char *>(LockResource(LoadResource(module, res)));
    return {data, data + SizeofResource(module, res)};
}

struct TDecoded {
    TPicture picture;
    std::string error;
    explicit TDecoded(const std::vector<unsigned char> &data)
    {
        picture = DecodePicture(data.data(), data.size(), &error);
    }
    ~TDecoded()
    {
        if (picture.bitmap)
            DeleteObject(picture.bitmap);
    }
};

} // namespace

TEST(Pictures, BuiltInPicturesDecodeAtTheirOwnSize)
{
    struct {
        const wchar_t *name;
        int w, h;
    } const cases[] = {{L"HELP_VEXO", 594, 380}, {L"ABOUT_LOGO", 173, 164}, {L"TB0", 16, 16},
                       {L"TB6", 16, 16},         {L"OK", 18, 18},           {L"SCANNER_DISABLED", 20, 20}};
    for (const auto &c : cases) {
        TDecoded d(Resource(c.name));
        EXPECT_NE(d.picture.bitmap, nullptr) << d.error;
        EXPECT_EQ(d.picture.width, c.w);
        EXPECT_EQ(d.picture.height, c.h);
        EXPECT_TRUE(d.error.empty());
    }
}

// The pictures built in as pixels (gen_glyphs.py) are those the platform's
// decoder makes of the same PNGs, a rounding step apart at most, and the
// program's loader hands out those pixels.
TEST(Pictures, BuiltInPixelsAreThePlatformsDecodingOfThePngs)
{
    const auto pixels = [](HBITMAP bitmap) {
        DIBSECTION dib{};
        EXPECT_EQ(GetObjectW(bitmap, sizeof dib, &dib), static_cast<int>(sizeof dib));
        const auto *p = static_cast<const std::uint32_t *>(dib.dsBm.bmBits);
        return std::vector<std::uint32_t>(p, p + dib.dsBm.bmWidth * dib.dsBm.bmHeight);
    };
    ASSERT_EQ(std::size(vexo_glyphs::kGlyphs), 15u); // TB0-TB10, SCANNER, OK and their disabled forms
    for (const auto &glyph : vexo_glyphs::kGlyphs) {
        SCOPED_TRACE(Utf8(glyph.name));
        TDecoded png(Resource(glyph.name));
        ASSERT_NE(png.picture.bitmap, nullptr) << png.error;
        ASSERT_EQ(png.picture.width, glyph.width);
        ASSERT_EQ(png.picture.height, glyph.height);
        std::string error = "unset";
        TPicture loaded = LoadPictureResource(glyph.name, &error);
        ASSERT_NE(loaded.bitmap, nullptr);
        EXPECT_TRUE(error.empty());
        EXPECT_EQ(loaded.width, glyph.width);
        EXPECT_EQ(loaded.height, glyph.height);
        const auto decoded = pixels(png.picture.bitmap), built = pixels(loaded.bitmap);
        DeleteObject(loaded.bitmap);
        ASSERT_EQ(built.size(), decoded.size());
        int opaque = 0, apart = 0;
        for (size_t i = 0; i < built.size(); ++i) {
            opaque += (built[i] >> 24) == 0xFF;
            for (int shift = 0; shift < 32; shift += 8)
                apart += std::abs(static_cast<int>((built[i] >> shift) & 0xFF) -
                                static_cast<int>((decoded[i] >> shift) & 0xFF)) > 1;
        }
        EXPECT_EQ(apart, 0);
        EXPECT_GT(opaque, 0); // a picture, not an empty frame
    }
}

TEST(Pictures, ForeignDamagedAndOversizedDataIsRefused)
{
    const std::vector<unsigned char> jpeg = Resource(L"HELP_VEXO");
    ASSERT_GT(jpeg.size(), 1000u);

    // random bytes behind a JPEG start marker
    std::vector<unsigned char> junk = {0xFF, 0xD8, 0xFF, 0xE0};
    std::uint32_t x = 12345;
    for (int i = 0; i < 4000; ++i) {
        x = x * 1103515245u + 12345u;
        junk.push_back(static_cast<unsigned char>(x >> 24));
    }
    // a header that claims 60000 x 60000 pixels (SOF0 height and width)
    std::vector<unsigned char> huge = jpeg;
    for (size_t i = 0; i + 9 < huge.size(); ++i) {
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = 0xEA, huge[i + 6] = 0x60, huge[i + 7] = 0xEA, huge[i + 8] = 0x60;
            break;
        }
    }
    // cut off in the middle of the picture data
    const std::vector<unsigned char> truncated(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() / 2));
    const std::vector<unsigned char> text = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'};
    for (const auto *data : std::initializer_list<const std::vector<unsigned char> *>{&junk, &huge, &truncated, &text}) {
        TDecoded d(*data);
        EXPECT_EQ(d.picture.bitmap, nullptr);
        EXPECT_FALSE(d.error.empty());
    }
    EXPECT_EQ(DecodePicture(nullptr, 0).bitmap, nullptr);
    // bigger than the cap: refused before the decoder sees it
    std::string error;
    EXPECT_EQ(DecodePicture(jpeg.data(), kPictureMaxBytes + 1, &error).bitmap, nullptr);
    EXPECT_EQ(error, "picture data too large");
}

TEST(Resources, IconOf32PixelsAnd16ColoursAndVersion103)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HICON icon = static_cast<HICON>(LoadImageW(module, L"MAINICON", IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour{};
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, 32);
    EXPECT_EQ(colour.bmHeight, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    // the icon resource itself: 16 colours
    HRSRC group = FindResourceW(module, L"MAINICON", MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const auto *dir = static_cast<const unsigned char *>(LockResource(LoadResource(module, group)));
    EXPECT_EQ(dir[6], 32); // width of the first entry
    EXPECT_EQ(dir[8], 16); // colour count

    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<unsigned char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, (VEXO_VERSION_MAJOR << 16) | VEXO_VERSION_MINOR);
    wchar_t *text = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\041904E3\\FileVersion",
                               reinterpret_cast<void **>(&text), &length));
    EXPECT_STREQ(text, L"" VEXO_PROJECT_VERSION);
}

// Windows refuses to start a program whose manifest names another processor
// than its own (the side-by-side configuration is "incorrect").
TEST(Resources, ManifestNamesTheProgramsOwnProcessor)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)); // RT_MANIFEST
    ASSERT_NE(res, nullptr);
    const auto *data = static_cast<const char *>(LockResource(LoadResource(module, res)));
    const std::string manifest(data, SizeofResource(module, res));
    const std::string own = R"(name="AT_Vexo" version="1.3.0.0" processorArchitecture=")";
    const size_t at = manifest.find(own);
    ASSERT_NE(at, std::string::npos) << manifest;
    const std::string arch = manifest.substr(at + own.size(), manifest.find('"', at + own.size()) - at - own.size());
    EXPECT_EQ(arch, sizeof(void *) == 4 ? "x86" : "amd64");
}
