// The help and about windows opened modally from a plain owner window: the
// corner, texts, pictures, keys and links (each control's place, text and
// font against its table row: test_forms.cpp).
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <richedit.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "HelpAbout.h"
#include "Splash.h"
#include "WinTestUtil.h"

namespace {

std::string RichText(HWND view)
{
    GETTEXTLENGTHEX length{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const auto n = SendMessageW(view, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    GETTEXTEX get{};
    get.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    get.flags = GT_DEFAULT;
    get.codepage = 1200;
    SendMessageW(view, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));
    return Utf8(text);
}

COLORREF RichColour(HWND view)
{
    CHARRANGE all{0, -1};
    SendMessageW(view, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
    CHARFORMAT2W f{};
    f.cbSize = sizeof f;
    SendMessageW(view, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&f));
    return (f.dwMask & CFM_COLOR) ? f.crTextColor : CLR_INVALID;
}

struct TOwner {
    HWND window;
    TOwner()
    {
        RegisterWidgetClasses();
        window = CreateWindowExW(0, kPanelClass, L"owner", WS_OVERLAPPEDWINDOW, 100, 100, 300, 200, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        ShowWindow(window, SW_SHOW);
    }
    ~TOwner() { DestroyWindow(window); }
};

std::string Joined(std::initializer_list<const char *> lines)
{
    std::string out;
    for (const char *l : lines)
        out += (out.empty() ? "" : "\r") + std::string(l);
    return out;
}

} // namespace

TEST(HelpWindow, LayoutTextsPhotoAndTheCornerThenEscapeCloses)
{
    TOwner owner;
    bool checked = false;
    TWhenReady probe([] { return fHelpATVexo && fHelpATVexo->StartTimerFired(); }, [&] {
        TfHelpATVexo &f = *fHelpATVexo;
        HWND w = f.Handle();
        ExpectSizableWindow(w, "Справка \"AT\" команд Vexo", 593, 727);
        RECT outer;
        GetWindowRect(w, &outer);
        EXPECT_EQ(outer.left, 0);
        EXPECT_EQ(outer.top, 0);
        EXPECT_FALSE(IsWindowEnabled(owner.window)); // modal
        EXPECT_EQ(WindowText(f.Control("Label1")), "“AT” команды \"Vexo\".");
        EXPECT_EQ(RichText(f.Control("RichEdit1")),
                  Joined({"Внимание!!! у \"Vexo\", “AT” команды доступны по порту корректора, только в течении ",
                          "7 сек после включения питания Vexo. Скорость работы по порту \"19200\"!!!"}));
        std::string help;
        for (size_t i = 0; i < forms::HelpTextLines.size(); ++i)
            help += (i ? "\r" : "") + std::string(forms::HelpTextLines[i]);
        EXPECT_EQ(RichText(f.Control("RichEdit2")), help);
        EXPECT_NE(RichText(f.Control("RichEdit2")).find("       контакт  DB9 (« ВУ »)"), std::string::npos);
        EXPECT_EQ(RichColour(f.Control("RichEdit1")), RGB(255, 0, 0));
        EXPECT_EQ(RichColour(f.Control("RichEdit2")), GetSysColor(COLOR_WINDOWTEXT));
        // the photograph at its own size, cut by the control
        EXPECT_EQ(f.Photo().width, 594);
        EXPECT_EQ(f.Photo().height, 380);
        // no control takes the focus: keys reach the window
        EXPECT_EQ(GetFocus(), w);
        PressKey(w, 'A');
        PressKey(w, VK_RETURN);
        PressKey(w, VK_DOWN);
        PressKey(w, '7');
        checked = true;
    });
    // letters, digits, Enter and arrows leave it open; Escape closes it
    TWhenReady later([&] { return checked; }, [&] {
        EXPECT_NE(fHelpATVexo, nullptr);
        PressKey(fHelpATVexo->Handle(), VK_ESCAPE);
    });
    ShowHelpForm(owner.window);
    EXPECT_TRUE(checked);
    EXPECT_EQ(fHelpATVexo, nullptr); // released
    EXPECT_TRUE(IsWindowEnabled(owner.window));
}

TEST(AboutWindow, LayoutTextsAndShownNameThenKeysClose)
{
    TOwner owner;
    for (WPARAM key : {WPARAM(VK_ESCAPE), WPARAM(VK_RETURN)}) {
        SCOPED_TRACE(key);
        HWND first = nullptr;
        bool checked = false;
        TWhenReady probe([] { return AboutForm && AboutForm->StartTimerFired(); }, [&] {
            TAboutForm &f = *AboutForm;
            HWND w = f.Handle();
            first = w;
            EXPECT_EQ(WindowText(w), "О программе ");
            const LONG style = GetWindowLongW(w, GWL_STYLE);
            EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER));
            RECT r;
            GetWindowRect(w, &r);
            EXPECT_EQ(r.left, 0);
            EXPECT_EQ(r.top, 0);
            EXPECT_EQ(r.right - r.left, 368);
            EXPECT_EQ(r.bottom - r.top, 252);
            EXPECT_EQ(WindowText(f.Control("lNamePO")), "AT_Vexo");
            EXPECT_EQ(WindowText(f.Control("Label_versPr")), "AT_Vexo-" VEXO_PROJECT_VERSION);
            EXPECT_EQ(WindowText(f.Control("Label5")), "Программное обеспечение\r\n      \"AT\" команды Vexo");
            EXPECT_EQ(WindowText(f.Control("Label2")), "версия:");
            EXPECT_EQ(WindowText(f.Control("Label1")), "Win98, WinXP, Win2000, Vista, Win7");
            EXPECT_EQ(WindowText(f.Control("address")), forms::Find(forms::AboutForm, "address")->text);
            EXPECT_EQ(WindowText(f.Control("OKButton")), "ДА");
            EXPECT_EQ(f.Hint(f.Control("l_http")), WindowText(f.Control("l_http")));
            EXPECT_EQ(f.Hint(f.Control("l_mail")).rfind("mailto:", 0), 0u);
            EXPECT_EQ(f.Logo().width, 173);
            EXPECT_EQ(f.Logo().height, 164);
            EXPECT_EQ(GetFocus(), f.Control("OKButton"));
            PressKey(f.Control("OKButton"), 'X'); // any other key: stays open
            PressKey(f.Control("OKButton"), key);
            checked = true;
        });
        ShowAboutForm(owner.window);
        EXPECT_TRUE(checked);
        EXPECT_EQ(AboutForm, nullptr);
        EXPECT_FALSE(IsWindow(first)); // released: the next opening is a new window
    }
}

TEST(AboutWindow, OkClickEndsWithResultAndLinksOpenTheirHints)
{
    TOwner owner;
    std::vector<std::pair<HWND, std::string>> opened;
    TAboutForm::SetLinkOpener([&](HWND o, const std::string &file) {
        opened.emplace_back(o, file);
        throw std::runtime_error("no browser"); // a failure passes silently
    });
    int result = -1;
    TWhenReady probe([] { return AboutForm != nullptr && IsWindowVisible(AboutForm->Handle()); }, [&] {
        TAboutForm &f = *AboutForm;
        HWND http = f.Control("l_http"), mail = f.Control("l_mail");
        // the hint is what opens, whatever the caption says
        SetWindowTextW(mail, L"mailto:someone@else.example");
        SendMessageW(f.Handle(), WM_COMMAND, MAKEWPARAM(0, STN_CLICKED), reinterpret_cast<LPARAM>(http));
        SendMessageW(f.Handle(), WM_COMMAND, MAKEWPARAM(0, STN_CLICKED), reinterpret_cast<LPARAM>(mail));
        EXPECT_TRUE(IsWindowVisible(f.Handle()));
        SendMessageW(f.Control("OKButton"), BM_CLICK, 0, 0);
        result = f.ModalResult();
    });
    ShowAboutForm(owner.window);
    TAboutForm::SetLinkOpener(nullptr);
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].first, owner.window);
    EXPECT_EQ(opened[0].second, forms::Find(forms::AboutForm, "l_http")->hint);
    EXPECT_EQ(opened[1].second, forms::Find(forms::AboutForm, "l_mail")->hint);
}

TEST(SplashWindow, BorderlessCentredAndScaledFrom120Dpi)
{
    struct {
        int dpi, width, height;
    } const cases[] = {{120, 230, 106}, {96, 184, 85}, {144, 276, 127}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dpi);
        TSplashForm splash(c.dpi);
        splash.ShowAndPaint();
        HWND w = splash.Handle();
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(IsWindowVisible(w));
        EXPECT_FALSE(GetWindowLongW(w, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_BORDER));
        RECT r;
        GetWindowRect(w, &r);
        EXPECT_EQ(r.right - r.left, c.width);
        EXPECT_EQ(r.bottom - r.top, c.height);
        EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - c.width) / 2);
        EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - c.height) / 2);
        // painted at once: no paint is left for a message loop to do
        RECT pending;
        EXPECT_FALSE(GetUpdateRect(w, &pending, FALSE));
    }
}

TEST(Windows, EveryWindowCarriesTheProgramIcon)
{
    TOwner owner;
    TSplashForm splash(120);
    EXPECT_NE(GetClassLongPtrW(splash.Handle(), GCLP_HICON), 0);
    bool checked = false;
    TWhenReady probe([] { return fHelpATVexo != nullptr; }, [&] {
        EXPECT_NE(GetClassLongPtrW(fHelpATVexo->Handle(), GCLP_HICON), 0);
        EXPECT_NE(GetClassLongPtrW(fHelpATVexo->Handle(), GCLP_HICONSM), 0);
        checked = true;
        fHelpATVexo->Close();
    });
    ShowHelpForm(owner.window);
    EXPECT_TRUE(checked);
    checked = false;
    TWhenReady about([] { return AboutForm != nullptr; }, [&] {
        EXPECT_NE(GetClassLongPtrW(AboutForm->Handle(), GCLP_HICON), 0);
        checked = true;
        AboutForm->Close();
    });
    ShowAboutForm(owner.window);
    EXPECT_TRUE(checked);
}
