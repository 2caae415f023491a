// The program's pictures, kept in the .exe as resources and decoded by the
// platform (WIC): the JPEG photograph and logo, the PNG toolbar and button
// pictures. Damaged or oversized data is refused, never shown half-decoded.
#pragma once

#include <cstddef>
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

// Resource names (RCDATA) of the pictures built into the program.
TPicture LoadPictureResource(const wchar_t *name, std::string *error = nullptr);

// The program icon at the given size (the .exe's own icon resource).
HICON ProgramIcon(int size);
