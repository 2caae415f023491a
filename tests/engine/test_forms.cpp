// The windows' tables: their reviewed dump, their structure, and how the
// command catalogue meets the main window's buttons.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include "Commands.h"
#include "Forms.h"

namespace {

using forms::TAction;
using forms::TKind;

std::string FileText(const char *path)
{
    std::ifstream f(path, std::ios::binary);
    return f ? std::string(std::istreambuf_iterator<char>(f), {}) : std::string();
}

bool IsContainer(TKind k) { return k == TKind::Panel || k == TKind::ToolBar; }

} // namespace

// Each caption, hint, place and size was read against the windows' design
// when the golden file was written; a change to a table shows up here as a
// reviewable difference. To take a reviewed change: run the test with
// VEXO_FORMS_GOLDEN_OUT=<file> and copy that file over tests/data/forms.golden.
TEST(Forms, DumpMatchesTheReviewedGolden)
{
    const std::string dump = forms::DumpAll();
    if (const char *out = std::getenv("VEXO_FORMS_GOLDEN_OUT"))
        std::ofstream(out, std::ios::binary) << dump;
    const std::string golden = FileText(VEXO_FORMS_GOLDEN);
    ASSERT_FALSE(golden.empty()) << VEXO_FORMS_GOLDEN;
    // The first line that differs, rather than two pages of text.
    std::istringstream now(dump), then(golden);
    std::string a, b;
    for (int line = 1; bool(std::getline(now, a)) | bool(std::getline(then, b)); ++line, a.clear(), b.clear()) {
        ASSERT_EQ(a, b) << "tests/data/forms.golden line " << line;
    }
}

TEST(Forms, ParentsComeFirstNamesAreUniqueChildrenFitTheirParents)
{
    for (const forms::TForm *form : forms::AllForms()) {
        std::set<std::string_view> seen;
        std::set<int> tabs;
        std::set<std::string_view> keys;
        for (const forms::TControl &c : form->controls) {
            SCOPED_TRACE(std::string(form->name) + "." + std::string(c.name));
            EXPECT_TRUE(seen.insert(c.name).second) << "a second control of this name";
            EXPECT_NE(c.name, form->name);
            const forms::TControl *parent = c.parent == form->name ? nullptr : forms::Find(*form, c.parent);
            if (c.parent != form->name) {
                ASSERT_NE(parent, nullptr) << "no parent " << c.parent;
                EXPECT_LT(parent, &c) << "the parent comes later";
                EXPECT_TRUE(IsContainer(parent->kind)) << c.parent << " holds no controls";
            }
            // A toolbar holds its buttons, its gaps and the set-up window's label.
            const bool inToolBar = parent && parent->kind == TKind::ToolBar;
            EXPECT_EQ(inToolBar, c.kind == TKind::ToolButton || c.kind == TKind::Separator ||
                                     (c.kind == TKind::Label && c.name == "lSetupWindow"));
            if (!c.key.empty()) {
                EXPECT_TRUE(keys.insert(c.key).second) << "key " << c.key << " twice";
                EXPECT_NE(c.action, TAction::None) << "a key that does nothing";
            }
            if (c.kind == TKind::Key) {
                EXPECT_FALSE(c.key.empty());
                continue;
            }
            if (c.tabOrder >= 0) {
                EXPECT_TRUE(tabs.insert(c.tabOrder).second) << "tab order " << c.tabOrder << " twice";
            }
            if (c.kind == TKind::Timer) {
                EXPECT_GT(c.interval, 0);
                continue;
            }
            // Inside the parent's design size (a label may size itself).
            const int w = parent ? parent->width : form->clientWidth;
            const int h = parent ? parent->height : form->clientHeight;
            EXPECT_GE(c.left, 0);
            EXPECT_GE(c.top, 0);
            if (c.width >= 0) {
                EXPECT_LE(c.left + c.width, w);
            }
            if (c.height >= 0) {
                EXPECT_LE(c.top + c.height, h);
            }
            if (c.kind != TKind::Label && c.kind != TKind::LinkLabel) {
                EXPECT_TRUE(c.width > 0 && c.height > 0) << "no size";
            }
        }
        // One keyboard order with no gaps: 0, 1, 2, ...
        int expected = 0;
        for (int t : tabs)
            EXPECT_EQ(t, expected++) << form->name;
    }
}

TEST(Forms, EveryCommandButtonHasItsCatalogueRowAndEachRowItsButton)
{
    std::set<std::string_view> buttons;
    for (const forms::TControl &c : forms::MainForm.controls) {
        if (c.action != TAction::Command)
            continue;
        buttons.insert(c.name);
        EXPECT_EQ(c.kind, TKind::Button) << c.name;
        EXPECT_GE(CommandOfButton(c.name), 0) << c.name << " sends no command";
    }
    std::set<std::string_view> names;
    for (int n = 0; n < ATCommandCount; ++n) {
        const TCommand &row = Catalogue[n];
        SCOPED_TRACE(std::string(row.name));
        EXPECT_TRUE(names.insert(row.name).second);
        EXPECT_EQ(buttons.count(row.button), 1u) << "no command button " << row.button;
        EXPECT_EQ(CommandOfButton(row.button), n) << "two rows share a button";
        const forms::TControl *source = forms::Find(forms::MainForm, row.control);
        switch (row.source) {
        case TParamSource::None:
            EXPECT_TRUE(row.control.empty());
            break;
        case TParamSource::SpeedCode:
            ASSERT_NE(source, nullptr) << row.control;
            EXPECT_EQ(source->kind, TKind::EditCombo);
            break;
        case TParamSource::Text:
            ASSERT_NE(source, nullptr) << row.control;
            EXPECT_EQ(source->kind, TKind::SpinEdit);
            break;
        case TParamSource::Flag:
            ASSERT_NE(source, nullptr) << row.control;
            EXPECT_EQ(source->kind, TKind::CheckBox);
            EXPECT_FALSE(row.onShown.empty() || row.offShown.empty());
            break;
        }
    }
    EXPECT_EQ(buttons.size(), std::size_t(ATCommandCount));
}
