// A recording stand-in for FWPUCLNT.DLL, placed beside a test program so that the plug-in loads
// it instead of the system's. It writes one line per engine call with every field the caller
// passed, keeps a small in-memory engine (providers, filters, transactions) so that repeated and
// failing calls behave as the real engine's do, and fails a chosen call on request.
//
// Built twice: complete, and without FwpmFilterDeleteByKey0 (MISSING_FILTER_DELETE) to stand for
// a library that lacks an entry point.
#include <winsock2.h>
#include <windows.h>

#include <fwpmu.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "recorder.h"
#include "text.h"

namespace {

struct Objects {
    std::set<std::string> providers;
    std::map<std::string, unsigned> filterPorts;  // by filter key
    std::map<std::string, std::string> filterProviders;
};

struct PlannedFailure {
    std::string entryPoint;
    unsigned occurrence = 0;
    DWORD result = 0;
};

struct Calls {
    std::string records;
    std::uintptr_t lastEngine = 0;
    std::map<std::string, unsigned> counts;
    std::optional<PlannedFailure> failure;
};

struct Double {
    Calls calls;
    Objects committed;
    std::optional<Objects> transaction;
    std::string contents;
};

Double& State() {
    static Double state;
    return state;
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", value);
    return text;
}

std::string Guid(const GUID& key) {
    char text[40];
    std::snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(key.Data1), key.Data2, key.Data3, key.Data4[0], key.Data4[1],
                  key.Data4[2], key.Data4[3], key.Data4[4], key.Data4[5], key.Data4[6], key.Data4[7]);
    return text;
}

std::string GuidPointer(const GUID* key) { return key ? Guid(*key) : "null"; }

std::string Text(const wchar_t* text) { return text ? "\"" + brisko::wideToUtf8(text) + "\"" : "null"; }

std::string Pointer(const void* pointer) { return pointer ? "set" : "null"; }

std::string Engine(HANDLE engine) {
    std::string text = "#";  // appended rather than "#" + ..., which trips a GCC 12 false warning
    return text += std::to_string(reinterpret_cast<std::uintptr_t>(engine));
}

std::string Blob(const FWP_BYTE_BLOB& blob) { return std::to_string(blob.size) + ":" + Pointer(blob.data); }

// The data types the plug-in may use are shown by name and value; others by number.
template <typename Value>
std::string TypedValue(const Value& value) {
    switch (value.type) {
        case FWP_EMPTY: return "FWP_EMPTY";
        case FWP_UINT8: return "FWP_UINT8:" + std::to_string(value.uint8);
        case FWP_UINT16: return "FWP_UINT16:" + std::to_string(value.uint16);
        case FWP_UINT32: return "FWP_UINT32:" + std::to_string(value.uint32);
        default: return "type" + std::to_string(static_cast<int>(value.type));
    }
}

std::string Display(const FWPM_DISPLAY_DATA0& display) {
    return "name=" + Text(display.name) + " description=" + Text(display.description);
}

std::string Session(const FWPM_SESSION0* session) {
    if (!session) return "null";
    return "{key=" + Guid(session->sessionKey) + " " + Display(session->displayData) +
           " flags=" + Hex(session->flags) + " txnWait=" + Hex(session->txnWaitTimeoutInMSec) +
           " processId=" + std::to_string(session->processId) + " sid=" + Pointer(session->sid) +
           " username=" + Text(session->username) + " kernelMode=" + std::to_string(session->kernelMode) + "}";
}

std::string Provider(const FWPM_PROVIDER0* provider) {
    if (!provider) return "null";
    return "{key=" + Guid(provider->providerKey) + " " + Display(provider->displayData) +
           " flags=" + Hex(provider->flags) + " data=" + Blob(provider->providerData) +
           " serviceName=" + Text(provider->serviceName) + "}";
}

std::string Conditions(const FWPM_FILTER0& filter) {
    std::string text = std::to_string(filter.numFilterConditions) + "[";
    for (UINT32 i = 0; filter.filterCondition && i < filter.numFilterConditions; ++i) {
        const FWPM_FILTER_CONDITION0& condition = filter.filterCondition[i];
        if (i) text += ", ";
        text += Guid(condition.fieldKey) + " match=" + std::to_string(static_cast<int>(condition.matchType)) + " " +
                TypedValue(condition.conditionValue);
    }
    return text + "]";
}

std::string Filter(const FWPM_FILTER0* filter) {
    if (!filter) return "null";
    return "{key=" + Guid(filter->filterKey) + " " + Display(filter->displayData) + " flags=" + Hex(filter->flags) +
           " provider=" + GuidPointer(filter->providerKey) + " data=" + Blob(filter->providerData) +
           " layer=" + Guid(filter->layerKey) + " sublayer=" + Guid(filter->subLayerKey) +
           " weight=" + TypedValue(filter->weight) + " conditions=" + Conditions(*filter) +
           " action=" + Hex(filter->action.type) + " actionKey=" + Guid(filter->action.filterType) +
           " context=" + Guid(filter->providerContextKey) + " reserved=" + GuidPointer(filter->reserved) +
           " filterId=" + std::to_string(filter->filterId) + " effectiveWeight=" + TypedValue(filter->effectiveWeight) + "}";
}

// The planned failure, when this call is the one; every call is counted.
std::optional<DWORD> PlannedResult(const char* entryPoint) {
    Calls& calls = State().calls;
    const unsigned count = ++calls.counts[entryPoint];
    if (calls.failure && calls.failure->entryPoint == entryPoint && calls.failure->occurrence == count)
        return calls.failure->result;
    return std::nullopt;
}

DWORD Record(const char* entryPoint, const std::string& arguments, DWORD result) {
    State().calls.records += std::string(entryPoint) + " " + arguments + " -> " + Hex(result) + "\n";
    return result;
}

// Changes go to the open transaction, or straight to the engine when there is none.
Objects& Target() {
    Double& state = State();
    return state.transaction ? *state.transaction : state.committed;
}

template <typename Change>
DWORD Call(const char* entryPoint, const std::string& arguments, Change&& change) {
    if (const std::optional<DWORD> planned = PlannedResult(entryPoint)) return Record(entryPoint, arguments, *planned);
    return Record(entryPoint, arguments, change());
}

constexpr DWORD Code(HRESULT result) { return static_cast<DWORD>(result); }

void EndTransaction(bool commit) {
    Double& state = State();
    if (commit && state.transaction) state.committed = *state.transaction;
    state.transaction.reset();
}

}  // namespace

extern "C" {

__declspec(dllexport) DWORD WINAPI FwpmEngineOpen0(const wchar_t* serverName, UINT32 authnService,
                                                   SEC_WINNT_AUTH_IDENTITY_W* authIdentity,
                                                   const FWPM_SESSION0* session, HANDLE* engineHandle) {
    const std::string arguments = "server=" + Text(serverName) + " authn=" + Hex(authnService) +
                                  " identity=" + Pointer(authIdentity) + " session=" + Session(session);
    return Call("FwpmEngineOpen0", arguments, [&] {
        *engineHandle = reinterpret_cast<HANDLE>(++State().calls.lastEngine);
        return DWORD{ERROR_SUCCESS};
    });
}

__declspec(dllexport) DWORD WINAPI FwpmEngineClose0(HANDLE engineHandle) {
    return Call("FwpmEngineClose0", "engine=" + Engine(engineHandle), [] {
        EndTransaction(false);  // the engine drops a transaction its session left open
        return DWORD{ERROR_SUCCESS};
    });
}

__declspec(dllexport) DWORD WINAPI FwpmTransactionBegin0(HANDLE engineHandle, UINT32 flags) {
    return Call("FwpmTransactionBegin0", "engine=" + Engine(engineHandle) + " flags=" + Hex(flags), [] {
        Double& state = State();
        if (state.transaction) return Code(FWP_E_TXN_IN_PROGRESS);
        state.transaction = state.committed;
        return DWORD{ERROR_SUCCESS};
    });
}

__declspec(dllexport) DWORD WINAPI FwpmTransactionCommit0(HANDLE engineHandle) {
    return Call("FwpmTransactionCommit0", "engine=" + Engine(engineHandle), [] {
        if (!State().transaction) return Code(FWP_E_NO_TXN_IN_PROGRESS);
        EndTransaction(true);
        return DWORD{ERROR_SUCCESS};
    });
}

__declspec(dllexport) DWORD WINAPI FwpmTransactionAbort0(HANDLE engineHandle) {
    return Call("FwpmTransactionAbort0", "engine=" + Engine(engineHandle), [] {
        if (!State().transaction) return Code(FWP_E_NO_TXN_IN_PROGRESS);
        EndTransaction(false);
        return DWORD{ERROR_SUCCESS};
    });
}

__declspec(dllexport) DWORD WINAPI FwpmProviderAdd0(HANDLE engineHandle, const FWPM_PROVIDER0* provider,
                                                    PSECURITY_DESCRIPTOR sd) {
    const std::string arguments =
        "engine=" + Engine(engineHandle) + " provider=" + Provider(provider) + " sd=" + Pointer(sd);
    return Call("FwpmProviderAdd0", arguments, [&] {
        if (!Target().providers.insert(Guid(provider->providerKey)).second) return Code(FWP_E_ALREADY_EXISTS);
        return DWORD{ERROR_SUCCESS};
    });
}

__declspec(dllexport) DWORD WINAPI FwpmProviderDeleteByKey0(HANDLE engineHandle, const GUID* key) {
    return Call("FwpmProviderDeleteByKey0", "engine=" + Engine(engineHandle) + " key=" + GuidPointer(key), [&] {
        Objects& objects = Target();
        const std::string provider = Guid(*key);
        if (!objects.providers.count(provider)) return Code(FWP_E_PROVIDER_NOT_FOUND);
        for (const auto& [filter, owner] : objects.filterProviders)
            if (owner == provider) return Code(FWP_E_IN_USE);
        objects.providers.erase(provider);
        return DWORD{ERROR_SUCCESS};
    });
}

__declspec(dllexport) DWORD WINAPI FwpmFilterAdd0(HANDLE engineHandle, const FWPM_FILTER0* filter,
                                                  PSECURITY_DESCRIPTOR sd, UINT64* id) {
    const std::string arguments = "engine=" + Engine(engineHandle) + " filter=" + Filter(filter) +
                                  " sd=" + Pointer(sd) + " id=" + Pointer(id);
    return Call("FwpmFilterAdd0", arguments, [&] {
        Objects& objects = Target();
        const std::string key = Guid(filter->filterKey);
        const std::string provider = GuidPointer(filter->providerKey);
        if (objects.filterPorts.count(key)) return Code(FWP_E_ALREADY_EXISTS);
        if (filter->providerKey && !objects.providers.count(provider)) return Code(FWP_E_PROVIDER_NOT_FOUND);
        const bool hasPort = filter->numFilterConditions == 2 && filter->filterCondition[1].conditionValue.type == FWP_UINT16;
        objects.filterPorts[key] = hasPort ? filter->filterCondition[1].conditionValue.uint16 : 0;
        objects.filterProviders[key] = provider;
        return DWORD{ERROR_SUCCESS};
    });
}

#ifndef MISSING_FILTER_DELETE
__declspec(dllexport) DWORD WINAPI FwpmFilterDeleteByKey0(HANDLE engineHandle, const GUID* key) {
    return Call("FwpmFilterDeleteByKey0", "engine=" + Engine(engineHandle) + " key=" + GuidPointer(key), [&] {
        Objects& objects = Target();
        if (!objects.filterPorts.erase(Guid(*key))) return Code(FWP_E_FILTER_NOT_FOUND);
        objects.filterProviders.erase(Guid(*key));
        return DWORD{ERROR_SUCCESS};
    });
}
#endif

__declspec(dllexport) const char* __cdecl RecordedCalls() { return State().calls.records.c_str(); }

__declspec(dllexport) const char* __cdecl EngineContents() {
    Double& state = State();
    state.contents.clear();
    for (const std::string& provider : state.committed.providers) state.contents += "provider " + provider + "\n";
    for (const auto& [key, port] : state.committed.filterPorts)
        state.contents += "filter " + key + " port " + std::to_string(port) + "\n";
    return state.contents.c_str();
}

__declspec(dllexport) void __cdecl ResetDouble() { State() = Double{}; }

__declspec(dllexport) void __cdecl ForgetCalls() { State().calls = Calls{}; }

__declspec(dllexport) void __cdecl FailCall(const char* entryPoint, unsigned occurrence, DWORD result) {
    State().calls.failure = PlannedFailure{entryPoint, occurrence, result};
}

}  // extern "C"
