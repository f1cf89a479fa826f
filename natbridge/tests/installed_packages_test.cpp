// Utils.getInstalledPackages through doubles of the package manager, the APPX manifest reader
// and the resource index; manifests are real files read with XmlLite.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fake_jvm.h"
#include "package_doubles.h"
#include "packages/installed_packages_export.h"
#include "temp_folder.h"

namespace brisko::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kUtils[] = "jni/com/brisko/desktop/windows/Utils";
constexpr char kDidFoundPackage[] = "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ILjava/util/Set;)V";

std::string ManifestWithColor(const std::string& color) {
    return "<?xml version=\"1.0\"?><Package><Applications><Application Id=\"App\"><VisualElements BackgroundColor=\"" +
           color + "\"><DefaultTile/></VisualElements></Application></Applications></Package>";
}

class InstalledPackages : public ::testing::Test {
protected:
    InstalledPackages() {
        jvm.defineClass(kUtils).staticMethod("didFoundPackage", kDidFoundPackage, [this](fakejvm::Call& call) {
            const std::wstring family = call.string(0).value_or(L"null");
            reports.push_back(family + L"|" + call.string(1).value_or(L"null") + L"|" +
                              call.string(2).value_or(L"null") + L"|" + std::to_wstring(call.integer(3)));
            setsPassed.push_back(call.object(4));
            world.record(L"didFoundPackage(" + family + L")");
            if (callbackRaises) call.raise("java/lang/RuntimeException", L"core failed");
            return fakejvm::Value{};
        });
    }

    ~InstalledPackages() override {
        EXPECT_EQ(PackageWorld::liveObjects(), 0) << "every runtime object is released";
        EXPECT_EQ(jvm.unreleasedStrings(), 0u);
        EXPECT_THAT(jvm.misuse(), IsEmpty());
    }

    // A package installed below the temporary folder, with a manifest of that colour.
    FakePackage Installed(const std::wstring& name, const std::string& color = "#0078D7") {
        const std::wstring location = folder.path() + name + L"\\";
        folder.write(name + L"\\AppxManifest.xml", ManifestWithColor(color));
        return FakePackage{name, name + L"_8wekyb3d8bbwe", location};
    }

    // Calls the export as the VM does and checks that it left no local reference behind.
    void GetInstalledPackages(bool withSet = true) {
        fakejvm::NativeFrame frame(jvm, env);
        jclass utils = env->FindClass(kUtils);
        env->ExceptionClear();
        jobject javaSet = withSet ? jvm.localRef(env, set) : nullptr;
        const size_t before = jvm.localRefs(::GetCurrentThreadId());
        Java_jni_com_brisko_desktop_windows_Utils_getInstalledPackages(env, utils, javaSet);
        EXPECT_EQ(jvm.localRefs(::GetCurrentThreadId()), before);
    }

    fakejvm::ObjectPtr TakePending() {
        const fakejvm::ObjectPtr pending = jvm.pendingException(::GetCurrentThreadId());
        env->ExceptionClear();
        return pending;
    }

    TempFolder folder;
    PackageWorld world;
    fakejvm::Jvm jvm;
    JNIEnv* env = jvm.attachCurrentThread();
    fakejvm::ObjectPtr set = jvm.newInstance(*jvm.findClass("java/util/HashSet"));
    std::vector<std::wstring> reports;
    std::vector<fakejvm::ObjectPtr> setsPassed;
    bool callbackRaises = false;
};

TEST_F(InstalledPackages, ReportsEveryReadablePackageThatIsNoFrameworkWithTheCallersSet) {
    FakePackage framework = Installed(L"Framework");
    framework.framework = true;
    FakePackage unknownKind = Installed(L"UnknownKind");
    unknownKind.frameworkUnreadable = true;
    FakePackage noId = Installed(L"NoId");
    noId.idUnreadable = true;
    FakePackage noLocation = Installed(L"NoLocation");
    noLocation.locationUnreadable = true;
    FakePackage withoutSlash = Installed(L"WithoutSlash", "red");
    withoutSlash.installLocation.pop_back();
    world.allUsers = {framework, Installed(L"Contoso.App"), unknownKind, noId, noLocation, withoutSlash};

    const LCID threadLocale = ::GetThreadLocale();
    const std::string crtLocale = std::setlocale(LC_ALL, nullptr);
    GetInstalledPackages();

    EXPECT_THAT(reports, ElementsAre(L"Contoso.App_8wekyb3d8bbwe|Contoso.App||14120960",
                                     L"WithoutSlash_8wekyb3d8bbwe|WithoutSlash||255"));
    EXPECT_THAT(setsPassed, ElementsAre(set, set));
    EXPECT_THAT(world.calls(), ElementsAre(L"FindPackages", L"CreateManifestReader(" + folder.path() + L"Contoso.App\\)",
                                           L"didFoundPackage(Contoso.App_8wekyb3d8bbwe)",
                                           L"CreateManifestReader(" + folder.path() + L"WithoutSlash\\)",
                                           L"didFoundPackage(WithoutSlash_8wekyb3d8bbwe)"))
        << "each manifest is read just before its package is reported, and the current user is not asked";
    EXPECT_EQ(TakePending(), nullptr);
    EXPECT_EQ(::GetThreadLocale(), threadLocale);
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), crtLocale);
}

TEST_F(InstalledPackages, TheCurrentUsersPackagesWhenAllUsersGiveNone) {
    FakePackage framework = Installed(L"Framework");
    framework.framework = true;
    world.allUsers = {framework};
    world.currentUser = {Installed(L"Mine", "blue")};
    GetInstalledPackages();
    EXPECT_THAT(reports, ElementsAre(L"Mine_8wekyb3d8bbwe|Mine||16711680"));
    EXPECT_THAT(world.calls(), ElementsAre(L"FindPackages", L"FindPackagesByUserSecurityId()",
                                           L"CreateManifestReader(" + folder.path() + L"Mine\\)",
                                           L"didFoundPackage(Mine_8wekyb3d8bbwe)"));
}

TEST_F(InstalledPackages, TheCurrentUsersPackagesWhenAllUsersAreRefused) {
    world.allUsersQueryFails = true;
    world.currentUser = {Installed(L"Mine")};
    GetInstalledPackages();
    EXPECT_THAT(reports, ElementsAre(L"Mine_8wekyb3d8bbwe|Mine||14120960"));
}

TEST_F(InstalledPackages, NothingAndNoExceptionWithoutPackageManager) {
    world.activationFails = true;
    GetInstalledPackages();
    EXPECT_THAT(reports, IsEmpty());
    EXPECT_EQ(TakePending(), nullptr);
}

TEST_F(InstalledPackages, NothingAndNoExceptionOnThisSystem) {
    // Wine has no package manager: the real calls must come back empty-handed, quietly.
    const PackageSystem doubles = CurrentPackageSystem();
    CurrentPackageSystem() = RealPackageSystem();
    GetInstalledPackages();
    CurrentPackageSystem() = doubles;
    EXPECT_THAT(reports, IsEmpty());
    EXPECT_EQ(TakePending(), nullptr);
}

TEST_F(InstalledPackages, AClassWithoutTheCallbackOrANullSetIsAnInvalidArgument) {
    world.allUsers = {Installed(L"Contoso.App")};
    GetInstalledPackages(false);
    fakejvm::ObjectPtr pending = TakePending();
    ASSERT_NE(pending, nullptr);
    EXPECT_EQ(pending->javaClass().name(), "java/lang/IllegalArgumentException");
    EXPECT_EQ(pending->text, L"Invalid argument!");

    jvm.defineClass(kUtils);
    GetInstalledPackages();
    pending = TakePending();
    ASSERT_NE(pending, nullptr);
    EXPECT_EQ(pending->javaClass().name(), "java/lang/IllegalArgumentException");
    EXPECT_EQ(pending->text, L"Invalid argument!");
    EXPECT_THAT(reports, IsEmpty());
    EXPECT_THAT(world.calls(), IsEmpty()) << "nothing is enumerated";
}

TEST_F(InstalledPackages, AnExceptionOfTheCallbackEndsTheReportAndReachesTheCaller) {
    world.allUsers = {Installed(L"First"), Installed(L"Second")};
    callbackRaises = true;
    GetInstalledPackages();
    EXPECT_EQ(reports.size(), 1u);
    const fakejvm::ObjectPtr pending = TakePending();
    ASSERT_NE(pending, nullptr);
    EXPECT_EQ(pending->javaClass().name(), "java/lang/RuntimeException");
    EXPECT_THAT(world.calls(), ::testing::Not(::testing::Contains(L"FindPackagesByUserSecurityId()")));
}

TEST_F(InstalledPackages, AStringTheVmCannotMakeEndsTheReportAndReachesTheCaller) {
    world.allUsers = {Installed(L"First"), Installed(L"Second")};
    // The first package's family name, identity name and logo.
    for (const size_t failing : {0, 1, 2}) {
        jvm.failStringAfter(failing);
        GetInstalledPackages();
        const fakejvm::ObjectPtr pending = TakePending();
        ASSERT_NE(pending, nullptr) << failing;
        EXPECT_EQ(pending->javaClass().name(), "java/lang/OutOfMemoryError") << failing;
    }
    EXPECT_THAT(reports, IsEmpty());
    EXPECT_THAT(world.calls(), ::testing::Not(::testing::Contains(L"FindPackagesByUserSecurityId()")));
}

struct LogoCase {
    const char* name;
    std::wstring manifestLogo;               // empty: the manifest has none
    std::vector<std::wstring> files;         // below the install folder; a folder when it ends with "\\"
    std::optional<std::wstring> resolved;    // what the resource index answers; {dir}: the install folder
    std::wstring expected;                   // below the install folder; empty: no logo
    bool asksTheIndex = true;
};

void PrintTo(const LogoCase& c, std::ostream* out) { *out << c.name; }

class PackageLogo : public InstalledPackages, public ::testing::WithParamInterface<LogoCase> {
protected:
    // {dir} is the package's install folder, {temp} the folder it lies in.
    std::wstring Expand(std::wstring text) const {
        const std::pair<std::wstring, std::wstring> markers[] = {{L"{dir}", folder.path() + L"Contoso.App\\"},
                                                                 {L"{temp}", folder.path()}};
        for (const auto& [marker, value] : markers)
            for (size_t at; (at = text.find(marker)) != std::wstring::npos;) text.replace(at, marker.size(), value);
        return text;
    }
};

TEST_P(PackageLogo, IsAFileInsideThePackage) {
    const LogoCase& c = GetParam();
    const FakePackage package = Installed(L"Contoso.App");
    // Beside the package, where a value climbing out of it would lead.
    folder.write(L"Other\\Logo.png", "png");
    for (const std::wstring& file : c.files) {
        if (file.ends_with(L"\\"))
            std::filesystem::create_directories(package.installLocation + file);
        else
            folder.write(L"Contoso.App\\" + file, "png");
    }
    world.allUsers = {package};
    if (!c.manifestLogo.empty()) world.manifests[package.installLocation].logo = c.manifestLogo;
    world.resolve = [&](const std::wstring&) {
        return c.resolved ? std::optional<std::wstring>(Expand(*c.resolved)) : std::nullopt;
    };
    GetInstalledPackages();
    const std::wstring logo = c.expected.empty() ? L"" : package.installLocation + c.expected;
    EXPECT_THAT(reports, ElementsAre(L"Contoso.App_8wekyb3d8bbwe|Contoso.App|" + logo + L"|14120960"));
    EXPECT_EQ(world.resolveSizes().empty(), !c.asksTheIndex);
}

INSTANTIATE_TEST_SUITE_P(
    Logos, PackageLogo,
    ::testing::Values(
        // What the resource index names, when it is a file inside the package.
        LogoCase{"resolved_scaled_variant", L"Assets\\Logo.png", {L"Assets\\Logo.scale-200.png"},
                 L"{dir}Assets\\Logo.scale-200.png", L"Assets\\Logo.scale-200.png"},
        LogoCase{"resolved_relative_answer", L"Assets\\Logo.png", {L"Assets\\Logo.scale-100.png"},
                 L"Assets\\Logo.scale-100.png", L"Assets\\Logo.scale-100.png"},
        LogoCase{"resolved_file_missing_looks_on_disk", L"Assets\\Logo.png", {L"Assets\\Logo.scale-125.png"},
                 L"{dir}Assets\\Logo.scale-200.png", L"Assets\\Logo.scale-125.png"},
        LogoCase{"resolved_outside_the_package", L"Assets\\Logo.png", {}, L"{temp}Other\\Logo.png", L""},
        LogoCase{"resolved_climbing_out", L"Assets\\Logo.png", {}, L"{dir}Assets\\..\\..\\Other\\Logo.png", L""},
        LogoCase{"resolved_system_file", L"Assets\\Logo.png", {}, L"C:\\windows\\win.ini", L""},
        LogoCase{"resolved_unc", L"Assets\\Logo.png", {}, L"\\\\attacker.example\\share\\logo.png", L""},
        LogoCase{"resolved_long_path_prefix_looks_on_disk", L"Assets\\Logo.png", {L"Assets\\Logo.png"},
                 L"\\\\?\\{dir}Assets\\Logo.png", L"Assets\\Logo.png"},
        // Where the index cannot say: the first variant on disk.
        LogoCase{"unresolved_scales_in_order", L"Assets\\Logo.png",
                 {L"Assets\\Logo.scale-400.png", L"Assets\\Logo.scale-150.png"}, std::nullopt,
                 L"Assets\\Logo.scale-150.png"},
        LogoCase{"unresolved_the_value_itself_first", L"Assets\\Logo.png",
                 {L"Assets\\Logo.png", L"Assets\\Logo.scale-100.png"}, std::nullopt, L"Assets\\Logo.png"},
        LogoCase{"unresolved_scale_before_target_size", L"Assets\\Logo.png",
                 {L"Assets\\Logo.targetsize-16.png", L"Assets\\Logo.scale-400.png"}, std::nullopt,
                 L"Assets\\Logo.scale-400.png"},
        LogoCase{"unresolved_target_sizes_in_order", L"Assets\\Logo.png",
                 {L"Assets\\Logo.targetsize-256.png", L"Assets\\Logo.targetsize-48.png"}, std::nullopt,
                 L"Assets\\Logo.targetsize-48.png"},
        LogoCase{"unresolved_contrast_folders_in_order", L"Assets\\Logo.png",
                 {L"Assets\\contrast-black\\Logo.png", L"Assets\\contrast-high\\Logo.scale-100.png"}, std::nullopt,
                 L"Assets\\contrast-high\\Logo.scale-100.png"},
        LogoCase{"unresolved_contrast_before_language", L"Assets\\Logo.png",
                 {L"Assets\\fr-FR\\Logo.png", L"Assets\\contrast-white\\Logo.targetsize-24.png"}, std::nullopt,
                 L"Assets\\contrast-white\\Logo.targetsize-24.png"},
        LogoCase{"unresolved_language_folder", L"Assets\\Logo.png", {L"Assets\\en\\Logo.scale-200.png"}, std::nullopt,
                 L"Assets\\en\\Logo.scale-200.png"},
        LogoCase{"unresolved_forward_slashes", L"Assets/Logo.png", {L"Assets\\Logo.scale-100.png"}, std::nullopt,
                 L"Assets\\Logo.scale-100.png"},
        LogoCase{"unresolved_a_folder_is_no_logo", L"Assets\\Logo.png", {L"Assets\\Logo.png\\"}, std::nullopt, L""},
        LogoCase{"unresolved_no_file_at_all", L"Assets\\Logo.png", {}, std::nullopt, L""},
        // A value that leaves the package is refused before the index is asked.
        LogoCase{"value_climbing_out", L"..\\..\\..\\Windows\\System32\\config\\SAM", {L"Assets\\Logo.png"},
                 L"{dir}Assets\\Logo.png", L"", false},
        LogoCase{"value_into_a_sibling", L"..\\Other\\Logo.png", {}, std::nullopt, L"", false},
        LogoCase{"value_full_path", L"C:\\windows\\win.ini", {}, std::nullopt, L"", false},
        LogoCase{"value_unc", L"\\\\attacker.example\\share\\logo.png", {}, std::nullopt, L"", false},
        LogoCase{"value_stream", L"Assets\\Logo.png:hidden", {L"Assets\\Logo.png"}, std::nullopt, L"", false},
        LogoCase{"value_of_200000_characters", L"Assets\\" + std::wstring(200000, L'x'), {}, std::nullopt, L"", false},
        LogoCase{"no_logo", L"", {L"Assets\\Logo.png"}, std::nullopt, L"", false}),
    [](const auto& info) { return std::string(info.param.name); });

// An answer that fills the first buffer may have been cut: the index is asked again with a
// buffer no path can fill, whether it failed (as Wine does) or cut the answer (as Windows may).
TEST_F(InstalledPackages, ALogoPathThatFillsTheBufferIsAskedForAgain) {
    const FakePackage package = Installed(L"Contoso.App");
    // A logo path of that length below the install folder, in names of at most 210 characters.
    const auto logoOfLength = [&](size_t length) {
        std::wstring relative = L"Assets\\";
        size_t left = length - package.installLocation.size() - relative.size();
        for (; left > 210; left -= 201) relative += std::wstring(200, L'd') + L"\\";
        return relative + std::wstring(left - 4, L'L') + L".png";
    };
    const struct {
        size_t length;
        bool cuts;
        std::vector<UINT> sizes;
    } cases[] = {
        {254, false, {256}},
        {255, false, {256, 32768}},
        {255, true, {256, 32768}},
        {300, false, {256, 32768}},
        {300, true, {256, 32768}},
        {3000, false, {256, 32768}},
    };
    for (const auto& c : cases) {
        const std::wstring relative = logoOfLength(c.length);
        ASSERT_EQ(package.installLocation.size() + relative.size(), c.length);
        folder.write(L"Contoso.App\\" + relative, "png");
        PackageWorld again;
        again.allUsers = {package};
        again.manifests[package.installLocation].logo = L"Assets\\Logo.png";
        again.resolveCuts = c.cuts;
        again.resolve = [&](const std::wstring&) { return package.installLocation + relative; };
        reports.clear();
        GetInstalledPackages();
        EXPECT_THAT(reports, ElementsAre(L"Contoso.App_8wekyb3d8bbwe|Contoso.App|" + package.installLocation +
                                         relative + L"|14120960"))
            << c.length << (c.cuts ? " cut" : " failed");
        EXPECT_EQ(again.resolveSizes(), c.sizes) << c.length << (c.cuts ? " cut" : " failed");
    }
}

// The manifest is read with French as the thread's locale; the C runtime's process-wide locale
// is never changed (another thread may be using it).
TEST_F(InstalledPackages, TheLogoIsResolvedInFrenchWithoutTouchingTheRuntimesLocale) {
    const FakePackage package = Installed(L"Contoso.App");
    world.allUsers = {package};
    world.manifests[package.installLocation].logo = L"Assets\\Logo.png";
    const LCID threadLocale = ::GetThreadLocale();
    const std::string crtLocale = std::setlocale(LC_ALL, nullptr);
    std::vector<std::pair<LCID, std::string>> seen;
    world.resolve = [&](const std::wstring&) {
        seen.emplace_back(::GetThreadLocale(), std::setlocale(LC_ALL, nullptr));
        return std::nullopt;
    };
    GetInstalledPackages();
    EXPECT_THAT(seen, ::testing::Each(std::pair<LCID, std::string>(1036, crtLocale)));
    EXPECT_FALSE(seen.empty());
    EXPECT_EQ(::GetThreadLocale(), threadLocale);
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), crtLocale);
}

struct ManifestCase {
    const char* name;
    std::wstring familyName;  // of the package, installed as "Pkg"
    FakeManifest manifest;
    bool manifestFile;
    bool factoryFails;
    std::wstring expected;  // logo|colour; {logo} is the resolved logo
};

class PackageManifest : public InstalledPackages, public ::testing::WithParamInterface<ManifestCase> {};

TEST_P(PackageManifest, GivesTheLogoAndColourItCan) {
    const ManifestCase& c = GetParam();
    FakePackage package = c.manifestFile ? Installed(L"Pkg", "red") : FakePackage{L"Pkg", {}, folder.path() + L"Gone\\"};
    package.familyName = c.familyName;
    world.allUsers = {package};
    FakeManifest manifest = c.manifest;
    manifest.logo = L"Logo.png";
    world.manifests[package.installLocation] = manifest;
    world.factoryFails = c.factoryFails;
    const std::wstring logo = package.installLocation + L"Logo.scale-100.png";
    if (c.manifestFile) folder.write(L"Pkg\\Logo.scale-100.png", "png");
    world.resolve = [&](const std::wstring&) { return logo; };
    GetInstalledPackages();
    std::wstring expected = c.expected;
    if (const size_t at = expected.find(L"{logo}"); at != std::wstring::npos) expected.replace(at, 6, logo);
    EXPECT_THAT(reports, ElementsAre(c.familyName + L"|Pkg|" + expected));
}

INSTANTIATE_TEST_SUITE_P(
    Manifests, PackageManifest,
    ::testing::Values(
        ManifestCase{"read_whole", L"Pkg_1", {}, true, false, L"{logo}|255"},
        ManifestCase{"system_package_without_application", L"WinStore_cw5n1h2txyewy",
                     FakeManifest{.declaresApplication = false}, true, false, L"{logo}|35328"},
        ManifestCase{"browser_choice_without_application", L"BrowserChoice_cw5n1h2txyewy",
                     FakeManifest{.declaresApplication = false}, true, false, L"{logo}|9079434"},
        ManifestCase{"other_package_without_application", L"Pkg_1", FakeManifest{.declaresApplication = false}, true,
                     false, L"{logo}|255"},
        ManifestCase{"system_package_with_application", L"WinStore_cw5n1h2txyewy", {}, true, false, L"{logo}|255"},
        // Properties that cannot be read stop the manifest, but the fixed colours still apply.
        ManifestCase{"properties_unreadable", L"Pkg_1", FakeManifest{.propertiesFail = true}, true, false, L"|-1"},
        ManifestCase{"display_name_missing", L"Pkg_1", FakeManifest{.displayNameMissing = true}, true, false,
                     L"|-1"},
        ManifestCase{"properties_unreadable_system_package", L"WinStore_cw5n1h2txyewy",
                     FakeManifest{.propertiesFail = true, .declaresApplication = false}, true, false, L"|35328"},
        ManifestCase{"manifest_rejected_by_the_reader", L"Pkg_1", FakeManifest{.readerFails = true}, true, false,
                     L"|255"},
        ManifestCase{"no_manifest_reader_on_the_system", L"Pkg_1", {}, true, true, L"|-1"},
        ManifestCase{"install_folder_gone", L"Pkg_1", {}, false, false, L"|-1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InstalledPackages, AnInstallFolderOf260CharactersIsNotRead) {
    FakePackage longPath = Installed(L"Long");
    longPath.installLocation = L"C:\\" + std::wstring(256, L'a') + L"\\";
    world.allUsers = {longPath};
    GetInstalledPackages();
    EXPECT_THAT(reports, ElementsAre(L"Long_8wekyb3d8bbwe|Long||-1"));
    EXPECT_THAT(world.calls(), ElementsAre(L"FindPackages", L"didFoundPackage(Long_8wekyb3d8bbwe)"));
}

}  // namespace
}  // namespace brisko::testing
