#pragma once
// A phone book and active connections that Wine does not have, behind the dial-up seam. The fake
// answers as rasapi32 does: ERROR_BUFFER_TOO_SMALL with the needed byte count, then the list.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "dial_up.h"

namespace brisko::testing {

struct FakeDialUp {
    std::vector<std::wstring> active;     // entry names of the active connections
    std::vector<std::wstring> phoneBook;  // entry names of the phone book

    static inline FakeDialUp* current = nullptr;

    FakeDialUp() { current = this; }
    ~FakeDialUp() { current = nullptr; }
    FakeDialUp(const FakeDialUp&) = delete;
    FakeDialUp& operator=(const FakeDialUp&) = delete;

    DialUpApi api() const { return {&enumConnections, &enumEntries}; }

private:
    // Names of 257 units or more fill the field without a terminator, as a broken driver might.
    static void copyName(wchar_t (&field)[kEntryNameCapacity], const std::wstring& name) {
        const size_t units = std::min(name.size(), kEntryNameCapacity);
        std::wmemcpy(field, name.c_str(), units);
        if (units < kEntryNameCapacity) field[units] = L'\0';
    }

    template <typename Record>
    static DWORD fill(Record* records, DWORD* bytes, DWORD* count, const std::vector<std::wstring>& names) {
        if (records->dwSize != sizeof(Record)) return ERROR_INVALID_SIZE;
        const auto needed = static_cast<DWORD>(names.size() * sizeof(Record));
        if (*bytes < needed) {
            *bytes = needed;
            *count = 0;
            return ERROR_BUFFER_TOO_SMALL;
        }
        for (size_t i = 0; i < names.size(); ++i) {
            records[i].dwSize = sizeof(Record);
            copyName(records[i].szEntryName, names[i]);
        }
        *bytes = needed;
        *count = static_cast<DWORD>(names.size());
        return ERROR_SUCCESS;
    }

    static DWORD WINAPI enumConnections(RasConnection* connections, DWORD* bytes, DWORD* count) {
        return fill(connections, bytes, count, current->active);
    }
    static DWORD WINAPI enumEntries(const wchar_t*, const wchar_t*, RASENTRYNAMEW* entries, DWORD* bytes,
                                    DWORD* count) {
        return fill(entries, bytes, count, current->phoneBook);
    }
};

}  // namespace brisko::testing
