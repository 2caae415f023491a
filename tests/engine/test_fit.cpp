// The windows in a screen's work area: the client height a window gets, and
// where it goes so that its title bar stays within reach.
#include <gtest/gtest.h>

#include "Forms.h"

namespace {

using forms::ClampIntoArea;
using forms::FitClientHeight;

// 1366 x 768 less a 40 px task bar; 1920 x 1080 at 150 % less 60 px.
constexpr int kLaptopWork = 728, kFullHdWork = 1020;

TEST(ScreenFit, OnlyAShortWorkAreaShortensTheMainWindowAndNeverBelowItsLeast)
{
    const int frame96 = forms::MainForm.outerHeight - forms::MainForm.clientHeight; // 38
    EXPECT_EQ(FitClientHeight(forms::MainForm, frame96, 1024, 96).clientHeight, 703) << "room enough: the design";
    EXPECT_EQ(FitClientHeight(forms::MainForm, frame96, 741, 96).clientHeight, 703) << "exactly enough";
    EXPECT_EQ(FitClientHeight(forms::MainForm, frame96, kLaptopWork, 96).clientHeight, 690);

    // at 144 DPI the design is 1055 high, its least 729
    const auto big = FitClientHeight(forms::MainForm, 57, kFullHdWork, 144);
    EXPECT_EQ(big.clientHeight, 1020 - 57);
    EXPECT_EQ(big.minClientHeight, 729);
    EXPECT_EQ(FitClientHeight(forms::MainForm, 57, 1400, 144).clientHeight, 1055);

    // a netbook's 600 px: the log keeps its least, the rest goes off the screen
    const auto tiny = FitClientHeight(forms::MainForm, frame96, 400, 96);
    EXPECT_EQ(tiny.minClientHeight, forms::MainForm.minClientHeight);
    EXPECT_EQ(tiny.clientHeight, tiny.minClientHeight);
    // what the log gives up is what it has above its least
    const forms::TControl *log = forms::Find(forms::MainForm, "reWin");
    ASSERT_NE(log, nullptr);
    EXPECT_GT(log->height - (703 - tiny.minClientHeight), 0) << "the log keeps some lines";
}

TEST(ScreenFit, AWindowWithoutALeastKeepsItsDesignHeight)
{
    EXPECT_EQ(forms::HelpForm.minClientHeight, 0);
    for (int work : {300, kLaptopWork, 2000}) {
        const auto fit = FitClientHeight(forms::HelpForm, 46, work, 96);
        EXPECT_EQ(fit.clientHeight, 727) << work;
        EXPECT_EQ(fit.minClientHeight, 727) << work;
    }
    EXPECT_EQ(FitClientHeight(forms::HelpForm, 69, 700, 144).clientHeight, 1091) << "scaled, rounded as the edges";
}

TEST(ScreenFit, AWindowGoesInsideTheAreaOrKeepsItsTopLeftCornerInIt)
{
    const forms::TArea laptop{0, 0, 1366, 728};
    // inside: unchanged
    EXPECT_EQ(ClampIntoArea(319, 157, 736, 500, laptop).y, 157);
    EXPECT_EQ(ClampIntoArea(319, 157, 736, 500, laptop).x, 319);
    // past the bottom and the right edge: moved back
    const auto back = ClampIntoArea(1000, 300, 611, 500, laptop);
    EXPECT_EQ(back.x, 1366 - 611);
    EXPECT_EQ(back.y, 728 - 500);
    // taller than the area: the top edge at the area's
    EXPECT_EQ(ClampIntoArea(368, 211, 611, 773, laptop).y, 0);
    // a task bar at the top and at the left: the area's corner, not the screen's
    const forms::TArea below{0, 40, 1366, 728}, beside{60, 0, 1306, 768};
    EXPECT_EQ(ClampIntoArea(0, 0, 611, 773, below).y, 40);
    EXPECT_EQ(ClampIntoArea(0, 0, 611, 300, beside).x, 60);
    EXPECT_EQ(ClampIntoArea(0, 0, 2000, 300, beside).x, 60) << "wider than the area";
}

} // namespace
