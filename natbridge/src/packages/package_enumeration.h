#pragma once
// The installed packages that are not frameworks, through the runtime's package manager.
#include <vector>

#include "packages/package_info.h"

namespace brisko {

enum class PackageOwners { AllUsers, CurrentUser };

// Packages whose identity or location cannot be read are left out; the manifests are not read
// yet. Empty when the package manager cannot be reached or refuses the query.
std::vector<PackageInfo> EnumeratePackages(PackageOwners owners);

}  // namespace brisko
