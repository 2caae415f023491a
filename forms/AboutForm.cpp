// The about window TAboutForm: name, version and the maker's links. The
// labels take their size from their text; the OK button is the only control
// that takes the focus.
#include "Forms.h"

#include "Version.h"

namespace forms {
namespace {

using enum TKind;

constexpr TColour kNavy = Rgb(0, 0, 128), kBlack = Rgb(0, 0, 0);
constexpr TFont kSans{.face = "MS Sans Serif", .px = 12};
constexpr TFont kSansBold{.face = "MS Sans Serif", .px = 12, .style = fsBold};
constexpr TFont kSansBoldItalic{.face = "MS Sans Serif", .px = 12, .style = fsBold | fsItalic};

// Stand-ins for the maker's contacts. A click opens the hint, not the caption.
constexpr std::string_view kWebSite = "http://www.example.com";
constexpr std::string_view kMailLink = "mailto:info@example.com";

constexpr TControl kControls[] = {
    {.name = "Image1", .kind = Image, .parent = "TAboutForm", .left = 0, .top = 0, .width = 169, .height = 161,
     .picture = TPicture::AboutLogo},
    {.name = "lNamePO", .kind = Label, .parent = "TAboutForm", .left = 188, .top = 32, .text = "---------------------",
     .font = {.face = "MS Sans Serif", .px = 20, .style = fsBold | fsItalic}, .colour = kNavy,
     .textAlign = TTextAlign::Centre},
    {.name = "Label5", .kind = Label, .parent = "TAboutForm", .left = 188, .top = 72,
     .text = "Программное обеспечение\r\n      \"AT\" команды Vexo", .font = kSansBoldItalic, .colour = kNavy},
    {.name = "Label2", .kind = Label, .parent = "TAboutForm", .left = 176, .top = 120, .text = "версия:",
     .font = kSans, .colour = kBlack},
    {.name = "Label_versPr", .kind = Label, .parent = "TAboutForm", .left = 224, .top = 120,
     .text = "---------------------", .font = kSansBoldItalic, .colour = kNavy},
    {.name = "Label1", .kind = Label, .parent = "TAboutForm", .left = 174, .top = 156,
     .text = "Win98, WinXP, Win2000, Vista, Win7", .font = kSans, .colour = kBlack, .textAlign = TTextAlign::Centre},
    {.name = "address", .kind = Label, .parent = "TAboutForm", .left = 10, .top = 176,
     .text = "г. Энск, тел. +7 (000) 000-00-00", .font = kSans, .colour = kBlack},
    {.name = "l_http", .kind = LinkLabel, .parent = "TAboutForm", .left = 8, .top = 200, .text = kWebSite,
     .hint = kWebSite, .showHint = false, .font = kSansBold, .colour = Rgb(0, 0, 255), .cursor = TCursor::Hand,
     .action = TAction::OpenHint},
    {.name = "l_mail", .kind = LinkLabel, .parent = "TAboutForm", .left = 8, .top = 224, .text = kMailLink,
     .hint = kMailLink, .showHint = false, .font = kSansBold, .colour = Rgb(0, 128, 128), .cursor = TCursor::Hand,
     .action = TAction::OpenHint},
    // The check mark (18 x 18) 2 px from the left edge, the caption centred beside it.
    {.name = "OKButton", .kind = OkButton, .parent = "TAboutForm", .left = 271, .top = 207, .width = 74, .height = 33,
     .text = "ДА", .font = kSansBold, .colour = kBlack, .tabOrder = 0, .cursor = TCursor::Hand,
     .picture = TPicture::OkCheck, .action = TAction::CloseForm},
    {.name = "tInit", .kind = Timer, .parent = "TAboutForm", .enabled = true, .interval = 50},
};

} // namespace

extern const std::string_view AboutShownName = "AT_Vexo";
extern const std::string_view AboutShownVersion = "AT_Vexo-" ATVEXO_VERSION;
extern const std::string_view ProgramVersion = ATVEXO_VERSION;

extern const TForm AboutForm = {
    .name = "TAboutForm",
    .caption = "О программе ",
    .clientWidth = 368,
    .clientHeight = 252,
    .left = 0,
    .top = 0,
    .place = TPlace::ScreenCentre,
    .style = wsBorderless,
    .font = kSans,
    .designDpi = 96,
    .controls = kControls,
};

} // namespace forms
