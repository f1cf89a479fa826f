#pragma once
// The machine's stable identifier for the core: the firmware's system UUID, unless it is one of
// the placeholders that many machines share, and otherwise the machine GUID Windows keeps.
#include <functional>
#include <string>
#include <string_view>

namespace brisko {

// Where the identifier comes from, behind a replaceable table (Wine has one UUID and one GUID).
// The defaults are the real sources; tests put their own in place. Each answers empty when it
// has nothing.
struct HostIdentitySources {
    // The UUID of Win32_ComputerSystemProduct from WMI, with a bounded wait.
    std::function<std::wstring()> productUuid;
    // "MachineGuid" under HKLM\SOFTWARE\Microsoft\Cryptography (64-bit view).
    std::function<std::wstring()> machineGuid;
};

HostIdentitySources RealHostIdentitySources();
HostIdentitySources& CurrentHostIdentitySources();

// The firmware placeholders: all zeros, all F, and the default of a family of cheap boards and
// cloned virtual machines (in both byte orders); any letter case.
bool IsPlaceholderUuid(std::wstring_view uuid);

// The product UUID as it came; for an empty or placeholder one, the machine GUID in the same
// upper-case 8-4-4-4-12 form; empty when neither is usable.
std::wstring HostIdentifier();

}  // namespace brisko
