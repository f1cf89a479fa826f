#include "packages/package_manifest.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <clocale>
#include <cwchar>
#include <string>

#include "com_ptr.h"
#include "packages/manifest_color.h"
#include "packages/package_system.h"
#include "packages/winrt_runtime.h"
#include "unique_handle.h"
#include "unique_memory.h"

namespace brisko {
namespace {

constexpr LCID kFrenchFrance = 1036;
// The size of the buffer the resource index resolves into.
constexpr UINT kResolvedLogoLength = 256;


// Package strings are read with French as the thread's and the C library's locale; both are
// put back afterwards, since the thread and the library belong to the caller.
class FrenchLocale {
public:
    FrenchLocale() : threadLocale_(::GetThreadLocale()) {
        if (const char* current = std::setlocale(LC_ALL, nullptr)) crtLocale_ = current;
        ::SetThreadLocale(kFrenchFrance);
        std::setlocale(LC_ALL, "French");
    }
    ~FrenchLocale() {
        if (!crtLocale_.empty()) std::setlocale(LC_ALL, crtLocale_.c_str());
        ::SetThreadLocale(threadLocale_);
    }
    FrenchLocale(const FrenchLocale&) = delete;
    FrenchLocale& operator=(const FrenchLocale&) = delete;

private:
    LCID threadLocale_;
    std::string crtLocale_;
};

// When the resource index cannot resolve the logo, the manifest's own path stands.
std::wstring ResolveLogo(const PackageInfo& package, const std::wstring& value) {
    const std::wstring reference =
        LogoResourceReference(package.installLocation + L"resources.pri", package.identityName, value);
    std::wstring resolved(kResolvedLogoLength, L'\0');
    const HRESULT result =
        CurrentPackageSystem().loadIndirectString(reference.c_str(), resolved.data(), kResolvedLogoLength);
    resolved.resize(::wcsnlen(resolved.c_str(), kResolvedLogoLength));
    if (FAILED(result) || resolved.empty()) resolved = value;
    return LogoPath(package.installLocation, resolved);
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
    const FrenchLocale locale;
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

std::wstring LogoPath(std::wstring_view installLocation, const std::wstring& logo) {
    if (::PathIsRelativeW(logo.c_str())) return std::wstring(installLocation) + logo;
    return logo;
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
