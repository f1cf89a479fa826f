#pragma once
// The system services behind package enumeration that Wine does not offer (the runtime's
// package manager, the APPX manifest reader, the package resource index), behind a replaceable
// table. The defaults are the real calls; tests put their own in place.
#include <windows.h>
#include <inspectable.h>

#include <functional>

#include "packages/appx_interfaces.h"

namespace brisko {

struct PackageSystem {
    // A new Windows.Management.Deployment.PackageManager (RoActivateInstance).
    std::function<HRESULT(IInspectable** manager)> activatePackageManager;
    // A new APPX factory from its in-process server (CoCreateInstance).
    std::function<HRESULT(appx::IFactory** factory)> createAppxFactory;
    // Resolves an indirect string ("@{...}") into a buffer of `size` units (SHLoadIndirectString).
    std::function<HRESULT(const wchar_t* source, wchar_t* buffer, UINT size)> loadIndirectString;
};

PackageSystem RealPackageSystem();
PackageSystem& CurrentPackageSystem();

}  // namespace brisko
