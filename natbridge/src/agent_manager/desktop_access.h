#pragma once
// Grants a logon SID access to the interactive window station "winsta0" and its desktop
// "default", so a process started with that logon's token can use them.
#include <windows.h>

#include <vector>

namespace brisko {

// The token's logon SID (the group flagged SE_GROUP_LOGON_ID); empty when it has none.
std::vector<BYTE> LogonSid(HANDLE token);

// Both answer false on failure. An entry already present is not added again, so repeated
// launches do not grow the DACL towards its 64 KB limit.
bool GrantWindowStation(HWINSTA station, PSID sid);
bool GrantDesktop(HDESK desktop, PSID sid);

}  // namespace brisko
