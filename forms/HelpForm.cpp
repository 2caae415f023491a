// The help window TfHelpATVexo: a fixed page on cabling and the commands.
// No control takes the keyboard focus: the window gets every key.
#include "Forms.h"

namespace forms {
namespace {

using enum TKind;

// Each line exactly, leading and trailing blanks included; straight and
// typographic quotes mixed as they are.
constexpr std::string_view kWarning[] = {
    "Внимание!!! у \"Vexo\", “AT” команды доступны по порту корректора, только в течении ",
    "7 сек после включения питания Vexo. Скорость работы по порту \"19200\"!!!",
};

constexpr std::string_view kHelp[] = {
    "Компьютер   и   Vexo   соединяются “нуль - модемным”  кабелем   (Zero-modem ",
    "или  Z-modem),  имеющим   на   обоих   концах   розетки ,  контакты   которых   ",
    "соединяются  по   схеме :    ",
    "                  Vexo                                                       ",
    "Соединитель   компьютера  ",
    "       контакт  DB9 (« ВУ »)                                                   DB9    ",
    "                        3-------------------------------------------------------2                 ",
    "                        2-------------------------------------------------------3        ",
    "                        5-------------------------------------------------------5        ",
    "",
    "",
    "“AT” команды Vexo:",
    "",
    "ATI0 - запрос версии модема, продлевает время настройки на 30сек;",
    "AT команды  настройки Vexo: AT+xKPVx=Y,",
    " где:",
    "   x<0..99> - номер параметра, Y<0..65535> - значение параметра",
    "   x=3  - интерфейс “шлюз”, Y=0-7 - номер скорости обмена: 0..7 (1200..115200)",
    "   x=4  - интерфейс принтера (только для вычислителей “тетрамакс”), Y=0-7 - номер ",
    "скорости обмена",
    "   x=8  - AdrMBus (только для вычислителей “тетрамакс”), Y=1-254 - адрес на шине ",
    "ModBus (AT+xKPV8=88).",
};

constexpr TControl kControls[] = {
    {.name = "Label1", .kind = Label, .parent = "TfHelpATVexo", .left = 0, .top = 0, .width = 593, .height = 20,
     .align = TAlign::Top, .text = "“AT” команды \"Vexo\".",
     .font = {.face = "Courier New", .px = 17, .style = fsBold | fsItalic}, .colour = Rgb(0, 0, 255),
     .textAlign = TTextAlign::Centre},
    {.name = "Panel1", .kind = Panel, .parent = "TfHelpATVexo", .left = 0, .top = 20, .width = 593, .height = 707,
     .align = TAlign::Client, .bevel = TBevel::Lowered},
    {.name = "Panel2", .kind = Panel, .parent = "Panel1", .left = 2, .top = 2, .width = 589, .height = 39,
     .align = TAlign::Top},
    // Two lines that fit: no scroll bar.
    {.name = "RichEdit1", .kind = RichEdit, .parent = "Panel2", .left = 0, .top = 0, .width = 589, .height = 39,
     .align = TAlign::Client, .font = {.face = "Courier New", .px = 12}, .colour = Rgb(255, 0, 0),
     .background = kButtonFace, .lines = kWarning, .enabled = false, .readOnly = true, .wordWrap = true},
    // The photograph is drawn unscaled from its top-left corner and cut off.
    {.name = "Image1", .kind = Image, .parent = "Panel1", .left = 2, .top = 41, .width = 589, .height = 312,
     .align = TAlign::Top, .picture = TPicture::HelpPhoto},
    {.name = "RichEdit2", .kind = RichEdit, .parent = "Panel1", .left = 2, .top = 353, .width = 589, .height = 352,
     .align = TAlign::Client, .colour = kWindowText, .background = kButtonFace, .lines = kHelp, .enabled = false,
     .readOnly = true, .wordWrap = true},
    {.name = "tInit", .kind = Timer, .parent = "TfHelpATVexo", .enabled = true, .interval = 50},
};

} // namespace

extern const std::span<const std::string_view> HelpWarningLines = kWarning;
extern const std::span<const std::string_view> HelpTextLines = kHelp;

extern const TForm HelpForm = {
    .name = "TfHelpATVexo",
    .caption = "Справка \"AT\" команд Vexo",
    .clientWidth = 593,
    .clientHeight = 727,
    .left = 368,
    .top = 211,
    .place = TPlace::Design,
    .style = wsCaption | wsResizable,
    .font = {.face = "Courier New", .px = 12},
    .designDpi = 96,
    .controls = kControls,
    .outerWidth = 611,
    .outerHeight = 773,
};

} // namespace forms
