#include "SetupWindow.h"

TLabelLook SetupWindowLook(std::int64_t leftMs)
{
    if (leftMs <= 0)
        return {"настройка закрыта", {0, 0, 0}};
    const std::int64_t seconds = (leftMs + 999) / 1000;
    const TColour colour = leftMs <= SetupWindowWarnMs ? TColour{255, 0, 0} : TColour{0, 0, 0};
    // two lines of the narrow label: the number never parts from its unit
    return {"настройка:\r\n" + std::to_string(seconds) + " с", colour};
}
