#pragma once
// The logo and tile colour of a package, from its AppxManifest.xml.
#include <string>
#include <string_view>

#include "packages/package_info.h"

namespace brisko {

// Reads the manifest of the package once (later calls do nothing). An unreadable manifest
// leaves the logo empty and the colour unset; so does a logo that is no file inside the package.
void LoadManifest(PackageInfo& package);

// The indirect string that asks the package's resource index for the best file for a logo
// given in the manifest ("Assets\Logo.png").
std::wstring LogoResourceReference(std::wstring_view resourceFile, std::wstring_view identityName,
                                   std::wstring_view logoValue);

}  // namespace brisko
