// The program's windows as data: every control of the main, help, about and
// splash windows with its place, size, texts, font, colours, state and the
// action it triggers. Both front-ends build their windows by walking these
// tables; nothing here knows a toolkit or the engine. Texts are UTF-8, line
// breaks inside a caption or hint are CR LF. Places and sizes are pixels at
// 96 DPI (the splash window's at 120 DPI), left and top in the parent's
// client area.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace forms {

enum class TKind : std::uint8_t {
    Panel,       // a container with a bevel
    ToolBar,     // a container of ToolButton and Separator rows
    ToolButton,  // a picture-only toolbar button
    Separator,   // a gap in the toolbar, `width` wide
    Button,      // a push button with a caption
    GlyphButton, // a picture-only push button (grey twin when disabled)
    OkButton,    // a push button with a picture left of its caption; the default button
    EditCombo,   // an editable combo box
    CheckBox,
    SpinEdit,
    ProgressBar,
    Label,
    LinkLabel, // a label whose click opens its hint through the shell
    RichEdit,
    Image,
    BevelLine,
    Timer, // no place on screen: `interval` ms, running at creation when `enabled`
    Key,   // no place on screen: its `key` runs its `action`
};

// How a control takes its place: at its own rectangle, across the top of
// what is left of its parent (full width, own height), or filling the rest.
enum class TAlign : std::uint8_t { None, Top, Client };

enum class TBevel : std::uint8_t { None, Lowered, Raised };
enum class TCursor : std::uint8_t { Arrow, Hand };
enum class TTextAlign : std::uint8_t { Left, Centre };

enum TFontStyle : std::uint8_t { fsRegular = 0, fsBold = 1, fsItalic = 2, fsUnderline = 4 };

// A face and its character height in pixels (without internal leading). An
// empty face means the parent's font.
struct TFont {
    std::string_view face{};
    int px = 0;
    std::uint8_t style = fsRegular;
    bool cyrillic = true; // code page 1251 character set; false: the default one
    friend constexpr bool operator==(const TFont &, const TFont &) = default;
};

// Face name of every line of the command log (the nearest fixed-pitch face
// stands in where it is not installed).
inline constexpr const char *LogFontFace = "Courier New";

// An (r, g, b) colour or one of the system's.
struct TColour {
    enum TSource : std::uint8_t { Inherit, Rgb, ButtonFace, WindowText };
    TSource source = Inherit;
    std::uint8_t r = 0, g = 0, b = 0;
    friend constexpr bool operator==(const TColour &, const TColour &) = default;
};
constexpr TColour Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return {TColour::Rgb, r, g, b}; }
inline constexpr TColour kButtonFace{TColour::ButtonFace};
inline constexpr TColour kWindowText{TColour::WindowText};

// What a click on a control asks of the engine (its dispatch entry).
enum class TAction : std::uint8_t {
    None,
    Command,   // the catalogue's command whose button this control is
    ScanPorts, // SpeedButton1Click
    About,     // ToolButton3Click
    Help,      // TB_HelpClick
    ClearLog,  // ToolButton6Click
    Exit,      // TB_ExitClick
    CloseForm, // ends a secondary window's modal showing
    OpenHint,  // hands the control's hint to the shell ("open")
    Wait,        // TB_WaitClick: waits for the module (a toggle)
    ReadAll,     // TB_ReadAllClick
    WriteAll,    // TB_WriteAllClick
    SaveLog,     // TB_SaveLogClick
    EndSequence, // EscapePress: ends a running sequence
    SaveProfile, // bSaveProfileClick: the boxes to a settings file
    OpenProfile, // bOpenProfileClick: a settings file into the boxes
    Compare,     // bCompareClick: the six reads compared with the boxes (a toggle)
};

// Pictures the front-ends draw; each names one asset.
enum class TPicture : std::uint8_t {
    None,
    ToolAbout, // a red question mark in a yellow circle
    ToolHelp,  // a red question mark over an open book
    ToolClear, // a paint brush
    ToolExit,  // an open door
    Scanner,   // a red circular arrow around an exclamation mark
    OkCheck,   // a green check mark
    HelpPhoto, // the Vexo with its cable, JPEG 594 x 380
    AboutLogo, // the maker's logo, JPEG 173 x 164
    ToolWait,     // an hourglass
    ToolReadAll,  // an arrow from a module into a list
    ToolWriteAll, // an arrow from a list into a module, a check mark
    ToolSaveLog,  // a diskette
};

struct TControl {
    std::string_view name{};
    TKind kind{};
    std::string_view parent{}; // the form's name for its direct children
    int left = 0, top = 0, width = -1, height = -1; // -1: taken from the alignment or the text
    TAlign align = TAlign::None;
    std::string_view text{}; // caption, or the design text of an edit
    std::string_view hint{}; // tooltip; empty: none
    bool showHint = true;  // false: the hint is kept but never shown
    TFont font{};          // empty face: the parent's
    TColour colour{};      // text colour
    TColour background{};
    TTextAlign textAlign = TTextAlign::Left;
    std::span<const std::string_view> items{}; // drop-down items
    std::span<const std::string_view> lines{}; // a rich-text view's lines, joined with CR LF when shown
    int min = 0, max = 0;                      // spin edit range
    bool checked = false;                      // check box
    bool enabled = true; // false: takes no input (a text view keeps its colours)
    bool readOnly = false;
    bool wordWrap = false;
    int tabOrder = -1; // place in the keyboard order of its form; -1: takes no focus
    TCursor cursor = TCursor::Arrow;
    TBevel bevel = TBevel::None;
    TPicture picture = TPicture::None;
    TAction action = TAction::None;
    int interval = 0; // a timer's, in ms
    // The keyboard shortcut that runs `action` anywhere in its form, in the
    // portable text form ("F5", "Ctrl+S", "Escape"); empty: none.
    std::string_view key{};
    bool toggle = false; // a toolbar button that stays down while its sequence runs
};

enum TFormStyle : std::uint8_t {
    wsBorderless = 0,
    wsCaption = 1,   // a title bar with the system menu and the close button only
    wsResizable = 2, // a sizing frame
};

enum class TPlace : std::uint8_t { Design, ScreenCentre };

struct TForm {
    std::string_view name;    // the window class
    std::string_view caption; // window text
    int clientWidth, clientHeight; // at the design size
    int left, top; // design position (Design), else ignored
    TPlace place;
    std::uint8_t style;
    TFont font;
    int designDpi; // the layout's DPI: 96, or 120 for the splash window
    std::span<const TControl> controls; // parents before children, in creation order
    // The frame's outer size where the layout gives it (0: not given); the
    // client size is what the controls are laid out in.
    int outerWidth = 0, outerHeight = 0;
    // The least client height (design pixels) the window is given where the
    // screen's work area is shorter than the window: only its Client-aligned
    // rows give up height. 0: the window keeps its design height.
    int minClientHeight = 0;
};

// The four windows.
extern const TForm MainForm;   // TfAT_Vexo
extern const TForm HelpForm;   // TfHelpATVexo
extern const TForm AboutForm;  // TAboutForm
extern const TForm SplashForm; // TSplashForm

// The help window's two views' lines (each joined with CR LF when shown).
extern const std::span<const std::string_view> HelpWarningLines;
extern const std::span<const std::string_view> HelpTextLines;

// The about window's texts set when it is shown (lNamePO, Label_versPr).
extern const std::string_view AboutShownName;
extern const std::string_view AboutShownVersion;

// The program's version, from the build (the project's version in CMake).
extern const std::string_view ProgramVersion;

// The four windows in a stable order: main, help, about, splash.
std::span<const TForm *const> AllForms();

// Look-ups; nullptr when there is no such control.
const TControl *Find(const TForm &form, std::string_view name);

// A window in the screen's work area. Heights are pixels at `dpi` (the
// window's; a front-end that scales by itself passes the design DPI);
// `frameHeight` is the outer height less the client height.
struct TFittedHeight {
    int clientHeight;    // what the window gets: the design height, or what fits
    int minClientHeight; // the least it may get; a window this short may not fit
};
TFittedHeight FitClientHeight(const TForm &form, int frameHeight, int workHeight, int dpi);

struct TArea {
    int left, top, width, height;
};
struct TPoint {
    int x, y;
};
// Where a window of the outer size `width` x `height` asked for at (x, y)
// goes: the nearest place inside `area`; one larger than the area keeps its
// top-left corner in it, so that the title bar and the close button stay
// within reach.
TPoint ClampIntoArea(int x, int y, int width, int height, const TArea &area);

// Every row of `form` in a stable text form, one line per control; only
// what differs from a row's defaults is written.
std::string Dump(const TForm &form);
// All four, then the about window's shown texts (the version symbolic).
std::string DumpAll();

} // namespace forms
