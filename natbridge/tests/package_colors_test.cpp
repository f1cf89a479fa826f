// Tile colours and logo paths of package manifests: the colour rules, the walk to the
// VisualElements element over manifest files, and the logo references.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <shlwapi.h>

#include <optional>
#include <string>
#include <vector>

#include "com_ptr.h"
#include "packages/background_color.h"
#include "packages/logo_path.h"
#include "packages/manifest_color.h"
#include "packages/package_manifest.h"
#include "temp_folder.h"

namespace brisko::testing {
namespace {

struct ColorCase {
    const char* name;
    std::wstring value;
    std::int32_t expected;
};

class BackgroundColorValue : public ::testing::TestWithParam<ColorCase> {};

TEST_P(BackgroundColorValue, GivesTheColorRefOrNone) {
    EXPECT_EQ(BackgroundColorFromValue(GetParam().value.c_str()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BackgroundColorValue,
    ::testing::Values(
        ColorCase{"hash_upper", L"#0078D7", 0xD77800}, ColorCase{"hash_lower", L"#0078d7", 0xD77800},
        ColorCase{"hash_black", L"#000000", 0x000000}, ColorCase{"hash_white", L"#FFFFFF", 0xFFFFFF},
        ColorCase{"hash_with_alpha_takes_the_first_three_pairs", L"#FF0078D7", 0x7800FF},
        ColorCase{"five_digits", L"#12345", -1}, ColorCase{"hash_alone", L"#", -1},
        // Letters beyond F count on as digits 16-35, modulo 256 per pair.
        ColorCase{"letters_beyond_f", L"#GGGGGG", 0x101010}, ColorCase{"z_pair", L"#zz0000", 0x000053},
        ColorCase{"pair_with_other_character", L"#0-78D7", 0xD778FF},
        ColorCase{"pair_with_space", L"# 00000", 0x0000FF},
        ColorCase{"very_long_hash", L"#123456" + std::wstring(10000, L'A'), 0x563412},
        ColorCase{"keyword", L"red", 0x0000FF}, ColorCase{"keyword_any_case", L"AliceBlue", 0xFFF8F0},
        ColorCase{"keyword_blue", L"blue", 0xFF0000}, ColorCase{"grey", L"grey", 0x808080},
        ColorCase{"gray", L"gray", 0x808080}, ColorCase{"dark_slate_grey", L"darkslategrey", 0x4F4F2F},
        ColorCase{"first_keyword", L"aliceblue", 0xFFF8F0}, ColorCase{"last_keyword", L"YellowGreen", 0x32CD9A},
        ColorCase{"transparent", L"transparent", -1}, ColorCase{"unknown_name", L"reddish", -1},
        ColorCase{"keyword_prefix", L"re", -1}, ColorCase{"empty", L"", -1},
        ColorCase{"very_long_name", std::wstring(10000, L'r'), -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BackgroundColor, AMissingValueIsNone) { EXPECT_EQ(BackgroundColorFromValue(nullptr), -1); }

TEST(BackgroundColor, SystemPackagesWithoutApplicationHaveFixedColors) {
    EXPECT_EQ(SystemPackageColor(L"WinStore_cw5n1h2txyewy"), 0x008A00);
    EXPECT_EQ(SystemPackageColor(L"windows.immersivecontrolpanel_cw5n1h2txyewy"), 0x008A00);
    EXPECT_EQ(SystemPackageColor(L"BrowserChoice_cw5n1h2txyewy"), 0x8A8A8A);
    EXPECT_EQ(SystemPackageColor(L"winstore_cw5n1h2txyewy"), std::nullopt) << "family names compare exactly";
    EXPECT_EQ(SystemPackageColor(L"Contoso.App_8wekyb3d8bbwe"), std::nullopt);
}

// A manifest around one Applications element.
std::string Manifest(const std::string& applications) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<Package xmlns=\"http://schemas.microsoft.com/appx/manifest/foundation/windows10\"\n"
           "         xmlns:uap=\"http://schemas.microsoft.com/appx/manifest/uap/windows10\">\n"
           "  <Identity Name=\"Contoso.App\" Publisher=\"CN=Contoso\" Version=\"1.0.0.0\"/>\n"
           "  <Properties><DisplayName>App</DisplayName><Logo>Assets\\StoreLogo.png</Logo></Properties>\n" +
           applications + "\n</Package>\n";
}

std::string Application(const std::string& visualElements) {
    return "<Application Id=\"App\" Executable=\"App.exe\">" + visualElements + "</Application>";
}

struct ManifestCase {
    const char* name;
    std::string content;
    std::int32_t expected;
};

class ManifestColor : public ::testing::TestWithParam<ManifestCase> {};

TEST_P(ManifestColor, IsReadFromTheFirstNonEmptyVisualElements) {
    TempFolder folder;
    const std::wstring path = folder.write(L"AppxManifest.xml", GetParam().content);
    ComPtr<IStream> stream;
    ASSERT_EQ(::SHCreateStreamOnFileW(path.c_str(), STGM_READ, stream.put()), S_OK);
    // The reader starts from the beginning wherever the stream was left.
    LARGE_INTEGER middle;
    middle.QuadPart = 5;
    stream->Seek(middle, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(ReadBackgroundColor(stream.get()), GetParam().expected);
}

// Elements nested that deep, closed again.
std::string Nested(int depth) {
    std::string open, close;
    for (int i = 0; i < depth; ++i) {
        open += "<n>";
        close += "</n>";
    }
    return "<Extensions>" + open + close + "</Extensions>";
}

const std::string kVisual = "<uap:VisualElements DisplayName=\"App\" BackgroundColor=\"#0078D7\">"
                            "<uap:DefaultTile/></uap:VisualElements>";

INSTANTIATE_TEST_SUITE_P(
    Manifests, ManifestColor,
    ::testing::Values(
        ManifestCase{"prefixed_visual_elements", Manifest("<Applications>" + Application(kVisual) + "</Applications>"),
                     0xD77800},
        ManifestCase{"keyword", Manifest("<Applications>" + Application("<VisualElements BackgroundColor=\"red\">"
                                                                        "<DefaultTile/></VisualElements>") +
                                         "</Applications>"),
                     0x0000FF},
        ManifestCase{"transparent",
                     Manifest("<Applications>" + Application("<VisualElements BackgroundColor=\"transparent\">"
                                                             "<DefaultTile/></VisualElements>") +
                              "</Applications>"),
                     -1},
        ManifestCase{"attribute_missing",
                     Manifest("<Applications>" + Application("<VisualElements DisplayName=\"App\"><DefaultTile/>"
                                                             "</VisualElements>") +
                              "</Applications>"),
                     -1},
        ManifestCase{"attribute_in_a_namespace",
                     Manifest("<Applications>" + Application("<VisualElements uap:BackgroundColor=\"red\">"
                                                             "<DefaultTile/></VisualElements>") +
                              "</Applications>"),
                     -1},
        ManifestCase{"colour_of_10000_characters",
                     Manifest("<Applications>" +
                              Application("<VisualElements BackgroundColor=\"#" + std::string(10000, 'A') +
                                          "\"><DefaultTile/></VisualElements>") +
                              "</Applications>"),
                     0xAAAAAA},
        // An empty element never matches, and a later Application is passed over whole.
        ManifestCase{"self_closing_visual_elements_then_another_application",
                     Manifest("<Applications>" + Application("<VisualElements BackgroundColor=\"red\"/>") +
                              Application(kVisual) + "</Applications>"),
                     0x00008A},
        ManifestCase{"self_closing_visual_elements_then_a_later_one_in_the_same_application",
                     Manifest("<Applications>" +
                              Application("<VisualElements BackgroundColor=\"red\"/>" + kVisual) +
                              "</Applications>"),
                     0xD77800},
        ManifestCase{"visual_elements_inside_another_element_are_passed_over",
                     Manifest("<Applications>" +
                              Application("<Extensions><VisualElements BackgroundColor=\"red\"><x/></VisualElements>"
                                          "</Extensions>" +
                                          kVisual) +
                              "</Applications>"),
                     0xD77800},
        ManifestCase{"no_applications", Manifest(""), 0x00008A},
        ManifestCase{"empty_applications", Manifest("<Applications/>"), 0x00008A},
        ManifestCase{"other_root", "<Bundle><Applications>" + Application(kVisual) + "</Applications></Bundle>",
                     0x00008A},
        ManifestCase{"not_xml", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), 0x00008A},
        ManifestCase{"empty_file", "", 0x00008A},
        ManifestCase{"unclosed_tags", "<Package><Applications><Application><VisualElements BackgroundColor=\"red\"",
                     0x00008A},
        // Entity expansion is never attempted: any DTD makes the manifest unreadable.
        ManifestCase{"document_type",
                     "<?xml version=\"1.0\"?><!DOCTYPE Package [<!ENTITY c \"red\">]><Package><Applications>" +
                         Application("<VisualElements BackgroundColor=\"&c;\"><x/></VisualElements>") +
                         "</Applications></Package>",
                     0x00008A},
        ManifestCase{"manifest_of_24_mb",
                     Manifest("<Extensions>" + std::string(16 << 20, ' ') + "<Padding>" +
                              std::string(8 << 20, 'x') + "</Padding></Extensions><Applications>" +
                              Application(kVisual) + "</Applications>"),
                     0xD77800},
        ManifestCase{"nesting_200_deep_is_passed_over",
                     Manifest("<Applications>" + Application(Nested(200) + kVisual) + "</Applications>"),
                     0xD77800},
        // XmlLite reads no deeper than 256 elements: past that the colour cannot be reached.
        ManifestCase{"nesting_5000_deep_before_the_applications",
                     Manifest(Nested(5000) + "<Applications>" + Application(kVisual) + "</Applications>"),
                     0x00008A},
        ManifestCase{"nesting_5000_deep_inside_the_application",
                     Manifest("<Applications>" + Application(Nested(5000) + kVisual) + "</Applications>"),
                     0x00008A},
        ManifestCase{"huge_manifest",
                     Manifest("<Extensions>" + std::string(4 << 20, ' ') + "<Padding>" +
                              std::string(1 << 20, 'x') + "</Padding></Extensions><Applications>" +
                              Application(kVisual) + "</Applications>"),
                     0xD77800}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ManifestColor, NoStreamIsUnreadable) { EXPECT_EQ(ReadBackgroundColor(nullptr), 0x00008A); }

TEST(LogoReference, AsksThePackageResourceIndexForTheFile) {
    EXPECT_EQ(LogoResourceReference(L"C:\\Apps\\Contoso\\resources.pri", L"Contoso.App", L"Assets\\Tiles\\Logo.png"),
              L"@{C:\\Apps\\Contoso\\resources.pri?ms-resource://Contoso.App/Files/Assets/Tiles/Logo.png}");
    EXPECT_EQ(LogoResourceReference(L"r.pri", L"Id", L"Logo.png"), L"@{r.pri?ms-resource://Id/Files/Logo.png}");
}

struct ContainedCase {
    const char* name;
    std::wstring logo;
    std::optional<std::wstring> path;  // none: refused
};

class ContainedLogo : public ::testing::TestWithParam<ContainedCase> {};

TEST_P(ContainedLogo, StaysInsideTheInstallFolder) {
    EXPECT_EQ(ContainedLogoPath(L"C:\\Apps\\Contoso\\", GetParam().logo), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ContainedLogo,
    ::testing::Values(
        ContainedCase{"relative", L"Assets\\Logo.png", L"C:\\Apps\\Contoso\\Assets\\Logo.png"},
        ContainedCase{"forward_slashes", L"Assets/Tiles/Logo.png", L"C:\\Apps\\Contoso\\Assets\\Tiles\\Logo.png"},
        ContainedCase{"dots_inside", L".\\Assets\\..\\Assets\\\\Logo.png", L"C:\\Apps\\Contoso\\Assets\\Logo.png"},
        ContainedCase{"full_path_inside", L"C:\\Apps\\Contoso\\Assets\\Logo.scale-200.png",
                      L"C:\\Apps\\Contoso\\Assets\\Logo.scale-200.png"},
        ContainedCase{"full_path_inside_in_other_case", L"c:\\apps\\CONTOSO\\Logo.png", L"c:\\apps\\CONTOSO\\Logo.png"},
        ContainedCase{"names_with_spaces_and_dots", L"My Assets\\logo.v2.png",
                      L"C:\\Apps\\Contoso\\My Assets\\logo.v2.png"},
        ContainedCase{"non_ascii_name", L"Images\\\u00e9l\u00e8ve.png",
                      L"C:\\Apps\\Contoso\\Images\\\u00e9l\u00e8ve.png"},
        // Out of the folder.
        ContainedCase{"climbing_out", L"..\\..\\..\\Windows\\System32\\config\\SAM", std::nullopt},
        ContainedCase{"climbing_out_and_back", L"..\\Contoso\\Logo.png", L"C:\\Apps\\Contoso\\Logo.png"},
        ContainedCase{"climbing_into_a_sibling", L"..\\ContosoEvil\\Logo.png", std::nullopt},
        ContainedCase{"sibling_with_the_folder_as_prefix", L"C:\\Apps\\ContosoEvil\\Logo.png", std::nullopt},
        ContainedCase{"above_the_drive", L"..\\..\\..\\..\\..\\x.png", std::nullopt},
        ContainedCase{"other_full_path", L"C:\\Windows\\win.ini", std::nullopt},
        ContainedCase{"other_drive", L"D:\\Apps\\Contoso\\Logo.png", std::nullopt},
        ContainedCase{"the_folder_itself", L"C:\\Apps\\Contoso", std::nullopt},
        ContainedCase{"the_folder_itself_by_dots", L"Assets\\..", std::nullopt},
        // Paths Windows opens elsewhere than on the drive.
        ContainedCase{"unc", L"\\\\attacker.example\\share\\logo.png", std::nullopt},
        ContainedCase{"unc_with_slashes", L"//attacker.example/share/logo.png", std::nullopt},
        ContainedCase{"long_path_prefix", L"\\\\?\\C:\\Apps\\Contoso\\Logo.png", std::nullopt},
        ContainedCase{"device", L"\\\\.\\C:\\Apps\\Contoso\\Logo.png", std::nullopt},
        ContainedCase{"nt_prefix", L"\\??\\C:\\Apps\\Contoso\\Logo.png", std::nullopt},
        ContainedCase{"root_of_the_drive", L"\\Apps\\Contoso\\Logo.png", std::nullopt},
        ContainedCase{"drive_relative", L"C:Logo.png", std::nullopt},
        ContainedCase{"stream", L"Assets\\Logo.png:hidden", std::nullopt},
        ContainedCase{"reserved_device", L"Assets\\NUL", std::nullopt},
        ContainedCase{"reserved_device_with_extension", L"Assets\\com1.png", std::nullopt},
        ContainedCase{"reserved_device_with_space", L"con .png", std::nullopt},
        ContainedCase{"reserved_device_folder", L"LPT9\\Logo.png", std::nullopt},
        ContainedCase{"not_a_device", L"Assets\\console.png", L"C:\\Apps\\Contoso\\Assets\\console.png"},
        ContainedCase{"trailing_dot", L"Assets.\\Logo.png", std::nullopt},
        ContainedCase{"trailing_space", L"Assets\\Logo.png ", std::nullopt},
        ContainedCase{"three_dots", L"...\\Logo.png", std::nullopt},
        ContainedCase{"wildcard", L"Assets\\*.png", std::nullopt},
        ContainedCase{"control_character", L"Assets\\Lo\ngo.png", std::nullopt},
        ContainedCase{"empty", L"", std::nullopt},
        ContainedCase{"too_long", L"Assets\\" + std::wstring(200000, L'x'), std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ContainedLogo, AFolderThatIsNoDrivePathHoldsNoLogo) {
    EXPECT_EQ(ContainedLogoPath(L"\\\\server\\share\\Contoso\\", L"Logo.png"), std::nullopt);
    EXPECT_EQ(ContainedLogoPath(L"\\\\?\\C:\\Apps\\Contoso\\", L"Logo.png"), std::nullopt);
    EXPECT_EQ(ContainedLogoPath(L"", L"Logo.png"), std::nullopt);
}

TEST(LogoCandidates, ComeInTheFixedOrderBesideTheValue) {
    const std::vector<std::wstring> candidates = LogoCandidates(L"Assets\\Logo.png");
    const std::vector<std::wstring> names{
        L"Logo.png",
        L"Logo.scale-100.png",
        L"Logo.scale-125.png",
        L"Logo.scale-150.png",
        L"Logo.scale-200.png",
        L"Logo.scale-400.png",
        L"Logo.targetsize-16.png",
        L"Logo.targetsize-24.png",
        L"Logo.targetsize-32.png",
        L"Logo.targetsize-48.png",
        L"Logo.targetsize-256.png",
    };
    std::vector<std::wstring> expected;
    for (const wchar_t* folder : {L"", L"contrast-standard\\", L"contrast-high\\", L"contrast-black\\",
                                  L"contrast-white\\", L"fr-FR\\", L"fr\\", L"en-US\\", L"en\\"})
        for (const std::wstring& name : names) expected.push_back(L"Assets\\" + std::wstring(folder) + name);
    EXPECT_EQ(candidates, expected);
    EXPECT_EQ(LogoCandidates(L"Logo")[1], L"Logo.scale-100") << "a name without extension";
    EXPECT_EQ(LogoCandidates(L"a.b/Logo.png")[1], L"a.b/Logo.scale-100.png") << "a dot in the folder";
}
}  // namespace
}  // namespace brisko::testing
