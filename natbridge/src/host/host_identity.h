#pragma once
// Facts about the machine: its hardware UUID, name and shared data folder. Each is empty when
// it cannot be learned.
#include <string>

namespace brisko {

// The UUID of the computer system product, as WMI gives it within kWmiWaitMilliseconds.
constexpr long kWmiWaitMilliseconds = 10000;
std::wstring WmiProductUuid();
// The NetBIOS computer name.
std::wstring HostName();
// The common application data folder (CSIDL_COMMON_APPDATA).
std::wstring ApplicationSupportDirectory();

}  // namespace brisko
