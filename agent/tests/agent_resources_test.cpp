// The dialogs, manifest and version of the built harbeeagent.exe, read from its resources as
// Windows reads them: each dialog in each language control by control, class, id, style and
// rectangle as the dialogs are defined.
#include <gtest/gtest.h>

#include <cwctype>
#include <string>
#include <vector>

#include "executable_path.h"
#include "identification/version_info.h"
#include "resource_ids.h"
#include "resources/dialog_template.h"
#include "text.h"
#include "unique_handle.h"

namespace brisko::testing {

void PrintTo(const DialogRect& rect, std::ostream* os) {
    *os << "(" << rect.x << ", " << rect.y << ", " << rect.width << ", " << rect.height << ")";
}

namespace {

constexpr WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD kFrench = MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);
constexpr DWORD kControl = WS_CHILD | WS_VISIBLE;

std::wstring agentPath() { return siblingPath(L"..\\harbeeagent.exe"); }

// The built agent's resources, as data: none of its code runs.
const UniqueModule& agentResources() {
    static const UniqueModule module(::LoadLibraryExW(agentPath().c_str(), nullptr,
                                                      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    return module;
}

std::vector<BYTE> bytesOf(HRSRC found) {
    const HMODULE module = agentResources().get();
    if (!found) return {};
    const HGLOBAL loaded = ::LoadResource(module, found);
    const auto* bytes = static_cast<const BYTE*>(::LockResource(loaded));
    if (!bytes) return {};
    return {bytes, bytes + ::SizeofResource(module, found)};
}

std::vector<BYTE> resourceBytes(const wchar_t* type, WORD name, WORD language) {
    return bytesOf(::FindResourceExW(agentResources().get(), type, MAKEINTRESOURCEW(name), language));
}

std::wstring lowered(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring productLine() {
    const std::vector<BYTE> block = readVersionBlock(agentPath());
    if (block.empty()) return {};
    return readVersionString(block.data(), L"ProductName") + L", Version " +
           readVersionString(block.data(), L"ProductVersion");
}

struct DialogCase {
    const char* name;
    WORD id, language;
    DWORD style;
    DialogRect rect;
    std::wstring caption;
    std::vector<ControlTemplate> controls;
};

class AgentDialogs : public ::testing::TestWithParam<DialogCase> {};

TEST_P(AgentDialogs, AreBuiltAsDefined) {
    const DialogCase& c = GetParam();
    ASSERT_TRUE(agentResources()) << wideToUtf8(agentPath()) << ": " << ::GetLastError();
    const std::vector<BYTE> bytes = resourceBytes(RT_DIALOG, c.id, c.language);
    ASSERT_FALSE(bytes.empty()) << "no dialog " << c.id << " in language " << std::hex << c.language;
    const std::optional<DialogTemplate> dialog = parseDialogTemplate(bytes.data(), bytes.size());
    ASSERT_TRUE(dialog) << "not an extended dialog template";

    EXPECT_EQ(dialog->style, c.style) << std::hex << dialog->style;
    EXPECT_EQ(dialog->exStyle, 0u);
    EXPECT_EQ(dialog->rect, c.rect);
    EXPECT_EQ(dialog->caption, c.caption);
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_EQ(dialog->typeface, L"MS Shell Dlg");

    ASSERT_EQ(dialog->controls.size(), c.controls.size());
    for (size_t i = 0; i < c.controls.size(); ++i) {
        const ControlTemplate& built = dialog->controls[i];
        const ControlTemplate& defined = c.controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + " \"" + wideToUtf8(defined.text) + "\"");
        EXPECT_EQ(lowered(built.className), lowered(defined.className));
        EXPECT_EQ(built.id, defined.id);
        EXPECT_EQ(built.style, defined.style) << std::hex << built.style << " instead of " << defined.style;
        EXPECT_EQ(built.exStyle, 0u);
        EXPECT_EQ(built.rect, defined.rect);
        EXPECT_EQ(built.text, defined.text);
    }
}

ControlTemplate icon(DialogRect rect) {
    return {L"Static", -1, kControl | SS_ICON | SS_CENTERIMAGE, 0, rect, L"#" + std::to_wstring(IDI_AGENT)};
}

std::vector<ControlTemplate> aboutControls(int iconWidth, const std::wstring& notice) {
    return {icon({14, 14, iconWidth, 20}),
            // Four units wider on each side than the notice below it, on the same centre: at 114
            // the version does not fit (Tahoma 8 needs 172 pixels at 96 DPI, 114 units are 171).
            {L"Static", -1, kControl | SS_CENTER | SS_NOPREFIX | WS_GROUP, 0, {38, 14, 122, 8},
             L"Corvel Harbee Juvo, Version 2.5.4"},
            {L"Static", -1, kControl | SS_CENTER | WS_GROUP, 0, {42, 26, 114, 17}, notice},
            {L"Button", IDOK, kControl | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, {115, 51, 50, 14}, L"OK"}};
}

struct DisableTexts {
    std::wstring disable, cancel, title, question, label;
};

std::vector<ControlTemplate> disableControls(const DisableTexts& t) {
    return {{L"Button", IDOK, kControl | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, {180, 108, 50, 14}, t.disable},
            {L"Button", IDCANCEL, kControl | BS_PUSHBUTTON | WS_TABSTOP, 0, {234, 108, 50, 14}, t.cancel},
            icon({7, 6, 21, 20}),
            {L"Static", IDC_DISABLE_TITLE, kControl | SS_LEFT, 0, {54, 11, 221, 12}, t.title},
            {L"Static", -1, kControl | SS_LEFT | WS_GROUP, 0, {54, 29, 221, 19}, t.question},
            {L"ComboBox", IDC_DURATION, kControl | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, {54, 50, 54, 30},
             L""},
            {L"Static", -1, kControl | SS_LEFT | WS_GROUP, 0, {54, 73, 221, 8}, t.label},
            {L"Edit", IDC_PASSWORD, kControl | ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0,
             {54, 85, 221, 12}, L""}};
}

constexpr DWORD kAboutStyle = DS_SHELLFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kDisableStyle = DS_SHELLFONT | DS_MODALFRAME | WS_POPUP;

INSTANTIATE_TEST_SUITE_P(
    Templates, AgentDialogs,
    ::testing::Values(
        DialogCase{"AboutEnglish", IDD_ABOUT, kEnglish, kAboutStyle, {0, 0, 171, 70}, L"About Corvel Harbee Juvo",
                   aboutControls(21, L"Copyright \xA9 Corvel. All rights reserved.")},
        DialogCase{"AboutFrench", IDD_ABOUT, kFrench, kAboutStyle, {0, 0, 171, 70},
                   L"\xC0 propos de Corvel Harbee Juvo",
                   aboutControls(20, L"Copyright \xA9 Corvel. Tous droits r\xE9serv\xE9s.")},
        DialogCase{"DisableEnglish", IDD_DISABLE, kEnglish, kDisableStyle, {0, 0, 291, 129}, L"",
                   disableControls({L"Disable", L"Cancel", L"Temporarily disable Corvel Harbee Juvo",
                                    L"For how long would you like disable the Web protection and usage tracking?",
                                    L"Parents password"})},
        DialogCase{"DisableFrench", IDD_DISABLE, kFrench, kDisableStyle, {0, 0, 291, 129}, L"",
                   disableControls({L"D\xE9sactiver", L"Annuler", L"D\xE9sactivation temporaire de Corvel Harbee Juvo",
                                    L"Pour combien de temps souhaitez-vous d\xE9sactiver la protection Web et le suivi "
                                    L"des usages?",
                                    L"Mot de passe des parents"})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AgentVersion, IsTheOneTheAboutLineNames) {
    EXPECT_EQ(productLine(), L"Corvel Harbee Juvo, Version 2.5.4");
}

TEST(AgentManifest, AsksForPerMonitorDpiAwareness) {
    ASSERT_TRUE(agentResources());
    const std::vector<BYTE> bytes =
        bytesOf(::FindResourceW(agentResources().get(), CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST));
    ASSERT_FALSE(bytes.empty()) << "no manifest";
    const std::string manifest(bytes.begin(), bytes.end());
    // Windows 10 (1607) and later read dpiAwareness, the first value they know; 8.1 reads dpiAware.
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos) << manifest;
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos) << manifest;
}

}  // namespace
}  // namespace brisko::testing
