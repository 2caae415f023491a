// The splash window TSplashForm: laid out for 120 DPI, scaled to the
// screen's; no code of its own, no reaction to input.
#include "Forms.h"

namespace forms {
namespace {

using enum TKind;

constexpr TColour kBlack = Rgb(0, 0, 0);

constexpr TControl kControls[] = {
    {.name = "Panel1", .kind = Panel, .parent = "TSplashForm", .left = 0, .top = 0, .width = 230, .height = 106,
     .align = TAlign::Client, .background = Rgb(192, 192, 192), .bevel = TBevel::Lowered},
    // 31 blanks in an underlined face: only the underline shows, as a stroke.
    {.name = "Label3", .kind = Label, .parent = "Panel1", .left = 38, .top = 26, .width = 155, .height = 22,
     .text = "                               ",
     .font = {.face = "Times New Roman", .px = 20, .style = fsItalic | fsUnderline}, .colour = kBlack},
    {.name = "Bevel1", .kind = BevelLine, .parent = "Panel1", .left = 12, .top = 57, .width = 206, .height = 3,
     .bevel = TBevel::Raised},
    {.name = "Label1", .kind = Label, .parent = "Panel1", .left = 84, .top = 76, .text = "Загрузка...",
     .font = {.face = "MS Sans Serif", .px = 14, .cyrillic = false}, .colour = kBlack},
};

} // namespace

extern const TForm SplashForm = {
    .name = "TSplashForm",
    .caption = "",
    .clientWidth = 230,
    .clientHeight = 106,
    .left = 0,
    .top = 0,
    .place = TPlace::ScreenCentre,
    .style = wsBorderless,
    .font = {.face = "MS Sans Serif", .px = 14, .cyrillic = false},
    .designDpi = 120,
    .controls = kControls,
};

} // namespace forms
