// The main window's settings-file controls: saving the boxes to a profile,
// opening one into the boxes (checked whole first, nothing sent), and which
// file the boxes still hold. The dialogs are asked only by the Click entries;
// the actions themselves take a path, so tests and scripts bypass them.
#pragma once

#include <optional>
#include <string>

#include "MainView.h"
#include "Profile.h"

class TAT_VexoEngine;

// The file the boxes were last saved to or opened from, with what it set.
struct TOpenedProfile {
    std::string path;
    TProfileValues values;
    TUnitParams unit = TUnitParams::Unknown;
    std::string moduleLine;
};

class TProfiles {
public:
    TProfiles(TAT_VexoEngine &engine, IMainView &view);

    void SaveClick(); // asks for the file, then Save
    void OpenClick(); // asks for the file, then Open
    bool Save(const std::string &path);
    bool Open(const std::string &path);

    // The file while the boxes hold exactly what it has; nullopt otherwise.
    std::optional<TOpenedProfile> Source() const;

private:
    TAT_VexoEngine &FEngine;
    IMainView &FView;
    std::optional<TOpenedProfile> FOpened;
};

// The dialogs' file types and the name proposed ("Vexo-2026-12-09-0310").
const std::vector<TSaveFilter> &ProfileFilters();
std::string SuggestedProfileName(std::int64_t ms);
