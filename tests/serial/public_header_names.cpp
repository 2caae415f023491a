// Compiles only while the component's public header keeps the seam's Win32
// names (commapi.h) to itself: a program that includes it may use them for
// its own things, as the Qt program and the engine do not expect them.
#include "XComDrv.h"

#if defined(TRUE) || defined(FALSE) || defined(INVALID_HANDLE_VALUE) || defined(ERROR_IO_PENDING) || \
    defined(INFINITE)
#error "XComDrv.h brings Win32 macros along"
#endif

namespace {
struct DWORD {};
struct HANDLE {};
struct BOOL {};
struct DCB {};
struct COMSTAT {};
struct OVERLAPPED {};
struct ReadFile {};
struct CreateFileA {};
} // namespace

// Ambiguous, and so an error, where the header declared the same names.
[[maybe_unused]] static const DWORD gDword{};
[[maybe_unused]] static const HANDLE gHandle{};
[[maybe_unused]] static const BOOL gBool{};
[[maybe_unused]] static const DCB gDcb{};
[[maybe_unused]] static const COMSTAT gComstat{};
[[maybe_unused]] static const OVERLAPPED gOverlapped{};
[[maybe_unused]] static const ReadFile gReadFile{};
[[maybe_unused]] static const CreateFileA gCreateFileA{};
