#pragma once
// The package manifest reader of the APPX packaging API, declared from its documented
// identifiers and member order (the toolchain has no header for it). Members this library never
// calls keep their slot with a placeholder signature.
#include <objidl.h>
#include <windows.h>

namespace brisko::appx {

struct IManifestApplicationsEnumerator : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCurrent(IUnknown** application) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHasCurrent(BOOL* hasCurrent) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveNext(BOOL* hasNext) = 0;
};

struct IManifestProperties : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetBoolValue(LPCWSTR name, BOOL* value) = 0;
    // The value is allocated with CoTaskMemAlloc.
    virtual HRESULT STDMETHODCALLTYPE GetStringValue(LPCWSTR name, LPWSTR* value) = 0;
};

struct IManifestReader : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPackageId(IUnknown** packageId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProperties(IManifestProperties** properties) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPackageDependencies(IUnknown** dependencies) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetResources(IUnknown** resources) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceCapabilities(IUnknown** deviceCapabilities) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPrerequisite(LPCWSTR name, UINT64* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetApplications(IManifestApplicationsEnumerator** applications) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStream(IStream** manifestStream) = 0;
};

struct IFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreatePackageWriter(IStream*, void*, IUnknown**) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreatePackageReader(IStream*, IUnknown**) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateManifestReader(IStream* inputStream, IManifestReader** manifestReader) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBlockMapReader(IStream*, IUnknown**) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateValidatedBlockMapReader(IStream*, LPCWSTR, IUnknown**) = 0;
};

inline constexpr CLSID kFactoryClass = {0x5842a140, 0xff9f, 0x4166, {0x8f, 0x5c, 0x62, 0xf5, 0xb7, 0xb0, 0xc7, 0x81}};

}  // namespace brisko::appx

__CRT_UUID_DECL(brisko::appx::IFactory, 0xbeb94909, 0xe451, 0x438b, 0xb5, 0xa7, 0xd7, 0x9e, 0x76, 0x7b, 0x75, 0xd8)
