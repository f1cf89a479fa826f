#pragma once
// Recording doubles of what package enumeration asks of the system: the runtime's package
// manager with its packages, the APPX manifest reader and the package resource index. A test
// describes the machine in a PackageWorld and installs it for its lifetime.
#include <windows.h>

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "packages/package_system.h"

namespace brisko::testing {

struct FakePackage {
    std::wstring identityName;
    std::wstring familyName;
    std::wstring installLocation;  // as the folder's Path answers it
    bool framework = false;
    bool frameworkUnreadable = false;
    bool idUnreadable = false;
    bool locationUnreadable = false;
};

// What the APPX manifest reader answers for the manifest of one install folder.
struct FakeManifest {
    bool readerFails = false;
    bool propertiesFail = false;
    bool displayNameMissing = false;
    std::wstring_view logo{};  // none when empty
    bool declaresApplication = true;
};

class PackageWorld {
public:
    PackageWorld();
    ~PackageWorld();
    PackageWorld(const PackageWorld&) = delete;
    PackageWorld& operator=(const PackageWorld&) = delete;

    // The machine. A failing query answers E_ACCESSDENIED.
    bool activationFails = false;
    bool factoryFails = false;
    bool allUsersQueryFails = false;
    std::vector<FakePackage> allUsers;
    std::vector<FakePackage> currentUser;
    // By install folder; a folder without an entry gets a reader with default answers.
    std::map<std::wstring, FakeManifest> manifests;
    // The resource index: the resolved text for an indirect string, or a failure when none.
    std::function<std::optional<std::wstring>(const std::wstring& reference)> resolve;
    // A text that does not fit the buffer: cut to fit and answered as a success (as Windows may),
    // instead of a failure.
    bool resolveCuts = false;
    // The buffer size of every resolution, in order.
    std::vector<UINT> resolveSizes() const;

    // What was asked, in order: "FindPackages", "FindPackagesByUserSecurityId(<sid>)",
    // "CreateManifestReader(<install folder>)", "resolve(<reference>)".
    std::vector<std::wstring> calls() const;
    void record(std::wstring call);
    // Runtime and COM objects of the doubles that are still referenced.
    static long liveObjects();

private:
    PackageSystem saved_;
    mutable std::mutex lock_;
    std::vector<std::wstring> calls_;
    std::vector<UINT> resolveSizes_;
};

}  // namespace brisko::testing
