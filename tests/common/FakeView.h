// A window for the engine's tests: it remembers what the engine did to it,
// and the test plays the operator and the clock.
#pragma once

#include <functional>
#include <map>
#include <string>
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

class TFakeView : public IMainView {
public:
    TFakeView()
    {
        texts[TViewText::cbSpeed_Cor] = "19200";
        texts[TViewText::cbSpeed_SeA] = "115200";
        texts[TViewText::cbSpeed_SeA_Prn] = "19200";
        texts[TViewText::seAdrModBus] = "1";
    }

    std::string Text(TViewText control) const override
    {
        const auto it = texts.find(control);
        return it == texts.end() ? std::string() : it->second;
    }
    void SetText(TViewText control, const std::string &text) override { texts[control] = text; }
    void ClearPortList() override { portList.clear(); }
    void AddPortItem(const std::string &name) override { portList.push_back(name); }
    bool KLV707Checked() const override { return klv707; }
    void SetKLV707Checked(bool checked) override { klv707 = checked; }
    void SetLabel(TViewLabel label, const std::string &text, TColour colour) override
    {
        labels[label] = {text, colour};
        ++labelSets;
    }
    void SetButtonDown(TViewButton button, bool down) override { buttons[button] = down; }

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

    bool Down(TViewButton button) const
    {
        const auto it = buttons.find(button);
        return it != buttons.end() && it->second;
    }

    bool Running(TViewTimer timer) const
    {
        const auto it = running.find(timer);
        return it != running.end() && it->second;
    }

    std::map<TViewText, std::string> texts;
    std::vector<std::string> portList;
    bool klv707 = false;
    std::vector<TLogLine> log;
    std::map<TViewBar, int> bars;
    std::vector<TBox> boxes;
    std::map<TViewLabel, TLogLine> labels; // text and colour
    int labelSets = 0;
    std::map<TViewButton, bool> buttons;
    std::vector<TBox> saveAsked; // caption, suggested name
    std::vector<TSaveFilter> saveFilters;
    TSaveChoice saveChoice; // what the operator picks: empty path, cancelled
    std::function<void()> onBox; // runs inside the modal box
    std::map<TViewTimer, bool> running;
    std::map<TViewTimer, int> intervals;
    std::map<TViewTimer, int> starts;
    int moves = 0, helps = 0, abouts = 0, closes = 0;
};
