// The Vexo's set-up window as the program sees it: it listens for 30 s after
// each answered "ATI0". The label beside the toolbar counts that down.
#pragma once

#include <cstdint>
#include <string>

#include "MainView.h"

inline constexpr int SetupWindowExtendMs = 30000;
// The label turns red when this little is left.
inline constexpr int SetupWindowWarnMs = 5000;

struct TLabelLook {
    std::string text;
    TColour colour;
    friend bool operator==(const TLabelLook &, const TLabelLook &) = default;
};

// The label with `leftMs` left (whole seconds, rounded up); run out at 0.
TLabelLook SetupWindowLook(std::int64_t leftMs);
