#include "ProfileActions.h"

#include "ErrorText.h"
#include "Forms.h"
#include "Journal.h"
#include "LogHelpers.h"
#include "Sequences.h"
#include "pAT_Vexo.h"

namespace {

const char *const TextSaveCaption = "Сохранить параметры Vexo";
const char *const TextOpenCaption = "Открыть параметры Vexo";
const char *const TextSaved = "параметры сохранены в файл";
const char *const TextNotSaved = "параметры не сохранены";
const char *const TextOpened = "параметры открыты из файла";
const char *const TextNotOpened = "параметры не открыты";

std::string Quoted(const std::string &s) { return '"' + s + '"'; }

} // namespace

const std::vector<TSaveFilter> &ProfileFilters()
{
    static const std::vector<TSaveFilter> filters = {
        {"Параметры Vexo (*.txt)", "txt"},
    };
    return filters;
}

std::string SuggestedProfileName(std::int64_t ms)
{
    // "ATVexo-2026-12-09-0310" -> "Vexo-2026-12-09-0310"
    return SuggestedSessionName(ms).substr(2);
}

TProfiles::TProfiles(TAT_VexoEngine &engine, IMainView &view) : FEngine(engine), FView(view) {}

void TProfiles::SaveClick()
{
    const TSaveChoice choice =
        FView.AskSaveFile(TextSaveCaption, SuggestedProfileName(FEngine.Journal().Now()), ProfileFilters());
    if (!choice.path.empty())
        Save(choice.path);
}

void TProfiles::OpenClick()
{
    const std::string path = FView.AskOpenFile(TextOpenCaption, ProfileFilters());
    if (!path.empty())
        Open(path);
}

bool TProfiles::Save(const std::string &path)
{
    // A box the operator typed nonsense into would make a file no one can open.
    const TBoxValues boxes = ReadBoxValues(FView);
    if (!boxes.values) {
        FEngine.AddToLog(lkError, std::string(TextNotSaved) + " в файл " + Quoted(path) + ": " + boxes.fault);
        return false;
    }
    TProfile p;
    p.program = AppTitle() + " " + std::string(forms::ProgramVersion);
    p.saved = FormatStamp(FEngine.Journal().Now()).substr(0, 19);
    p.moduleLine = FEngine.ModuleLine();
    p.unit = FEngine.Sequences().Unit();
    p.values = *boxes.values;
    if (!WriteProfileFile(path, p)) {
        FEngine.AddToLog(lkError, std::string(TextNotSaved) + ": не удалось записать файл " + Quoted(path));
        return false;
    }
    FOpened = TOpenedProfile{path, p.values, p.unit, p.moduleLine};
    FEngine.AddToLog(lkGood, std::string(TextSaved) + ' ' + Quoted(path) + ": " + DescribeValues(p.values));
    return true;
}

bool TProfiles::Open(const std::string &path)
{
    const TProfileRead read = ReadProfileFile(path);
    if (!read.profile) {
        std::string where = "файл " + Quoted(path);
        if (read.fault.line > 0)
            where += ", строка " + std::to_string(read.fault.line);
        FEngine.AddToLog(lkError, std::string(TextNotOpened) + ", " + where + ": " + read.fault.what +
                                      "; поля не изменены");
        return false;
    }
    // A read all still running would put the unit's values over the file's.
    FEngine.EscapePress();
    PutBoxValues(FView, read.profile->values);
    FOpened = TOpenedProfile{path, read.profile->values, read.profile->unit, read.profile->moduleLine};
    std::string line = std::string(TextOpened) + ' ' + Quoted(path) + ": " + DescribeValues(read.profile->values);
    if (!read.profile->moduleLine.empty())
        line += " (сохранены с " + read.profile->moduleLine + ')';
    FEngine.AddToLog(lkGood, line + "; в Vexo не записано");
    return true;
}

std::optional<TOpenedProfile> TProfiles::Source() const
{
    if (!FOpened)
        return std::nullopt;
    const TBoxValues boxes = ReadBoxValues(FView);
    if (!boxes.values || !(*boxes.values == FOpened->values))
        return std::nullopt;
    return FOpened;
}
