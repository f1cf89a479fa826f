#pragma once
// What the core learns of one installed package.
#include <cstdint>
#include <string>

#include "packages/background_color.h"

namespace brisko {

struct PackageInfo {
    bool framework = false;
    bool manifestLoaded = false;
    std::int32_t backgroundColor = kNoBackgroundColor;  // 0x00BBGGRR
    std::wstring identityName;
    std::wstring fullName;
    std::wstring familyName;
    std::wstring installLocation;  // ends with "\"
    std::wstring logo;             // full path, or empty
};

}  // namespace brisko
