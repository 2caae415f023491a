// The program's pictures, kept in the .exe as resources and decoded by the
// platform (WIC): the JPEG photograph and logo, the PNG toolbar and button
// pictures. Damaged or oversized data is refused, never shown half-decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <windows.h>

inline constexpr int kPictureMaxSide = 8192;
inline constexpr long long kPictureMaxPixels = 16LL * 1024 * 1024;
inline constexpr size_t kPictureMaxBytes = 32u * 1024 * 1024;

// A 32-bit top-down DIB section (premultiplied BGRA) of the picture's own
// size; null with a one-line reason in *error on failure.
struct TPicture {
    HBITMAP bitmap = nullptr;
    int width = 0, height = 0;
};
TPicture DecodePicture(const void *data, size_t size, std::string *error = nullptr);

// A smoothly scaled copy (the platform's high-quality scaler) of a decoded
// picture, `width` x `height`; null on failure.
TPicture ScalePicture(const TPicture &picture, int width, int height);

// A picture built into the program, by its resource name (RCDATA). The
// small PNGs (toolbar, buttons) come as ready pixels made from the same
// files at build time, so showing the main window needs no decoder; the
// photographs are decoded when asked for.
TPicture LoadPictureResource(const wchar_t *name, std::string *error = nullptr);
// A picture of premultiplied BGRA pixels, top-down, copied.
TPicture PictureFromPixels(const std::uint32_t *pixels, int width, int height);

// The program icon at the given size (the .exe's own icon resource).
HICON ProgramIcon(int size);
