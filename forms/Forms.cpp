#include "Forms.h"

namespace forms {

std::span<const TForm *const> AllForms()
{
    static const TForm *const all[] = {&MainForm, &HelpForm, &AboutForm, &SplashForm};
    return all;
}

const TControl *Find(const TForm &form, std::string_view name)
{
    for (const TControl &c : form.controls) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

} // namespace forms
