// Utils.getInstalledPackages through doubles of the package manager, the APPX manifest reader
// and the resource index; manifests are real files read with XmlLite.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <string>
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
    std::optional<std::wstring> manifestLogo;
    std::optional<std::wstring> resolved;  // what the resource index answers, if it resolves
    std::wstring expected;                 // below the install folder when relative
    bool expectedIsRelative;
};

class PackageLogo : public InstalledPackages, public ::testing::WithParamInterface<LogoCase> {};

TEST_P(PackageLogo, IsResolvedThroughTheResourceIndexToAFullPath) {
    const LogoCase& c = GetParam();
    const FakePackage package = Installed(L"Contoso.App");
    world.allUsers = {package};
    if (c.manifestLogo) world.manifests[package.installLocation].logo = *c.manifestLogo;
    world.resolve = [&](const std::wstring&) { return c.resolved; };
    GetInstalledPackages();
    const std::wstring logo = c.expectedIsRelative ? package.installLocation + c.expected : c.expected;
    EXPECT_THAT(reports, ElementsAre(L"Contoso.App_8wekyb3d8bbwe|Contoso.App|" + logo + L"|14120960"));
    if (c.manifestLogo) {
        EXPECT_THAT(world.calls(), ::testing::Contains(L"resolve(@{" + package.installLocation +
                                                       L"resources.pri?ms-resource://Contoso.App/Files/Assets/"
                                                       L"Logo.png})"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Logos, PackageLogo,
    ::testing::Values(
        LogoCase{"scaled_variant", L"Assets\\Logo.png", L"C:\\Apps\\Contoso\\Assets\\Logo.scale-200.png",
                 L"C:\\Apps\\Contoso\\Assets\\Logo.scale-200.png", false},
        LogoCase{"relative_answer", L"Assets\\Logo.png", L"Assets\\Logo.scale-100.png", L"Assets\\Logo.scale-100.png",
                 true},
        LogoCase{"unresolved_keeps_the_manifest_path", L"Assets\\Logo.png", std::nullopt, L"Assets\\Logo.png", true},
        LogoCase{"answer_too_long_keeps_the_manifest_path", L"Assets\\Logo.png", std::wstring(300, L'x'),
                 L"Assets\\Logo.png", true},
        LogoCase{"no_logo", std::nullopt, std::nullopt, L"", false}),
    [](const auto& info) { return std::string(info.param.name); });

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
    world.resolve = [](const std::wstring&) { return std::wstring(L"C:\\Logo.scale-100.png"); };
    GetInstalledPackages();
    std::wstring expected = c.expected;
    if (const size_t at = expected.find(L"{logo}"); at != std::wstring::npos)
        expected.replace(at, 6, L"C:\\Logo.scale-100.png");
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
