#include "packages/package_system.h"

#include <shlwapi.h>

#include "packages/winrt_interfaces.h"
#include "packages/winrt_runtime.h"

namespace brisko {

PackageSystem RealPackageSystem() {
    return {
        [](IInspectable** manager) { return ActivateRuntimeClass(winrt::kPackageManagerClass, manager); },
        [](appx::IFactory** factory) {
            return ::CoCreateInstance(appx::kFactoryClass, nullptr, CLSCTX_INPROC_SERVER, __uuidof(appx::IFactory),
                                      reinterpret_cast<void**>(factory));
        },
        [](const wchar_t* source, wchar_t* buffer, UINT size) {
            return ::SHLoadIndirectString(source, buffer, size, nullptr);
        },
    };
}

PackageSystem& CurrentPackageSystem() {
    static PackageSystem system = RealPackageSystem();
    return system;
}

}  // namespace brisko
