// The main window TfAT_Vexo: the toolbar, the port row, the command grid
// and the command log.
#include "Forms.h"

namespace forms {
namespace {

using enum TKind;

constexpr std::string_view kSpeeds[] = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
constexpr std::string_view kPrinterSpeeds[] = {"9600", "19200"};

constexpr TFont kCourier{.face = LogFontFace, .px = 12};
constexpr TColour kMaroon = Rgb(128, 0, 0);

// The command buttons: 265 wide (the first spans both columns), 30 high,
// 33 in the concentrator row.
constexpr TControl kControls[] = {
    // ---- toolbar: picture-only buttons 72 x 31 between separators
    {.name = "ToolBar1", .kind = ToolBar, .parent = "TfAT_Vexo", .width = 720, .height = 41, .align = TAlign::Top},
    {.name = "ToolButton4", .kind = Separator, .parent = "ToolBar1", .left = 0, .top = 2, .width = 25, .height = 31},
    {.name = "ToolButton3", .kind = ToolButton, .parent = "ToolBar1", .left = 25, .top = 2, .width = 72, .height = 31,
     .hint = "О программе", .cursor = TCursor::Hand, .picture = TPicture::ToolAbout, .action = TAction::About},
    {.name = "ToolButton1", .kind = Separator, .parent = "ToolBar1", .left = 97, .top = 2, .width = 8, .height = 31},
    {.name = "TB_Help", .kind = ToolButton, .parent = "ToolBar1", .left = 105, .top = 2, .width = 72, .height = 31,
     .hint = "Справка", .cursor = TCursor::Hand, .picture = TPicture::ToolHelp, .action = TAction::Help},
    {.name = "ToolButton5", .kind = Separator, .parent = "ToolBar1", .left = 177, .top = 2, .width = 8, .height = 31},
    {.name = "ToolButton6", .kind = ToolButton, .parent = "ToolBar1", .left = 185, .top = 2, .width = 72, .height = 31,
     .hint = "очистить поле контроля выполнения команд", .cursor = TCursor::Hand, .picture = TPicture::ToolClear,
     .action = TAction::ClearLog},
    {.name = "ToolButton2", .kind = Separator, .parent = "ToolBar1", .left = 257, .top = 2, .width = 8, .height = 31},
    {.name = "TB_Exit", .kind = ToolButton, .parent = "ToolBar1", .left = 265, .top = 2, .width = 72, .height = 31,
     .hint = "ВЫХОД", .cursor = TCursor::Hand, .picture = TPicture::ToolExit, .action = TAction::Exit},
    // The sequences, the service record and the set-up window's time left;
    // a sequence's own button, Escape or any command button ends it.
    {.name = "ToolButton7", .kind = Separator, .parent = "ToolBar1", .left = 337, .top = 2, .width = 8, .height = 31},
    {.name = "TB_Wait", .kind = ToolButton, .parent = "ToolBar1", .left = 345, .top = 2, .width = 72, .height = 31,
     .hint = "ждать ответа Vexo\r\nнажмите, затем включите питание Vexo", .cursor = TCursor::Hand,
     .picture = TPicture::ToolWait, .action = TAction::Wait, .key = "F5", .toggle = true},
    {.name = "TB_ReadAll", .kind = ToolButton, .parent = "ToolBar1", .left = 417, .top = 2, .width = 72, .height = 31,
     .hint = "прочитать все параметры Vexo", .cursor = TCursor::Hand, .picture = TPicture::ToolReadAll,
     .action = TAction::ReadAll, .key = "F6", .toggle = true},
    {.name = "TB_WriteAll", .kind = ToolButton, .parent = "ToolBar1", .left = 489, .top = 2, .width = 72, .height = 31,
     .hint = "записать все параметры в Vexo и проверить", .cursor = TCursor::Hand,
     .picture = TPicture::ToolWriteAll, .action = TAction::WriteAll, .key = "F7", .toggle = true},
    {.name = "TB_SaveLog", .kind = ToolButton, .parent = "ToolBar1", .left = 561, .top = 2, .width = 72, .height = 31,
     .hint = "сохранить протокол в файл", .cursor = TCursor::Hand, .picture = TPicture::ToolSaveLog,
     .action = TAction::SaveLog, .key = "Ctrl+S"},
    // Two lines at most: the engine writes "настройка:\r\n30 с" and the like.
    {.name = "lSetupWindow", .kind = Label, .parent = "ToolBar1", .left = 637, .top = 2, .width = 81, .height = 31,
     .hint = "время, оставшееся до закрытия окна настройки Vexo", .wordWrap = true},

    // ---- the work area: port row, command grid, log, each inside a 2 px bevel
    {.name = "Panel1", .kind = Panel, .parent = "TfAT_Vexo", .left = 0, .top = 41, .width = 720, .height = 662,
     .align = TAlign::Client, .font = kCourier, .bevel = TBevel::Lowered},
    {.name = "Panel2", .kind = Panel, .parent = "Panel1", .left = 2, .top = 2, .width = 716, .height = 47,
     .align = TAlign::Top, .bevel = TBevel::Lowered},
    {.name = "Panel4", .kind = Panel, .parent = "Panel1", .left = 2, .top = 49, .width = 716, .height = 304,
     .align = TAlign::Top, .bevel = TBevel::Lowered},
    {.name = "Panel3", .kind = Panel, .parent = "Panel1", .left = 2, .top = 353, .width = 716, .height = 307,
     .align = TAlign::Client, .bevel = TBevel::Lowered},

    // ---- port row
    {.name = "SpeedButton1", .kind = GlyphButton, .parent = "Panel2", .left = 16, .top = 8, .width = 30, .height = 30,
     .hint = "сканер RS портов", .cursor = TCursor::Hand, .picture = TPicture::Scanner, .action = TAction::ScanPorts},
    {.name = "cbRSname", .kind = EditCombo, .parent = "Panel2", .left = 56, .top = 16, .width = 113, .height = 23,
     .font = {.face = "Courier New", .px = 15}, .tabOrder = 0, .cursor = TCursor::Hand},
    {.name = "Label1", .kind = Label, .parent = "Panel2", .left = 240, .top = 16, .width = 36, .height = 16,
     .text = "зап."},
    {.name = "prB_Wr", .kind = ProgressBar, .parent = "Panel2", .left = 280, .top = 16, .width = 81, .height = 21,
     .min = 0, .max = 100},
    {.name = "Label2", .kind = Label, .parent = "Panel2", .left = 424, .top = 16, .width = 28, .height = 16,
     .text = "чт."},
    {.name = "prB_rd", .kind = ProgressBar, .parent = "Panel2", .left = 448, .top = 16, .width = 81, .height = 21,
     .min = 0, .max = 100},

    // ---- command grid: read buttons at 8, write buttons at 280, values at 552
    {.name = "bRd_Inf", .kind = Button, .parent = "Panel4", .left = 8, .top = 16, .width = 537, .height = 30,
     .text = "контроль Vexo", .hint = "контроль Vexo", .tabOrder = 3, .cursor = TCursor::Hand,
     .action = TAction::Command},
    {.name = "Label7", .kind = Label, .parent = "Panel4", .left = 552, .top = 40, .width = 164, .height = 16,
     .text = "скорость порта \"I/O\""},
    {.name = "rdSpeed_Cor", .kind = Button, .parent = "Panel4", .left = 8, .top = 56, .width = 265, .height = 30,
     .text = "чтение скорости порта \"I/O\" Vexo", .hint = "чтение скорости порта корректора", .tabOrder = 5,
     .cursor = TCursor::Hand, .action = TAction::Command},
    {.name = "wrSpeed_Cor", .kind = Button, .parent = "Panel4", .left = 280, .top = 56, .width = 265, .height = 30,
     .text = "запись скорости порта \"I/O\" Vexo", .hint = "запись скорости порта корректора", .tabOrder = 6,
     .cursor = TCursor::Hand, .action = TAction::Command},
    {.name = "cbSpeed_Cor", .kind = EditCombo, .parent = "Panel4", .left = 552, .top = 56, .width = 121, .height = 21,
     .text = "19200", .items = kSpeeds, .tabOrder = 7},
    // The value column's labels end at the panel's edge.
    {.name = "Label3", .kind = Label, .parent = "Panel4", .left = 552, .top = 88, .width = 164, .height = 16,
     .text = "скорость порта \"RS232\"", .hint = "скорость шлюза"},
    {.name = "bRdSpeed_SeA", .kind = Button, .parent = "Panel4", .left = 8, .top = 104, .width = 265, .height = 30,
     .text = "чтение скорости порта \"RS232\" Vexo",
     .hint = "чтение скорости шлюза\r\n(при подключении модема или компьютера)", .tabOrder = 8,
     .cursor = TCursor::Hand, .action = TAction::Command},
    {.name = "bWrSpeed_SeA", .kind = Button, .parent = "Panel4", .left = 280, .top = 104, .width = 265, .height = 30,
     .text = "запись скорости порта \"RS232\" Vexo",
     .hint = "запись скорости \"шлюза\"\r\n(при подключении модема или компьютера)", .tabOrder = 9,
     .cursor = TCursor::Hand, .action = TAction::Command},
    {.name = "cbSpeed_SeA", .kind = EditCombo, .parent = "Panel4", .left = 552, .top = 104, .width = 121, .height = 21,
     .text = "115200", .hint = "скорость порта \"шлюза\"\r\n(при подключении модема или компьютера)",
     .items = kSpeeds, .tabOrder = 10},
    {.name = "Label4", .kind = Label, .parent = "Panel4", .left = 552, .top = 128, .width = 164, .height = 32,
     .text = "скорость порта \"RS232\"\r\nдля принтера"},
    {.name = "bRdSpeed_SeA_Prn", .kind = Button, .parent = "Panel4", .left = 8, .top = 152, .width = 265, .height = 30,
     .text = "чтение скорости \"RS232\" для принтера ",
     .hint = "чтение скорости порта \"RS232\" для принтера\r\n(только для вычислителей \"Тетрамакс\")",
     .tabOrder = 11, .cursor = TCursor::Hand, .action = TAction::Command},
    {.name = "bWrSpeed_SeA_Prn", .kind = Button, .parent = "Panel4", .left = 280, .top = 152, .width = 265,
     .height = 30, .text = "запись скорости \"RS232\" для принтера ",
     .hint = "запись скорости порта \"RS232\" для принтера\r\n(только для вычислителей \"Тетрамакс\")",
     .tabOrder = 12, .cursor = TCursor::Hand, .action = TAction::Command},
    {.name = "cbSpeed_SeA_Prn", .kind = EditCombo, .parent = "Panel4", .left = 552, .top = 160, .width = 121,
     .height = 21, .text = "19200",
     .hint = "скорость порта  \"RS232\" для принтера  \r\n(только для вычислителей \"Тетрамакс\")",
     .items = kPrinterSpeeds, .tabOrder = 13},
    {.name = "Label5", .kind = Label, .parent = "Panel4", .left = 552, .top = 192, .width = 116, .height = 16,
     .text = "адрес \"ModBus\""},
    {.name = "bRdAdr_ModBus", .kind = Button, .parent = "Panel4", .left = 8, .top = 200, .width = 265, .height = 30,
     .text = "чтение адреса \"ModBus\"",
     .hint = "чтение адреса \"ModBus\"\r\n(только для вычислителей \"Тетрамакс\")", .tabOrder = 14,
     .cursor = TCursor::Hand, .action = TAction::Command},
    // This hint and the spin edit's end without the closing parenthesis.
    {.name = "bWrAdrModBus", .kind = Button, .parent = "Panel4", .left = 280, .top = 200, .width = 265, .height = 30,
     .text = "запись адреса для \"ModBus\"",
     .hint = "запись адреса для \"ModBus\"\r\n(только для вычислителей \"Тетрамакс\"", .tabOrder = 15,
     .cursor = TCursor::Hand, .action = TAction::Command},
    {.name = "seAdrModBus", .kind = SpinEdit, .parent = "Panel4", .left = 552, .top = 208, .width = 73, .height = 21,
     .text = "1", .hint = "адрес \"ModBus\"\r\n(только для вычислителей \"Тетрамакс\"", .min = 1, .max = 250,
     .tabOrder = 16},
    // Two blanks before "03.17" in both hints.
    {.name = "rdKLV707", .kind = Button, .parent = "Panel4", .left = 8, .top = 248, .width = 265, .height = 33,
     .text = "чтение флага работы с \"КЛВ-707\"",
     .hint = "чтение флага разрешения работы с концентратором \"КЛВ-707\"\r\n"
             "(только для вычислителей \"Тетрамакс\", Vexo с версии  03.17)",
     .tabOrder = 17, .cursor = TCursor::Hand, .action = TAction::Command},
    {.name = "wrKLV707", .kind = Button, .parent = "Panel4", .left = 280, .top = 248, .width = 265, .height = 33,
     .text = "запись флага работы с \"КЛВ-707\"",
     .hint = "запись флага разрешения работы с концентратором \"КЛВ-707\"\r\n"
             "(только для вычислителей \"Тетрамакс\", Vexo с версии  03.17)",
     .tabOrder = 18, .cursor = TCursor::Hand, .action = TAction::Command},
    {.name = "chKLV707", .kind = CheckBox, .parent = "Panel4", .left = 552, .top = 256, .width = 153, .height = 17,
     .text = "\"КЛВ-707\" вкл/выкл", .hint = "флаг разрешения/запрета работы \"Vexo\" \r\nс концентратором \"КЛВ-707\" ",
     .checked = false, .tabOrder = 19},

    // ---- the command log
    {.name = "Label6", .kind = Label, .parent = "Panel3", .left = 2, .top = 2, .width = 712, .height = 16,
     .align = TAlign::Top, .text = "Окно выполнения колманд", .font = {.face = "Courier New", .px = 12, .style = fsItalic},
     .colour = kMaroon, .textAlign = TTextAlign::Centre},
    // The operator may type into it; long lines wrap, the scroll bar shows when needed.
    {.name = "reWin", .kind = RichEdit, .parent = "Panel3", .left = 2, .top = 18, .width = 712, .height = 287,
     .align = TAlign::Client, .background = kButtonFace, .wordWrap = true, .tabOrder = 20},

    // ---- timers (the engine runs them through the view)
    {.name = "tInit", .kind = Timer, .parent = "TfAT_Vexo", .enabled = true, .interval = 50},
    {.name = "tRdIn_Vexo", .kind = Timer, .parent = "TfAT_Vexo", .enabled = false, .interval = 500},
    {.name = "tSetupWindow", .kind = Timer, .parent = "TfAT_Vexo", .enabled = false, .interval = 1000},
    {.name = "aEndSequence", .kind = Key, .parent = "TfAT_Vexo", .action = TAction::EndSequence, .key = "Escape"},

    // ---- a module's settings as a file: right of the port row, and beside
    // "контроль Vexo" the comparison with the module. The keyboard takes each
    // panel's controls in turn (as the Windows dialog manager does), so these
    // come in their panels' places of the order.
    {.name = "bSaveProfile", .kind = Button, .parent = "Panel2", .left = 536, .top = 8, .width = 84, .height = 30,
     .text = "сохранить", .hint = "сохранить параметры из полей в файл", .tabOrder = 1, .cursor = TCursor::Hand,
     .action = TAction::SaveProfile, .key = "Ctrl+Shift+S"},
    {.name = "bOpenProfile", .kind = Button, .parent = "Panel2", .left = 624, .top = 8, .width = 84, .height = 30,
     .text = "открыть", .hint = "открыть файл параметров в поля\r\n(в Vexo ничего не записывается)", .tabOrder = 2,
     .cursor = TCursor::Hand, .action = TAction::OpenProfile, .key = "Ctrl+O"},
    {.name = "bCompare", .kind = Button, .parent = "Panel4", .left = 552, .top = 10, .width = 162, .height = 28,
     .text = "сравнить с Vexo", .hint = "прочитать все параметры Vexo и сравнить с полями\r\n(поля не изменяются)",
     .tabOrder = 4, .cursor = TCursor::Hand, .action = TAction::Compare, .key = "F8"},
};

} // namespace

extern const TForm MainForm = {
    .name = "TfAT_Vexo",
    .caption = "\"AT\" команды \"Vexo\"",
    .clientWidth = 720,
    .clientHeight = 703,
    .left = 319,
    .top = 157,
    .place = TPlace::Design,
    .style = wsCaption | wsResizable,
    .font = {.face = "MS Sans Serif", .px = 12, .cyrillic = false},
    .designDpi = 96,
    .controls = kControls,
    .outerWidth = 736,
    .outerHeight = 741,
    // the log keeps 70 of its 287: five lines and the scroll bar's arrows
    .minClientHeight = 703 - 217,
};

} // namespace forms
