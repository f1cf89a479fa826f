#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "identification/application_naming.h"
#include "identification/process_identity.h"
#include "identification/version_info.h"
#include "test_processes.h"
#include "text.h"
#include "version_resource.h"

namespace brisko {
namespace {

using testing::ChildProcess;

std::string readable(const std::wstring& text) { return wideToUtf8(text); }

// --- The naming rules ----------------------------------------------------------------------

struct NamesCase {
    const char* name;
    const wchar_t* imagePath;
    const wchar_t* originalFileName;
    const wchar_t* fileDescription;
    const wchar_t* productName;
    const wchar_t* identifier;
    const wchar_t* displayName;
};

class ChooseNamesTest : public ::testing::TestWithParam<NamesCase> {};

TEST_P(ChooseNamesTest, FollowsTheVersionResourceThenTheFileName) {
    const NamesCase& c = GetParam();
    const ExecutableNames names =
        chooseExecutableNames(c.imagePath, c.originalFileName, c.fileDescription, c.productName);
    EXPECT_EQ(readable(names.identifier), readable(c.identifier));
    EXPECT_EQ(readable(names.displayName), readable(c.displayName));
}

// A version resource is the child's to write (UpdateResourceW needs no administrator): only a
// plausible file name is taken from it, and only printable text as a display name.
const std::wstring kLongHostileName = std::wstring(15000, L'n') + L"\r\n,\t\u202e\u0001.exe";

INSTANTIATE_TEST_SUITE_P(
    Names, ChooseNamesTest,
    ::testing::Values(
        NamesCase{"no_version_resource", L"C:\\Tools\\MyApp.EXE", L"", L"", L"", L"win32:myapp.exe", L"MyApp.EXE"},
        NamesCase{"original_name_and_description", L"C:\\Windows\\notepad.exe", L"NOTEPAD.EXE", L"Notepad",
                  L"Operating System", L"win32:notepad.exe", L"Notepad"},
        NamesCase{"product_when_no_description", L"C:\\A\\b.exe", L"B.EXE", L"", L"Bee", L"win32:b.exe", L"Bee"},
        NamesCase{"forward_slashes", L"C:/Program Files/Tool/TOOL.exe", L"", L"", L"", L"win32:tool.exe",
                  L"TOOL.exe"},
        NamesCase{"no_separator", L"Plain.EXE", L"", L"", L"", L"win32:plain.exe", L"Plain.EXE"},
        NamesCase{"unicode_letters_lowered", L"C:\\\u00c4RGER.EXE", L"", L"", L"", L"win32:\u00e4rger.exe",
                  L"\u00c4RGER.EXE"},
        NamesCase{"unicode_original_name_lowered", L"C:\\x.exe", L"\u0393\u03a1\u0391\u03a6\u0395.EXE", L"", L"",
                  L"win32:\u03b3\u03c1\u03b1\u03c6\u03b5.exe", L"x.exe"},
        NamesCase{"trailing_space", L"C:\\U\\copy.exe", L"notepad.exe ", L"Notepad", L"", L"win32:notepad.exe",
                  L"Notepad"},
        NamesCase{"trailing_dots_and_spaces", L"C:\\U\\copy.exe", L"NOTEPAD.EXE. .", L"", L"", L"win32:notepad.exe",
                  L"copy.exe"},
        NamesCase{"nothing_left_after_trimming", L"C:\\U\\copy.exe", L" . ", L"", L"", L"win32:copy.exe",
                  L"copy.exe"},
        NamesCase{"longer_than_a_file_name", L"C:\\U\\copy.exe", kLongHostileName.c_str(), L"", L"",
                  L"win32:copy.exe", L"copy.exe"},
        NamesCase{"bidirectional_override", L"C:\\U\\copy.exe", L"\u202eexe.dapeton", L"", L"", L"win32:copy.exe",
                  L"copy.exe"},
        NamesCase{"control_character", L"C:\\U\\copy.exe", L"note\u0001pad.exe", L"", L"", L"win32:copy.exe",
                  L"copy.exe"},
        NamesCase{"format_character", L"C:\\U\\copy.exe", L"note\u200dpad.exe", L"", L"", L"win32:copy.exe",
                  L"copy.exe"},
        NamesCase{"lone_surrogate", L"C:\\U\\copy.exe", L"note\xd800pad.exe", L"", L"", L"win32:copy.exe",
                  L"copy.exe"},
        NamesCase{"path_separator", L"C:\\U\\copy.exe", L"..\\notepad.exe", L"", L"", L"win32:copy.exe",
                  L"copy.exe"},
        NamesCase{"reserved_character", L"C:\\U\\copy.exe", L"notepad.exe:stream", L"", L"", L"win32:copy.exe",
                  L"copy.exe"},
        NamesCase{"a_pair_is_a_character", L"C:\\U\\copy.exe", L"\U0001F600.exe", L"", L"",
                  L"win32:\U0001F600.exe", L"copy.exe"},
        NamesCase{"display_name_loses_what_is_unprintable", L"C:\\U\\copy.exe", L"", L"Note\r\n\tpad\u202e\u0001",
                  L"", L"win32:copy.exe", L"Notepad"},
        NamesCase{"display_name_of_nothing_printable_falls_back", L"C:\\U\\copy.exe", L"", L"\u202e\u0001",
                  L"Product", L"win32:copy.exe", L"Product"},
        NamesCase{"file_name_loses_what_is_unprintable", L"C:\\U\\note\u202epad.exe", L"", L"", L"",
                  L"win32:notepad.exe", L"notepad.exe"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NamingRules, ADisplayNameIsCutToWholeCharactersWithinTheLimit) {
    const std::wstring description = std::wstring(kMaxDisplayNameLength - 1, L'd') + L"\U0001F600tail";
    const ExecutableNames names = chooseExecutableNames(L"C:\\x.exe", L"", kLongHostileName, L"");
    EXPECT_EQ(names.displayName.size(), kMaxDisplayNameLength);
    EXPECT_FALSE(hasUnprintable(names.displayName));
    // The pair that would cross the limit is left out whole.
    EXPECT_EQ(cleanDisplayName(description), std::wstring(kMaxDisplayNameLength - 1, L'd'));
    // Whatever a version resource holds, the report fits the service's limits.
    EXPECT_LE(chooseExecutableNames(L"C:\\x.exe", std::wstring(255, L'n'), L"", L"").identifier.size(),
              kDesktopPrefix.size() + kMaxFileNameLength);
}

struct ParentCase {
    const char* name;
    const wchar_t* identifier;
    const wchar_t* parentIdentifier;
    bool takesParent;
};

class ParentIdentityTest : public ::testing::TestWithParam<ParentCase> {};

TEST_P(ParentIdentityTest, OnlyJavawTakesItsLaunchersIdentity) {
    const ParentCase& c = GetParam();
    EXPECT_EQ(takesParentIdentity(c.identifier, c.parentIdentifier), c.takesParent);
}

INSTANTIATE_TEST_SUITE_P(
    Parents, ParentIdentityTest,
    ::testing::Values(ParentCase{"launcher", L"win32:javaw.exe", L"win32:minecraft.exe", true},
                      ParentCase{"javaw_started_by_javaw", L"win32:javaw.exe", L"win32:javaw.exe", true},
                      ParentCase{"shell", L"win32:javaw.exe", L"win32:explorer.exe", false},
                      ParentCase{"command_prompt", L"win32:javaw.exe", L"win32:cmd.exe", false},
                      ParentCase{"unnamed_parent", L"win32:javaw.exe", L"", false},
                      ParentCase{"java_console", L"win32:java.exe", L"win32:minecraft.exe", false},
                      ParentCase{"other_program", L"win32:notepad.exe", L"win32:minecraft.exe", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NamingRules, PackagedIdentifierKeepsTheFamilyNameAsItIs) {
    EXPECT_EQ(packagedIdentifier(L"Microsoft.WindowsCalculator_8wekyb3d8bbwe"),
              L"winpkg:Microsoft.WindowsCalculator_8wekyb3d8bbwe");
}

TEST(VersionQueryPath, FormatsTheTranslationAndSkipsWhatDoesNotFit) {
    EXPECT_EQ(versionQueryPath(0x0409, 0x04B0, L"FileDescription"),
              std::optional<std::wstring>(L"\\StringFileInfo\\040904b0\\FileDescription"));
    EXPECT_EQ(versionQueryPath(0, 0, L"ProductName"),
              std::optional<std::wstring>(L"\\StringFileInfo\\00000000\\ProductName"));
    // 63 characters fit the 64-character buffer with its NUL; 64 do not.
    EXPECT_TRUE(versionQueryPath(1, 2, std::wstring(63 - 25, L'k')));
    EXPECT_FALSE(versionQueryPath(1, 2, std::wstring(64 - 25, L'k')));
}

TEST(VersionValueText, EndsAtTheFirstNulWithinTheReportedLength) {
    EXPECT_EQ(versionValueText(L"Notepad", 8), L"Notepad");  // length with its NUL
    EXPECT_EQ(versionValueText(L"Notepad", 7), L"Notepad");  // length without it
    EXPECT_EQ(versionValueText(L"X", 2), L"X");
    EXPECT_EQ(versionValueText(L"", 1), L"");
    EXPECT_EQ(versionValueText(L"", 0), L"");
    EXPECT_EQ(versionValueText(nullptr, 4), L"");
}

// --- Real processes under the names the rules care about -----------------------------------

struct ProcessCase {
    const char* name;
    const wchar_t* program;
    const wchar_t* identifier;
    const wchar_t* displayName;
};

class IdentifyProcessTest : public ::testing::TestWithParam<ProcessCase> {};

TEST_P(IdentifyProcessTest, NamesARunningProgram) {
    const ProcessCase& c = GetParam();
    ChildProcess child = ChildProcess::sibling(c.program);
    ASSERT_TRUE(child);

    ProcessRecord record{child.id(), ProcessKind::Desktop, {}, {}};
    identifyProcess(record, false);
    EXPECT_EQ(record.kind, ProcessKind::Desktop);
    EXPECT_EQ(readable(record.applicationId), readable(c.identifier));
    EXPECT_EQ(readable(record.applicationName), readable(c.displayName));

    ProcessRecord packagedOnly{child.id(), ProcessKind::Packaged, {}, {}};
    identifyProcess(packagedOnly, true);
    EXPECT_EQ(packagedOnly.applicationId, L"");
    EXPECT_EQ(packagedOnly.applicationName, L"");
}

INSTANTIATE_TEST_SUITE_P(
    Programs, IdentifyProcessTest,
    ::testing::Values(ProcessCase{"version_resource", L"ident_notepad.exe", L"win32:notepad.exe", L"Notepad"},
                      ProcessCase{"no_version_resource", L"MyApp.EXE", L"win32:myapp.exe", L"MyApp.EXE"},
                      ProcessCase{"product_name", L"ident_product.exe", L"win32:ident_product.exe",
                                  L"Product Only"},
                      ProcessCase{"javaw_started_by_the_test", L"javaw.exe", L"win32:identification_test.exe",
                                  L"identification_test.exe"}),
    [](const auto& info) { return std::string(info.param.name); });

// Copies whose version resource a user rewrote, read back as a running program. (Under Wine a
// program file named notepad.exe runs Wine's own editor, so the copies are named otherwise.)
TEST(IdentifyProcess, AVersionResourceRewrittenByTheUserIsReadAsWritten) {
    const std::wstring hostile = std::wstring(15000, L'n') + L"\r\n,\t\u202e\u0001";
    // A folder and file names of this run alone: Wine keeps the images it mapped by their file.
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         (L"identification-test-copies-" + std::to_wstring(::GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    const struct {
        const char* name;
        std::wstring fileName;
        testing::VersionStrings strings;
        std::wstring identifier;
        std::wstring displayName;
    } cases[] = {
        {"trailing_space", L"editor.exe", {L"notepad.exe ", L"Notepad"}, L"win32:notepad.exe", L"Notepad"},
        {"hostile_original_name", L"Kids Notes.exe", {hostile, L"Notepad"}, L"win32:kids notes.exe", L"Notepad"},
        {"hostile_description", L"copy.exe", {L"NOTEPAD.EXE", hostile}, L"win32:notepad.exe",
         std::wstring(kMaxDisplayNameLength, L'n')},
        {"both_hostile", L"Kids Notes 2.exe", {hostile, hostile}, L"win32:kids notes 2.exe",
         std::wstring(kMaxDisplayNameLength, L'n')},
    };
    for (const auto& c : cases) {
        const std::wstring copy = (folder / c.fileName).wstring();
        ASSERT_TRUE(testing::copyWithVersion(siblingPath(L"MyApp.EXE"), copy, c.strings)) << c.name;
        ChildProcess child(L"\"" + copy + L"\"");
        ASSERT_TRUE(child) << c.name << ": error " << ::GetLastError();
        ProcessRecord record{child.id(), ProcessKind::Desktop, {}, {}};
        identifyProcess(record, false);
        EXPECT_EQ(readable(record.applicationId), readable(c.identifier)) << c.name;
        EXPECT_EQ(readable(record.applicationName), readable(c.displayName)) << c.name;
    }
    std::filesystem::remove_all(folder);
}

TEST(IdentifyProcess, JavawTakesItsLaunchersIdentity) {
    ChildProcess launcher = ChildProcess::sibling(L"ident_notepad.exe", L"spawn javaw.exe");
    ASSERT_TRUE(launcher);
    const DWORD javaw = testing::waitForChild(launcher.id(), L"javaw.exe");
    ASSERT_NE(javaw, 0u);
    EXPECT_EQ(parentProcessId(javaw), launcher.id());

    ProcessRecord record{javaw, ProcessKind::Desktop, {}, {}};
    identifyProcess(record, false);
    EXPECT_EQ(readable(record.applicationId), "win32:notepad.exe");
    EXPECT_EQ(readable(record.applicationName), "Notepad");
    testing::endProcess(javaw);
}

TEST(IdentifyProcess, JavawStartedFromCmdStaysJavaw) {
    ChildProcess cmd(L"cmd.exe /c \"" + siblingPath(L"javaw.exe") + L"\"");
    ASSERT_TRUE(cmd);
    const DWORD javaw = testing::waitForChild(cmd.id(), L"javaw.exe");
    ASSERT_NE(javaw, 0u);

    ProcessRecord shell{cmd.id(), ProcessKind::Desktop, {}, {}};
    identifyProcess(shell, false);
    ASSERT_EQ(readable(shell.applicationId), "win32:cmd.exe");

    ProcessRecord record{javaw, ProcessKind::Desktop, {}, {}};
    identifyProcess(record, false);
    EXPECT_EQ(readable(record.applicationId), "win32:javaw.exe");
    EXPECT_EQ(readable(record.applicationName), "javaw.exe");
    testing::endProcess(javaw);
}

TEST(IdentifyProcess, LeavesARecordAloneWhenTheProcessCannotBeOpened) {
    // Process ids are multiples of four, so this one names no process.
    constexpr DWORD kNoSuchProcess = 0x7FFFFFF1;
    ProcessRecord record{kNoSuchProcess, ProcessKind::Desktop, L"before", L"unchanged"};
    identifyProcess(record, false);
    EXPECT_EQ(record.applicationId, L"before");
    EXPECT_EQ(record.applicationName, L"unchanged");
    EXPECT_EQ(record.kind, ProcessKind::Desktop);
    EXPECT_EQ(parentProcessId(kNoSuchProcess), kUnknownProcessId);
}

}  // namespace
}  // namespace brisko
