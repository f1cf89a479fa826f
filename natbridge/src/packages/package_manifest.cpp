#include "packages/package_manifest.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <optional>
#include <string>

#include "com_ptr.h"
#include "packages/logo_path.h"
#include "packages/manifest_color.h"
#include "packages/package_locale.h"
#include "packages/package_system.h"
#include "packages/winrt_runtime.h"
#include "unique_handle.h"
#include "unique_memory.h"

namespace brisko {
namespace {

// The size of the buffer the resource index resolves into first; the retry's cannot truncate.
constexpr UINT kResolvedLogoLength = 256;
constexpr UINT kUntruncatedLogoLength = kMaxLogoPathLength + 1;


// What the resource index answers into a buffer of that size; none when it fails, answers
// nothing or fills the buffer (the answer may have been cut).
std::optional<std::wstring> LoadIndirectString(const std::wstring& reference, UINT size) {
    std::wstring resolved(size, L'\0');
    if (FAILED(CurrentPackageSystem().loadIndirectString(reference.c_str(), resolved.data(), size)))
        return std::nullopt;
    resolved.resize(::wcsnlen(resolved.c_str(), size));
    if (resolved.empty() || resolved.size() >= size - 1) return std::nullopt;
    return resolved;
}

// The path of a logo file that exists inside the package, or none.
std::optional<std::wstring> ExistingLogo(const PackageInfo& package, std::wstring_view logo) {
    auto path = ContainedLogoPath(package.installLocation, logo);
    if (!path) return std::nullopt;
    const DWORD attributes = ::GetFileAttributesW(path->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
    return path;
}

// The file the resource index chooses for the manifest's logo; where it cannot say (Wine has
// no index), the first qualified variant on disk. Whatever either names must be a file inside
// the package: the core runs as LocalSystem and may open it.
std::wstring ResolveLogo(const PackageInfo& package, const std::wstring& value) {
    if (!ContainedLogoPath(package.installLocation, value)) return {};
    const std::wstring reference =
        LogoResourceReference(package.installLocation + L"resources.pri", package.identityName, value);
    for (const UINT size : {kResolvedLogoLength, kUntruncatedLogoLength}) {
        const auto resolved = LoadIndirectString(reference, size);
        if (!resolved) continue;
        if (auto logo = ExistingLogo(package, *resolved)) return *logo;
        break;
    }
    for (const std::wstring& candidate : LogoCandidates(value))
        if (auto logo = ExistingLogo(package, candidate)) return *logo;
    return {};
}

bool DeclaresApplication(appx::IManifestReader& reader) {
    ComPtr<appx::IManifestApplicationsEnumerator> applications;
    if (FAILED(reader.GetApplications(applications.put())) || !applications) return true;
    BOOL hasCurrent = TRUE;
    return FAILED(applications->GetHasCurrent(&hasCurrent)) || hasCurrent;
}

// The logo, and the fixed colour of the system packages without application. False when the
// properties (or their display name) cannot be read.
bool ReadProperties(appx::IManifestReader& reader, PackageInfo& package) {
    const FrenchThreadLocale locale;
    ComPtr<appx::IManifestProperties> properties;
    bool read = SUCCEEDED(reader.GetProperties(properties.put())) && properties;
    if (read) {
        UniqueTaskMemory<wchar_t*> displayName;
        read = SUCCEEDED(properties->GetStringValue(L"DisplayName", displayName.put()));
    }
    if (read) {
        UniqueTaskMemory<wchar_t*> logo;
        if (SUCCEEDED(properties->GetStringValue(L"Logo", logo.put())) && logo && *logo.get())
            package.logo = ResolveLogo(package, logo.get());
    }
    if (!DeclaresApplication(reader)) {
        if (const auto color = SystemPackageColor(package.familyName)) package.backgroundColor = *color;
    }
    return read;
}

}  // namespace

std::wstring LogoResourceReference(std::wstring_view resourceFile, std::wstring_view identityName,
                                   std::wstring_view logoValue) {
    std::wstring resourcePath = L"Files/" + std::wstring(logoValue);
    std::replace(resourcePath.begin(), resourcePath.end(), L'\\', L'/');
    return L"@{" + std::wstring(resourceFile) + L"?ms-resource://" + std::wstring(identityName) + L"/" + resourcePath +
           L"}";
}

void LoadManifest(PackageInfo& package) {
    if (package.manifestLoaded) return;
    package.manifestLoaded = true;
    if (package.installLocation.empty() || package.installLocation.size() >= MAX_PATH) return;
    const std::wstring manifestPath = package.installLocation + L"AppxManifest.xml";

    // Declared first: every object below is released before the runtime is left.
    const RoScope runtime;
    ComPtr<IStream> stream;
    if (FAILED(::SHCreateStreamOnFileW(manifestPath.c_str(), STGM_READ, stream.put())) || !stream) return;
    ComPtr<appx::IFactory> factory;
    if (FAILED(CurrentPackageSystem().createAppxFactory(factory.put())) || !factory) return;
    // Without a reader (a manifest it rejects) the colour is still read with XmlLite.
    ComPtr<appx::IManifestReader> reader;
    if (SUCCEEDED(factory->CreateManifestReader(stream.get(), reader.put())) && reader &&
        !ReadProperties(*reader, package))
        return;
    if (package.backgroundColor == kNoBackgroundColor) package.backgroundColor = ReadBackgroundColor(stream.get());
}

}  // namespace brisko
