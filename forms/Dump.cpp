// The tables as reviewable text: one line per control with only what differs
// from a row's defaults, texts quoted with C escapes (CR LF shows as \r\n).
#include "Forms.h"

#include <cstdio>

namespace forms {
namespace {

std::string Quoted(std::string_view s)
{
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            if (static_cast<unsigned char>(c) < 32) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned char>(c));
                out += buf;
            } else {
                out += c;
            }
        }
    }
    return out + '"';
}

const char *KindName(TKind k)
{
    constexpr const char *names[] = {"Panel",    "ToolBar",     "ToolButton", "Separator", "Button",
                                     "GlyphButton", "OkButton", "EditCombo",  "CheckBox",  "SpinEdit",
                                     "ProgressBar", "Label",    "LinkLabel",  "RichEdit",  "Image",
                                     "BevelLine",   "Timer",    "Key"};
    const auto i = static_cast<std::size_t>(k);
    return i < std::size(names) ? names[i] : "?";
}

const char *ActionName(TAction a)
{
    constexpr const char *names[] = {"None", "Command", "ScanPorts", "About", "Help",
                                     "ClearLog", "Exit", "CloseForm", "OpenHint",
                                     "Wait", "ReadAll", "WriteAll", "SaveLog", "EndSequence",
                                     "SaveProfile", "OpenProfile", "Compare"};
    const auto i = static_cast<std::size_t>(a);
    return i < std::size(names) ? names[i] : "?";
}

const char *PictureName(TPicture p)
{
    constexpr const char *names[] = {"None",    "ToolAbout", "ToolHelp",  "ToolClear", "ToolExit",
                                     "Scanner", "OkCheck",   "HelpPhoto", "AboutLogo",
                                     "ToolWait", "ToolReadAll", "ToolWriteAll", "ToolSaveLog"};
    const auto i = static_cast<std::size_t>(p);
    return i < std::size(names) ? names[i] : "?";
}

std::string FontText(const TFont &f)
{
    std::string out = Quoted(f.face) + '/' + std::to_string(f.px);
    if (f.style & fsBold)
        out += "/bold";
    if (f.style & fsItalic)
        out += "/italic";
    if (f.style & fsUnderline)
        out += "/underline";
    if (!f.cyrillic)
        out += "/default-charset";
    return out;
}

std::string ColourText(const TColour &c)
{
    switch (c.source) {
    case TColour::Inherit:
        return "inherit";
    case TColour::ButtonFace:
        return "button-face";
    case TColour::WindowText:
        return "window-text";
    case TColour::Rgb:
        break;
    }
    return "rgb(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

std::string ListText(std::span<const std::string_view> list)
{
    std::string out;
    for (std::string_view s : list)
        out += (out.empty() ? "" : ",") + Quoted(s);
    return out;
}

} // namespace

std::string Dump(const TForm &form)
{
    std::string out = "form " + std::string(form.name) + " caption=" + Quoted(form.caption) +
                      " client=" + std::to_string(form.clientWidth) + "x" + std::to_string(form.clientHeight);
    if (form.outerWidth || form.outerHeight)
        out += " outer=" + std::to_string(form.outerWidth) + "x" + std::to_string(form.outerHeight);
    if (form.place == TPlace::Design)
        out += " at=" + std::to_string(form.left) + "," + std::to_string(form.top);
    else
        out += " at=screen-centre";
    out += " frame=";
    out += form.style == wsBorderless ? "none" : "caption";
    if (form.style & wsResizable)
        out += "+resizable";
    out += " font=" + FontText(form.font) + " dpi=" + std::to_string(form.designDpi) + "\n";

    const TControl defaults{};
    for (const TControl &c : form.controls) {
        std::string line = "  " + std::string(c.name) + " " + KindName(c.kind) + " in " + std::string(c.parent);
        if (c.kind != TKind::Timer && c.kind != TKind::Key) {
            line += " at " + std::to_string(c.left) + "," + std::to_string(c.top);
            if (c.width >= 0 || c.height >= 0)
                line += " size " + std::to_string(c.width) + "x" + std::to_string(c.height);
        }
        if (c.align == TAlign::Top)
            line += " align=top";
        else if (c.align == TAlign::Client)
            line += " align=client";
        if (!c.text.empty() || c.kind == TKind::EditCombo || c.kind == TKind::SpinEdit)
            line += " text=" + Quoted(c.text);
        if (!c.hint.empty())
            line += " hint=" + Quoted(c.hint);
        if (!c.showHint)
            line += " hint-not-shown";
        if (!c.font.face.empty() || c.font.px)
            line += " font=" + FontText(c.font);
        if (c.colour != defaults.colour)
            line += " colour=" + ColourText(c.colour);
        if (c.background != defaults.background)
            line += " background=" + ColourText(c.background);
        if (c.textAlign == TTextAlign::Centre)
            line += " centred";
        if (!c.items.empty())
            line += " items=" + ListText(c.items);
        if (!c.lines.empty())
            line += " lines=" + std::to_string(c.lines.size());
        if (c.min || c.max)
            line += " range=" + std::to_string(c.min) + ".." + std::to_string(c.max);
        if (c.kind == TKind::CheckBox || c.checked)
            line += c.checked ? " checked" : " unchecked";
        if (!c.enabled && c.kind != TKind::Timer)
            line += " disabled";
        if (c.readOnly)
            line += " read-only";
        if (c.wordWrap)
            line += " wrap";
        if (c.tabOrder >= 0)
            line += " tab=" + std::to_string(c.tabOrder);
        if (c.cursor == TCursor::Hand)
            line += " hand";
        if (c.bevel == TBevel::Lowered)
            line += " bevel=lowered";
        else if (c.bevel == TBevel::Raised)
            line += " bevel=raised";
        if (c.picture != TPicture::None)
            line += " picture=" + std::string(PictureName(c.picture));
        if (c.action != TAction::None)
            line += " action=" + std::string(ActionName(c.action));
        if (!c.key.empty())
            line += " key=" + Quoted(c.key);
        if (c.toggle)
            line += " toggle";
        if (c.kind == TKind::Timer)
            line += " interval=" + std::to_string(c.interval) + (c.enabled ? " running" : " stopped");
        out += line + "\n";
        for (std::size_t i = 0; i < c.lines.size(); ++i)
            out += "    " + std::to_string(i + 1) + " " + Quoted(c.lines[i]) + "\n";
    }
    return out;
}

std::string DumpAll()
{
    std::string out;
    for (const TForm *form : AllForms())
        out += Dump(*form);
    out += "shown lNamePO " + Quoted(AboutShownName) + "\n";
    // The version label is the name and the build's version, whatever it is.
    const std::string withVersion = "AT_Vexo-" + std::string(ProgramVersion);
    out += "shown Label_versPr ";
    out += AboutShownVersion == withVersion ? std::string("\"AT_Vexo-\" + version") : Quoted(AboutShownVersion);
    return out + "\n";
}

} // namespace forms
