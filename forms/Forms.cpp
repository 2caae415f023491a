#include "Forms.h"

#include <algorithm>

namespace forms {

std::span<const TForm *const> AllForms()
{
    static const TForm *const all[] = {&MainForm, &HelpForm, &AboutForm, &SplashForm};
    return all;
}

const TControl *Find(const TForm &form, std::string_view name)
{
    for (const TControl &c : form.controls) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

TFittedHeight FitClientHeight(const TForm &form, int frameHeight, int workHeight, int dpi)
{
    // as the front-ends scale edges: rounded to the nearest pixel
    const auto scaled = [&](int v) { return (v * dpi + form.designDpi / 2) / form.designDpi; };
    const int design = scaled(form.clientHeight);
    const int least = form.minClientHeight > 0 ? std::min(scaled(form.minClientHeight), design) : design;
    return {std::clamp(workHeight - frameHeight, least, design), least};
}

TPoint ClampIntoArea(int x, int y, int width, int height, const TArea &area)
{
    // the right and bottom edges first, then the top-left corner wins
    x = std::max(std::min(x, area.left + area.width - width), area.left);
    y = std::max(std::min(y, area.top + area.height - height), area.top);
    return {x, y};
}

} // namespace forms
