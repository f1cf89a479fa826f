#pragma once
// Copies of a program with another version resource, made as any user can make them
// (UpdateResourceW needs no administrator): the child's way of renaming a refused program.
#include <windows.h>

#include <string>
#include <vector>

namespace brisko::testing {

struct VersionStrings {
    std::wstring originalFileName;
    std::wstring fileDescription;
};

// A VS_VERSIONINFO block with one string table (US English, Unicode) holding the two strings.
std::vector<BYTE> versionBlock(const VersionStrings& strings);

// Copies `program` to `copy` (replacing it) and gives the copy that version resource alone;
// false when any step fails.
bool copyWithVersion(const std::wstring& program, const std::wstring& copy, const VersionStrings& strings);

}  // namespace brisko::testing
