// The registry layer against the real registry of the Wine prefix, on keys of the test's own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registry.h"
#include "registry_fixture.h"
#include "unique_handle.h"

namespace brisko::testing {
namespace {

using ::testing::ElementsAre;

TEST(RegistryView, AddsTheViewFlagToTheAccess) {
    EXPECT_EQ(WithView(KEY_WRITE, RegistryView::Default), 0x20006u);
    EXPECT_EQ(WithView(KEY_WRITE, RegistryView::Registry32), 0x20206u);
    EXPECT_EQ(WithView(KEY_WRITE, RegistryView::Registry64), 0x20106u);
    EXPECT_EQ(WithView(KEY_READ, static_cast<RegistryView>(7)), 0x20019u);
}

std::wstring heapText(const MallocPtr<wchar_t>& text) { return text ? std::wstring(text.get()) : L"(null)"; }

TEST(Registry, WritesCreateMissingKeysAndReadBack) {
    TestKey key(L"write");
    const std::wstring deep = key.path() + L"\\a\\b";
    EXPECT_EQ(WriteStringValue(HKEY_CURRENT_USER, deep.c_str(), L"text", L"caf\u00e9", RegistryView::Default), 0);
    const DWORD number = 7;
    EXPECT_EQ(WriteValue(HKEY_CURRENT_USER, deep.c_str(), L"number", REG_DWORD, &number, 4, RegistryView::Default), 0);
    EXPECT_EQ(WriteValue(key.get(), nullptr, L"direct", REG_DWORD, &number, 4, RegistryView::Default), 0);

    const auto stored = readRaw(HKEY_CURRENT_USER, deep, L"text");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->data.size(), 10u) << "the terminating NUL is stored";
    EXPECT_EQ(readDword(HKEY_CURRENT_USER, deep, L"number"), 7u);
    EXPECT_EQ(readDword(HKEY_CURRENT_USER, key.path(), L"direct"), 7u);
    EXPECT_EQ(heapText(ReadStringValue(HKEY_CURRENT_USER, deep.c_str(), L"text")), L"caf\u00e9");

    DWORD type = 0, value = 0, size = sizeof value;
    EXPECT_EQ(QueryValue(HKEY_CURRENT_USER, deep.c_str(), L"number", &type, &value, &size, RegistryView::Default), 0);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(QueryValue(key.get(), nullptr, L"direct", &type, &value, &size, RegistryView::Default), 0);
    EXPECT_EQ(QueryValue(HKEY_CURRENT_USER, (key.path() + L"\\none").c_str(), L"x", &type, &value, &size,
                         RegistryView::Default),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(QueryValue(key.get(), nullptr, L"missing", &type, &value, &size, RegistryView::Default),
              ERROR_FILE_NOT_FOUND);
}

// Windows and Wine refuse a lasting key below a volatile one, whatever the caller's rights.
TEST(Registry, WriteUnderAKeyThatCannotBeCreatedAnswersZeroAndWritesNothing) {
    TestKey key(L"nocreate");
    UniqueKey volatileKey;
    ASSERT_EQ(::RegCreateKeyExW(key.get(), L"volatile", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                volatileKey.put(), nullptr),
              0);
    const DWORD number = 1;
    const std::wstring child = key.path() + L"\\volatile\\child";
    EXPECT_EQ(WriteValue(HKEY_CURRENT_USER, child.c_str(), L"v", REG_DWORD, &number, 4, RegistryView::Default), 0);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, child));
    EXPECT_FALSE(readRaw(volatileKey.get(), L"", L"v"));
}

TEST(Registry, DeleteAnswersMinusOneForAMissingKeyAndTwoForAMissingValue) {
    TestKey key(L"delete");
    setString(HKEY_CURRENT_USER, key.path(), L"v", L"x");
    EXPECT_EQ(DeleteValue(HKEY_CURRENT_USER, (key.path() + L"\\none").c_str(), L"v", RegistryView::Default), -1);
    EXPECT_EQ(DeleteValue(HKEY_CURRENT_USER, key.path().c_str(), L"other", RegistryView::Default), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(DeleteValue(HKEY_CURRENT_USER, key.path().c_str(), L"v", RegistryView::Default), 0);
    EXPECT_FALSE(readRaw(HKEY_CURRENT_USER, key.path(), L"v"));
}

struct StringCase {
    const char* name;
    DWORD type;
    std::vector<uint8_t> data;
    const wchar_t* expected;  // null: absent
};

std::vector<uint8_t> utf16Bytes(const std::wstring& text, bool terminated) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
    return {bytes, bytes + (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t)};
}

// Stores exactly these bytes. Given a string whose last code unit is not NUL, RegSetValueExW
// (Windows' and Wine's) stores one unit more when the unit after the given bytes is NUL, taking
// it for a terminator the caller forgot to count; what lies after a vector's bytes is whatever
// the heap has there. A copy followed by a unit that is not NUL leaves nothing to guess.
void setExactly(HKEY root, const std::wstring& subkey, const wchar_t* name, DWORD type,
                const std::vector<uint8_t>& data) {
    std::vector<uint8_t> guarded = data;
    guarded.insert(guarded.end(), {'!', '!'});
    setRaw(root, subkey, name, type, guarded.data(), data.size());
}

TEST(Registry, ReadStringValueTakesTextsBelow1024Bytes) {
    const std::wstring text510(510, L'x');
    const std::wstring text511(511, L'y');
    const std::wstring text512(512, L'z');
    const StringCase cases[] = {
        {"Plain", REG_SZ, utf16Bytes(L"plain", true), L"plain"},
        {"Unexpanded", REG_EXPAND_SZ, utf16Bytes(L"%SystemRoot%\\x", true), L"%SystemRoot%\\x"},
        {"NoTerminator", REG_SZ, utf16Bytes(L"open", false), L"open"},
        {"EmbeddedNul", REG_SZ, utf16Bytes(std::wstring(L"ab\0cd", 5), true), L"ab"},
        {"Of1022Bytes", REG_SZ, utf16Bytes(text510, true), text510.c_str()},
        {"Of1022BytesUnterminated", REG_SZ, utf16Bytes(text511, false), text511.c_str()},
        {"Of1024Bytes", REG_SZ, utf16Bytes(text511, true), nullptr},
        {"Larger", REG_SZ, utf16Bytes(text512, true), nullptr},
        {"OddSize", REG_SZ, {'a', 0, 'b', 0, 'c'}, L"ab"},
        {"Dword", REG_DWORD, {1, 0, 0, 0}, nullptr},
        {"Binary", REG_BINARY, {'a', 0, 0, 0}, nullptr},
    };
    TestKey key(L"strings");
    for (const auto& c : cases) {
        setExactly(HKEY_CURRENT_USER, key.path(), L"value", c.type, c.data);
        const auto stored = readRaw(HKEY_CURRENT_USER, key.path(), L"value");
        ASSERT_TRUE(stored && stored->data == c.data) << c.name << ": not stored as given";
        const MallocPtr<wchar_t> read = ReadStringValue(HKEY_CURRENT_USER, key.path().c_str(), L"value");
        EXPECT_EQ(heapText(read), c.expected ? c.expected : L"(null)") << c.name;
    }
    EXPECT_FALSE(ReadStringValue(HKEY_CURRENT_USER, key.path().c_str(), L"missing"));
    EXPECT_FALSE(ReadStringValue(HKEY_CURRENT_USER, (key.path() + L"\\none").c_str(), nullptr));
    setString(HKEY_CURRENT_USER, key.path(), nullptr, L"default");
    EXPECT_EQ(heapText(ReadStringValue(key.get(), nullptr, nullptr)), L"default");
}

TEST(Registry, ReadBinaryValueTakesBlobsBelow1024Bytes) {
    TestKey key(L"binary");
    const std::vector<uint8_t> blob1023(1023, 0x5A);
    setBinary(HKEY_CURRENT_USER, key.path(), L"big", blob1023);
    setBinary(HKEY_CURRENT_USER, key.path(), L"huge", std::vector<uint8_t>(1024, 1));
    setBinary(HKEY_CURRENT_USER, key.path(), L"empty", {});
    setString(HKEY_CURRENT_USER, key.path(), L"text", L"abc");

    DWORD size = 0;
    const MallocPtr<uint8_t> big = ReadBinaryValue(key.get(), L"big", &size);
    ASSERT_TRUE(big);
    EXPECT_EQ(std::vector<uint8_t>(big.get(), big.get() + size), blob1023);
    size = 99;
    EXPECT_TRUE(ReadBinaryValue(key.get(), L"empty", &size));
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(ReadBinaryValue(key.get(), L"big"));
    EXPECT_FALSE(ReadBinaryValue(key.get(), L"huge", &size));
    EXPECT_FALSE(ReadBinaryValue(key.get(), L"text", &size));
    EXPECT_FALSE(ReadBinaryValue(key.get(), L"missing", &size));
}

// Each key holds its own name as default value, so the walk's order can be recorded.
std::vector<std::wstring> walk(const TestKey& key, const std::wstring& stopAt) {
    std::vector<std::wstring> visited;
    ForEachSubkey(
        key.get(),
        [&](HKEY subkey) {
            visited.push_back(heapText(ReadStringValue(subkey, nullptr, nullptr)));
            return visited.back() != stopAt;
        },
        RegistryView::Default);
    return visited;
}

TEST(Registry, ForEachSubkeyWalksParentsFirstAndStopsOneLevel) {
    TestKey key(L"walk");
    for (const wchar_t* path : {L"A", L"A\\A1", L"A\\A1\\A1a", L"A\\A2", L"B", L"B\\B1", L"C"}) {
        const std::wstring name = std::wstring(path).substr(std::wstring(path).find_last_of(L'\\') + 1);
        setString(HKEY_CURRENT_USER, key.path() + L"\\" + path, nullptr, name);
    }
    EXPECT_THAT(walk(key, L""), ElementsAre(L"A", L"A1", L"A1a", L"A2", L"B", L"B1", L"C"));
    EXPECT_THAT(walk(key, L"A1"), ElementsAre(L"A", L"A1", L"A1a", L"B", L"B1", L"C"));
    EXPECT_THAT(walk(key, L"A"), ElementsAre(L"A", L"A1", L"A1a", L"A2"));
}

// Wine grants every registry access, so denial is shown through the opener.
LSTATUS openDenyingSome(HKEY parent, const wchar_t* name, HKEY* key) {
    if (std::wstring(name) == L"2-denied") return ERROR_ACCESS_DENIED;
    if (std::wstring(name) == L"4-broken") return ERROR_INVALID_HANDLE;
    return ::RegOpenKeyExW(parent, name, 0, KEY_WRITE, key);
}

TEST(Registry, WritableSubkeyWalkSkipsDeniedKeysAndStopsAtOtherErrors) {
    TestKey key(L"roots");
    for (const wchar_t* name : {L"1", L"2-denied", L"3", L"4-broken", L"5"})
        setString(HKEY_CURRENT_USER, key.path() + L"\\" + name, L"name", name);
    int visited = 0;
    const auto count = [&](HKEY) { return ++visited, true; };
    EXPECT_EQ(ForEachWritableSubkey(key.get(), &openDenyingSome, count), ERROR_INVALID_HANDLE);
    EXPECT_EQ(visited, 2) << "1 and 3; 2 skipped, 5 never reached";

    visited = 0;
    EXPECT_EQ(ForEachWritableSubkey(key.get(), &openDenyingSome, [&](HKEY) { return ++visited, false; }), 0);
    EXPECT_EQ(visited, 1);
}

TEST(Registry, ForEachUserRootVisitsEverySubkeyOfTheUsersHive) {
    DWORD subkeys = 0;
    ASSERT_EQ(::RegQueryInfoKeyW(HKEY_USERS, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr),
              0);
    ASSERT_GT(subkeys, 0u);
    DWORD visited = 0;
    EXPECT_EQ(ForEachUserRoot([&](HKEY root) {
                  // The handle is open for writing.
                  const DWORD probe = 1;
                  EXPECT_EQ(::RegSetValueExW(root, L"HarbeeProbe", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&probe), 4), 0);
                  ::RegDeleteValueW(root, L"HarbeeProbe");
                  return ++visited, true;
              }),
              0);
    EXPECT_EQ(visited, subkeys);
    visited = 0;
    EXPECT_EQ(ForEachUserRoot([&](HKEY) { return ++visited, false; }), 0);
    EXPECT_EQ(visited, 1u);
}

TEST(Registry, RestorePrivilegeIsEnabledOnceAndStays) {
    EXPECT_TRUE(EnableRestorePrivilege());
    EXPECT_TRUE(EnableRestorePrivilege());
}

}  // namespace
}  // namespace brisko::testing
