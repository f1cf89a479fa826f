// ApplyUserProxy's decisions over a user root the user filled himself (phone-book entries, the
// active dial-up entry, any values under Connections): every name is offered in the documented
// order, "SavedLegacySettings" and values too large to read are never touched, every blob written
// reads again and stays below the registry layer's limit, forcing the same proxy twice writes
// nothing the second time, and the Internet Settings values follow the request.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "connection_blob.h"
#include "fuzz_input.h"
#include "user_proxy_values.h"

namespace {

using namespace brisko;

struct Value {
    std::wstring name;
    std::vector<uint8_t> blob;
};

struct UserRoot {
    std::vector<std::wstring> phoneBook;
    std::optional<std::wstring> active;
    std::vector<Value> values;  // unique names, in enumeration order

    Value* find(const wchar_t* name) {
        for (Value& value : values)
            if (value.name == name) return &value;
        return nullptr;
    }
};

// Names reach the code as C strings, as the registry and the phone book hand them over.
std::wstring cName(std::wstring name) { return name.substr(0, name.find(L'\0')); }

UserRoot readRoot(FuzzInput& input) {
    UserRoot root;
    for (int entries = input.byte() % 4; entries > 0; --entries) root.phoneBook.push_back(cName(input.wide()));
    if (input.flag()) root.active = cName(input.wide());
    while (!input.empty()) {
        std::wstring name = cName(input.wide());
        std::vector<uint8_t> blob = input.bytes(input.u16() % 1100);
        if (!root.find(name.c_str())) root.values.push_back({std::move(name), std::move(blob)});
    }
    return root;
}

struct Applied {
    std::vector<std::wstring> offered;
    int writes = 0;
};

// ApplyUserProxy's walk with the model in place of the registry: a value of 1024 bytes or more
// reads as absent, as ReadBinaryValue answers.
Applied apply(UserRoot& root, const ProxySettings& settings) {
    Applied applied;
    ConnectionOffers offers(root.active ? root.active->c_str() : nullptr, [&](const wchar_t* name) -> long {
        applied.offered.push_back(name);
        if (!IsRewrittenConnectionSetting(name)) return 0;
        Value* value = root.find(name);
        if (!value || value->blob.size() >= kBlobSizeLimit) return 0;
        if (auto update = ConnectionSettingUpdate(value->blob, settings)) {
            FUZZ_CHECK(update->size() < kBlobSizeLimit);
            value->blob = std::move(*update);
            ++applied.writes;
        }
        return 0;
    });
    for (const std::wstring& entry : root.phoneBook) offers.offer(entry.c_str());
    for (size_t i = 0; i < root.values.size(); ++i) offers.offer(root.values[i].name.c_str());
    offers.offerUnseenActive();
    return applied;
}

std::vector<std::wstring> expectedOffers(const UserRoot& root) {
    std::vector<std::wstring> names = root.phoneBook;
    for (const Value& value : root.values) names.push_back(value.name);
    if (root.active && std::find(names.begin(), names.end(), *root.active) == names.end())
        names.push_back(*root.active);
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const bool setting = input.flag();
    std::string narrow = input.narrow();
    narrow.resize(std::strlen(narrow.c_str()));
    const std::wstring wide(narrow.begin(), narrow.end());
    UserRoot root = readRoot(input);
    const UserRoot before = root;
    const ProxySettings settings = setting ? ProxySettings{narrow.c_str(), wide.c_str()} : ProxySettings{};

    const Applied first = apply(root, settings);
    FUZZ_CHECK(first.offered == expectedOffers(before));
    for (size_t i = 0; i < root.values.size(); ++i) {
        const std::vector<uint8_t>& now = root.values[i].blob;
        const std::vector<uint8_t>& was = before.values[i].blob;
        if (!IsRewrittenConnectionSetting(root.values[i].name.c_str()) || was.size() >= kBlobSizeLimit)
            FUZZ_CHECK(now == was);
        if (now == was) continue;
        const auto proxy = setting ? std::optional<std::string_view>(narrow) : std::nullopt;
        const BlobRewrite again = RewriteConnectionBlob(now, proxy).outcome;
        FUZZ_CHECK(again != BlobRewrite::Malformed && again != BlobRewrite::TooLarge);
        if (setting) FUZZ_CHECK(again == BlobRewrite::AlreadyRight);
    }
    if (setting) FUZZ_CHECK(apply(root, settings).writes == 0);

    const InternetSettingsValues values = InternetSettingsFor(settings);
    FUZZ_CHECK((values.proxyServer != nullptr) == setting && (values.proxyOverride != nullptr) == setting);
    if (setting) FUZZ_CHECK(std::wcscmp(values.proxyServer, wide.c_str()) == 0 && std::wcscmp(values.proxyOverride, L"<local>") == 0);
    FUZZ_CHECK(values.proxyEnable == (setting ? 1u : 0u));
    return 0;
}
