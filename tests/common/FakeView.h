// A window for the engine's tests: it remembers what the engine did to it,
// and the test plays the operator and the clock.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "MainView.h"

inline const TColour Blue{0, 0, 255}, Maroon{128, 0, 0}, Red{255, 0, 0}, Green{0, 128, 0}, Black{0, 0, 0};

struct TLogLine {
    std::string text;
    TColour colour;
    friend bool operator==(const TLogLine &, const TLogLine &) = default;
};

struct TBox {
    std::string caption, text;
    friend bool operator==(const TBox &, const TBox &) = default;
};

// Values by control name; `map[name]` takes the names of MainView.h.
template <typename T>
struct TByName : std::map<std::string, T, std::less<>> {
    T &operator[](std::string_view name) { return this->try_emplace(std::string(name)).first->second; }
    T Get(std::string_view name) const
    {
        const auto it = this->find(name);
        return it == this->end() ? T{} : it->second;
    }
};

// Starts with nothing set: the engine gives the controls their design values.
class TFakeView : public IMainView {
public:
    std::string Text(std::string_view control) const override { return texts.Get(control); }
    void SetText(std::string_view control, const std::string &text) override { texts[control] = text; }
    bool Checked(std::string_view control) const override { return checks.Get(control); }
    void SetChecked(std::string_view control, bool checked) override { checks[control] = checked; }
    void ClearPortList() override { portList.clear(); }
    void AddPortItem(const std::string &name) override { portList.push_back(name); }
    void SetPortItemNote(const std::string &name, const std::string &note) override { portNotes[name] = note; }
    void SetHint(std::string_view control, const std::string &text) override { hints[std::string(control)] = text; }
    void SetLabel(std::string_view control, const std::string &text, TColour colour) override
    {
        labels[control] = {text, colour};
        ++labelSets;
    }
    void SetButtonDown(std::string_view control, bool down) override { buttons[control] = down; }

    void AppendLogLine(const std::string &text, TColour colour) override { log.push_back({text, colour}); }
    void ClearLogView() override { log.clear(); }
    void SetBarPosition(TViewBar bar, int position) override { bars[bar] = position; }
    void ShowMessageBox(const std::string &caption, const std::string &text) override
    {
        boxes.push_back({caption, text});
        if (onBox)
            onBox();
    }
    TSaveChoice AskSaveFile(const std::string &caption, const std::string &suggestedName,
                            const std::vector<TSaveFilter> &filters) override
    {
        saveAsked.push_back({caption, suggestedName});
        saveFilters = filters;
        return saveChoice;
    }
    std::string AskOpenFile(const std::string &caption, const std::vector<TSaveFilter> &filters) override
    {
        openAsked.push_back(caption);
        saveFilters = filters;
        return openChoice;
    }
    void StartTimer(TViewTimer timer, int intervalMs) override
    {
        running[timer] = true;
        intervals[timer] = intervalMs;
        ++starts[timer];
    }
    void StopTimer(TViewTimer timer) override { running[timer] = false; }
    void MoveToTopLeft() override { ++moves; }
    void ShowHelpForm() override { ++helps; }
    void ShowAboutForm() override { ++abouts; }
    void CloseWindow() override { ++closes; }

    bool Down(std::string_view button) const { return buttons.Get(button); }

    bool Running(TViewTimer timer) const
    {
        const auto it = running.find(timer);
        return it != running.end() && it->second;
    }

    TByName<std::string> texts;
    TByName<bool> checks;
    bool &klv707 = checks[TViewText::chKLV707]; // map elements stay where they are
    std::vector<std::string> portList;
    std::map<std::string, std::string> portNotes; // by item name
    std::map<std::string, std::string> hints;     // by control name
    std::vector<TLogLine> log;
    std::map<TViewBar, int> bars;
    std::vector<TBox> boxes;
    TByName<TLogLine> labels; // text and colour
    int labelSets = 0;
    TByName<bool> buttons;
    std::vector<TBox> saveAsked; // caption, suggested name
    std::vector<TSaveFilter> saveFilters;
    TSaveChoice saveChoice; // what the operator picks: empty path, cancelled
    std::vector<std::string> openAsked; // captions
    std::string openChoice;             // the file picked to open; empty: cancelled
    std::function<void()> onBox; // runs inside the modal box
    std::map<TViewTimer, bool> running;
    std::map<TViewTimer, int> intervals;
    std::map<TViewTimer, int> starts;
    int moves = 0, helps = 0, abouts = 0, closes = 0;
};
