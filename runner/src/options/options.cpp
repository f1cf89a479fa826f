#include "options/options.h"

#include <cwchar>

namespace {

constexpr DWORD ScmString = OPT_SCM | OPT_STRING;
constexpr DWORD ScmPath = OPT_SCM | OPT_PATH | OPT_STRING;
constexpr DWORD List = OPT_PARAMETERS | OPT_MULTI;
constexpr DWORD String = OPT_PARAMETERS | OPT_STRING;
constexpr DWORD Path = OPT_PARAMETERS | OPT_PATH | OPT_STRING;
constexpr DWORD Number = OPT_PARAMETERS | OPT_NUMBER;
constexpr DWORD Unstored = OPT_PARAMETERS | OPT_UNSTORED;

const OptionEntry InitialTable[OPTION_COUNT + 1] = {
    {L"Description", L"Description", nullptr, ScmString, nullptr, 0},
    {L"DisplayName", L"DisplayName", nullptr, ScmString, nullptr, 0},
    {L"Install", L"ImagePath", nullptr, ScmPath, nullptr, 0},
    {L"ServiceUser", L"ServiceUser", nullptr, ScmString, nullptr, 0},
    {L"ServicePassword", L"ServicePassword", nullptr, ScmString, nullptr, 0},
    {L"Startup", L"Startup", nullptr, ScmString, nullptr, 0},
    {L"Type", L"Type", nullptr, ScmString, nullptr, 0},
    {L"DependsOn", L"DependsOn", nullptr, List, nullptr, 0},
    {L"Environment", L"Environment", nullptr, List, nullptr, 0},
    {L"User", L"User", nullptr, String, nullptr, 0},
    {L"Password", L"Password", nullptr, Unstored, nullptr, 0},
    {L"LibraryPath", L"LibraryPath", nullptr, Path, nullptr, 0},
    {L"JavaHome", L"JavaHome", L"Java", Path, nullptr, 0},
    {L"Jvm", L"Jvm", L"Java", Path, nullptr, 0},
    {L"JvmOptions", L"Options", L"Java", List, nullptr, 0},
    {L"Classpath", L"Classpath", L"Java", Path, nullptr, 0},
    {L"JvmMs", L"JvmMs", L"Java", Number, nullptr, 0},
    {L"JvmMx", L"JvmMx", L"Java", Number, nullptr, 0},
    {L"JvmSs", L"JvmSs", L"Java", Number, nullptr, 0},
    {L"StopImage", L"Image", L"Stop", Path, nullptr, 0},
    {L"StopPath", L"WorkingPath", L"Stop", Path, nullptr, 0},
    {L"StopClass", L"Class", L"Stop", String, nullptr, 0},
    {L"StopParams", L"Params", L"Stop", List, nullptr, 0},
    {L"StopMethod", L"Method", L"Stop", String, nullptr, 0},
    {L"StopMode", L"Mode", L"Stop", String, nullptr, 0},
    {L"StopTimeout", L"Timeout", L"Stop", Number, nullptr, 0},
    {L"StartImage", L"Image", L"Start", Path, nullptr, 0},
    {L"StartPath", L"WorkingPath", L"Start", Path, nullptr, 0},
    {L"StartClass", L"Class", L"Start", String, nullptr, 0},
    {L"StartParams", L"Params", L"Start", List, nullptr, 0},
    {L"StartMethod", L"Method", L"Start", String, nullptr, 0},
    {L"StartMode", L"Mode", L"Start", String, nullptr, 0},
    {L"LogPath", L"Path", L"Log", Path, nullptr, 0},
    {L"LogPrefix", L"Prefix", L"Log", String, nullptr, 0},
    {L"LogLevel", L"Level", L"Log", String, nullptr, 0},
    {L"StdError", L"StdError", L"Log", Path, nullptr, 0},
    {L"StdOutput", L"StdOutput", L"Log", Path, nullptr, 0},
    {L"LogJniMessages", L"LogJniMessages", L"Log", Number, nullptr, 1},
    {L"PidFile", L"PidFile", L"Log", String, nullptr, 0},
    {L"Rotate", L"Rotate", L"Log", Number, nullptr, 0},
    {L"", nullptr, nullptr, 0, nullptr, 0},
};

}  // namespace

OptionEntry OptionTable[OPTION_COUNT + 1];

void resetOptionTable() {
    for (int i = 0; i <= OPTION_COUNT; ++i) OptionTable[i] = InitialTable[i];
}

namespace {
// The table holds its initial rows before main runs.
const bool TableReady = (resetOptionTable(), true);
}  // namespace

const wchar_t* optionString(OptionIndex index) { return OptionTable[index].stringValue; }

LONG optionNumber(OptionIndex index) { return OptionTable[index].numberValue; }

BOOL optionIsSet(OptionIndex index) { return (OptionTable[index].flags & OPT_SET) != 0; }

OptionEntry* findOption(const wchar_t* name, size_t length) {
    for (OptionEntry* row = OptionTable; row->name[0]; ++row) {
        if (std::wcslen(row->name) == length && std::wcsncmp(row->name, name, length) == 0) return row;
    }
    return nullptr;
}
