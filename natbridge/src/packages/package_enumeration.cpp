#include "packages/package_enumeration.h"

#include <optional>

#include "com_ptr.h"
#include "packages/package_system.h"
#include "packages/winrt_interfaces.h"
#include "packages/winrt_runtime.h"

namespace brisko {
namespace {

using winrt::IPackage;

// Runs a getter of a runtime string; false when it fails.
template <typename Getter>
bool ReadString(Getter get, std::wstring& text) {
    UniqueHString value;
    if (FAILED(get(value.put()))) return false;
    text = HStringText(value.get());
    return true;
}

bool ReadInstalledLocation(IPackage& package, std::wstring& path) {
    ComPtr<IInspectable> folder;
    if (FAILED(package.get_InstalledLocation(folder.put())) || !folder) return false;
    ComPtr<winrt::IStorageItem> item;
    if (FAILED(folder->QueryInterface(__uuidof(winrt::IStorageItem), reinterpret_cast<void**>(item.put()))) || !item)
        return false;
    if (!ReadString([&](HSTRING* value) { return item->get_Path(value); }, path)) return false;
    // A package without a folder has no manifest to read; the path stays empty rather than
    // pointing at the root of the current drive.
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return true;
}

std::optional<PackageInfo> DescribePackage(IPackage& package) {
    boolean framework = true;
    if (FAILED(package.get_IsFramework(&framework)) || framework) return std::nullopt;
    PackageInfo info;
    ComPtr<winrt::IPackageId> id;
    if (FAILED(package.get_Id(id.put())) || !id) return std::nullopt;
    const bool described = ReadString([&](HSTRING* value) { return id->get_Name(value); }, info.identityName) &&
                           ReadString([&](HSTRING* value) { return id->get_FullName(value); }, info.fullName) &&
                           ReadString([&](HSTRING* value) { return id->get_FamilyName(value); }, info.familyName) &&
                           ReadInstalledLocation(package, info.installLocation);
    if (!described) return std::nullopt;
    return info;
}

}  // namespace

std::vector<PackageInfo> EnumeratePackages(PackageOwners owners) {
    std::vector<PackageInfo> packages;
    // Declared first: every runtime object below is released before the runtime is left.
    const RoScope runtime;
    ComPtr<IInspectable> instance;
    if (FAILED(CurrentPackageSystem().activatePackageManager(instance.put())) || !instance) return packages;
    ComPtr<winrt::IPackageManager> manager;
    if (FAILED(instance->QueryInterface(__uuidof(winrt::IPackageManager), reinterpret_cast<void**>(manager.put()))) ||
        !manager)
        return packages;

    ComPtr<winrt::IPackageIterable> found;
    // The empty security id stands for the user of the calling thread.
    const HRESULT query = owners == PackageOwners::AllUsers ? manager->FindPackages(found.put())
                                                            : manager->FindPackagesByUserSecurityId(nullptr, found.put());
    if (FAILED(query) || !found) return packages;
    ComPtr<winrt::IPackageIterator> iterator;
    if (FAILED(found->First(iterator.put())) || !iterator) return packages;

    boolean hasCurrent = false;
    if (FAILED(iterator->get_HasCurrent(&hasCurrent))) return packages;
    while (hasCurrent) {
        ComPtr<IPackage> package;
        if (SUCCEEDED(iterator->get_Current(package.put())) && package) {
            if (auto info = DescribePackage(*package)) packages.push_back(std::move(*info));
        }
        if (FAILED(iterator->MoveNext(&hasCurrent))) break;
    }
    return packages;
}

}  // namespace brisko
