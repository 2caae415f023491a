#include "Pictures.h"

#include <cstdint>
#include <cstring>
#include <cwchar>

#include <objbase.h>
#include <wincodec.h>

#include "VexoGlyphs.h"

namespace {

template <typename T>
struct TComPtr {
    T *p = nullptr;
    ~TComPtr()
    {
        if (p)
            p->Release();
    }
    T **operator&() { return &p; }
    T *operator->() const { return p; }
};

TPicture Fail(std::string *error, const char *why)
{
    if (error)
        *error = why;
    return {};
}

// The picture's size from its header (JPEG start-of-frame, PNG IHDR), read
// here rather than by the decoder: some decoders allocate all pixels when
// they open a frame, before the size can be judged.
bool HeaderSize(const unsigned char *p, size_t n, unsigned &w, unsigned &h)
{
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (n >= 24 && std::memcmp(p, kPng, 8) == 0 && std::memcmp(p + 12, "IHDR", 4) == 0) {
        w = (p[16] << 24) | (p[17] << 16) | (p[18] << 8) | p[19];
        h = (p[20] << 24) | (p[21] << 16) | (p[22] << 8) | p[23];
        return true;
    }
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return false;
    size_t i = 2;
    while (i + 4 <= n) {
        if (p[i] != 0xFF)
            return false;
        const unsigned char marker = p[i + 1];
        if (marker == 0xFF) { // fill byte
            ++i;
            continue;
        }
        const size_t length = (p[i + 2] << 8) | p[i + 3];
        const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (i + 9 > n || length < 7)
                return false;
            h = (p[i + 5] << 8) | p[i + 6];
            w = (p[i + 7] << 8) | p[i + 8];
            return true;
        }
        if (marker == 0xD9 || marker == 0xDA || length < 2)
            return false; // image data or the end before any frame header
        i += 2 + length;
    }
    return false;
}

} // namespace

TPicture DecodePicture(const void *data, size_t size, std::string *error)
{
    if (!data || size == 0)
        return Fail(error, "no picture data");
    if (size > kPictureMaxBytes)
        return Fail(error, "picture data too large");
    unsigned headerW = 0, headerH = 0;
    if (!HeaderSize(static_cast<const unsigned char *>(data), size, headerW, headerH))
        return Fail(error, "not a JPEG or PNG picture");
    // judged from the header, before any pixel memory is taken
    if (headerW == 0 || headerH == 0 || headerW > kPictureMaxSide || headerH > kPictureMaxSide ||
        static_cast<long long>(headerW) * headerH > kPictureMaxPixels)
        return Fail(error, "picture too large");
    // COM for this thread; a thread that has it already keeps its own model
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    struct TUninit {
        bool on;
        ~TUninit()
        {
            if (on)
                CoUninitialize();
        }
    } uninit{SUCCEEDED(init)};

    TPicture picture;
    {
        TComPtr<IWICImagingFactory> factory;
        TComPtr<IWICStream> stream;
        TComPtr<IWICBitmapDecoder> decoder;
        TComPtr<IWICBitmapFrameDecode> frame;
        TComPtr<IWICFormatConverter> converter;
        if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory, reinterpret_cast<void **>(&factory))))
            return Fail(error, "no imaging component");
        if (FAILED(factory->CreateStream(&stream)) ||
            FAILED(stream->InitializeFromMemory(static_cast<BYTE *>(const_cast<void *>(data)),
                                                static_cast<DWORD>(size))))
            return Fail(error, "cannot read the picture data");
        if (FAILED(factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)))
            return Fail(error, "not a picture the platform can decode");
        if (FAILED(decoder->GetFrame(0, &frame)))
            return Fail(error, "damaged picture data");
        UINT w = 0, h = 0;
        if (FAILED(frame->GetSize(&w, &h)) || w == 0 || h == 0)
            return Fail(error, "damaged picture header");
        if (w != headerW || h != headerH || w > kPictureMaxSide || h > kPictureMaxSide ||
            static_cast<long long>(w) * h > kPictureMaxPixels)
            return Fail(error, "picture too large");
        if (FAILED(factory->CreateFormatConverter(&converter)) ||
            FAILED(converter->Initialize(frame.p, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                         0.0, WICBitmapPaletteTypeCustom)))
            return Fail(error, "unsupported picture format");

        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = static_cast<LONG>(w);
        bi.bmiHeader.biHeight = -static_cast<LONG>(h);
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void *bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!bitmap)
            return Fail(error, "out of memory for the picture");
        const UINT stride = w * 4;
        if (FAILED(converter->CopyPixels(nullptr, stride, stride * h, static_cast<BYTE *>(bits)))) {
            DeleteObject(bitmap);
            return Fail(error, "damaged picture data");
        }
        picture = {bitmap, static_cast<int>(w), static_cast<int>(h)};
    }
    if (error)
        error->clear();
    return picture;
}

TPicture PictureFromPixels(const std::uint32_t *pixels, int width, int height)
{
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return {};
    std::memcpy(bits, pixels, static_cast<size_t>(width) * height * 4);
    return {bitmap, width, height};
}

TPicture ScalePicture(const TPicture &picture, int width, int height)
{
    if (!picture.bitmap || width <= 0 || height <= 0)
        return {};
    DIBSECTION dib{};
    if (GetObjectW(picture.bitmap, sizeof dib, &dib) != sizeof dib || !dib.dsBm.bmBits || dib.dsBm.bmBitsPixel != 32)
        return {};
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    struct TUninit {
        bool on;
        ~TUninit()
        {
            if (on)
                CoUninitialize();
        }
    } uninit{SUCCEEDED(init)};
    TComPtr<IWICImagingFactory> factory;
    TComPtr<IWICBitmap> source;
    TComPtr<IWICBitmapScaler> scaler;
    const UINT stride = static_cast<UINT>(picture.width) * 4;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void **>(&factory))) ||
        FAILED(factory->CreateBitmapFromMemory(static_cast<UINT>(picture.width), static_cast<UINT>(picture.height),
                                               GUID_WICPixelFormat32bppPBGRA, stride,
                                               stride * static_cast<UINT>(picture.height),
                                               static_cast<BYTE *>(dib.dsBm.bmBits), &source)) ||
        FAILED(factory->CreateBitmapScaler(&scaler)) ||
        FAILED(scaler->Initialize(source.p, static_cast<UINT>(width), static_cast<UINT>(height),
                                  WICBitmapInterpolationModeFant)))
        return {};
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof bi.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return {};
    const UINT outStride = static_cast<UINT>(width) * 4;
    if (FAILED(scaler->CopyPixels(nullptr, outStride, outStride * static_cast<UINT>(height), static_cast<BYTE *>(bits)))) {
        DeleteObject(bitmap);
        return {};
    }
    return {bitmap, width, height};
}

TPicture LoadPictureResource(const wchar_t *name, std::string *error)
{
    // the small pictures come decoded already (gen_glyphs.py)
    for (const auto &glyph : vexo_glyphs::kGlyphs) {
        if (!IS_INTRESOURCE(name) && std::wcscmp(glyph.name, name) == 0) {
            TPicture picture = PictureFromPixels(glyph.pixels, glyph.width, glyph.height);
            if (error)
                *error = picture.bitmap ? "" : "out of memory for the picture";
            return picture;
        }
    }
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC res = FindResourceW(module, name, MAKEINTRESOURCEW(10)); // RT_RCDATA
    if (!res)
        return Fail(error, "picture resource missing");
    HGLOBAL handle = LoadResource(module, res);
    const void *data = handle ? LockResource(handle) : nullptr;
    return DecodePicture(data, SizeofResource(module, res), error);
}

HICON ProgramIcon(int size)
{
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, size, size, LR_SHARED));
}
