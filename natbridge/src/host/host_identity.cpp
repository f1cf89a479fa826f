#include "host/host_identity.h"

#include <windows.h>
#include <oleauto.h>
#include <shlobj.h>
#include <wbemidl.h>

#include "com_ptr.h"
#include "jni/com_scope.h"
#include "variant.h"

namespace brisko {
namespace {

constexpr CLSID kWbemLocatorClass = {0x4590f811, 0x1d3a, 0x11d0, {0x89, 0x1f, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
constexpr IID kWbemLocatorInterface = {0xdc12a687, 0x737f, 0x11cf, {0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};

// A BSTR owned for one call.
class Bstr {
public:
    explicit Bstr(const wchar_t* text) : value_(::SysAllocString(text)) {}
    ~Bstr() { ::SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return value_; }
    explicit operator bool() const { return value_ != nullptr; }

private:
    BSTR value_;
};

std::wstring QueryProductUuid() {
    ComPtr<IWbemLocator> locator;
    if (FAILED(::CoCreateInstance(kWbemLocatorClass, nullptr, CLSCTX_INPROC_SERVER, kWbemLocatorInterface,
                                  reinterpret_cast<void**>(locator.put()))))
        return {};
    const Bstr space(L"ROOT\\CIMV2");
    ComPtr<IWbemServices> services;
    if (!space || FAILED(locator->ConnectServer(space.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                                services.put())))
        return {};
    if (FAILED(::CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                   RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE)))
        return {};
    const Bstr language(L"WQL");
    const Bstr query(L"SELECT * FROM Win32_ComputerSystemProduct");
    ComPtr<IEnumWbemClassObject> products;
    if (!language || !query ||
        FAILED(services->ExecQuery(language.get(), query.get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                   nullptr, products.put())))
        return {};
    ComPtr<IWbemClassObject> product;
    ULONG returned = 0;
    // A WMI service that does not answer must not hold the core's thread for ever.
    if (products->Next(kWmiWaitMilliseconds, 1, product.put(), &returned) != WBEM_S_NO_ERROR || returned != 1 ||
        !product)
        return {};
    Variant uuid;
    if (FAILED(product->Get(L"UUID", 0, uuid.put(), nullptr, nullptr)) || uuid.get().vt != VT_BSTR ||
        !uuid.get().bstrVal)
        return {};
    return std::wstring(uuid.get().bstrVal, ::SysStringLen(uuid.get().bstrVal));
}

}  // namespace

std::wstring WmiProductUuid() {
    const ComScope com;
    if (!com.usable()) return {};
    return QueryProductUuid();
}

std::wstring HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &length)) return {};
    return std::wstring(name, length);
}

std::wstring ApplicationSupportDirectory() {
    wchar_t path[MAX_PATH];
    if (::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
    return path;
}

}  // namespace brisko
