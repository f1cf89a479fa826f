#pragma once
// The few Windows Runtime interfaces of package enumeration, declared from their documented
// identifiers and member order (the toolchain's headers lack them). Members this library never
// calls keep their slot with a placeholder signature.
#include <windows.h>
#include <hstring.h>
#include <inspectable.h>

namespace brisko::winrt {

struct IPackageId : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_Name(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Version(void* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Architecture(INT32* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ResourceId(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Publisher(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PublisherId(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FullName(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FamilyName(HSTRING* value) = 0;
};

// Windows.ApplicationModel.Package; the installed location is a StorageFolder.
struct IPackage : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_Id(IPackageId** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InstalledLocation(IInspectable** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsFramework(boolean* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Dependencies(IInspectable** value) = 0;
};

// IIterator<Package>
struct IPackageIterator : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE get_Current(IPackage** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HasCurrent(boolean* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveNext(boolean* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMany(UINT32 capacity, IPackage** items, UINT32* actual) = 0;
};

// IIterable<Package>
struct IPackageIterable : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE First(IPackageIterator** value) = 0;
};

struct IPackageManager : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE AddPackageAsync(IInspectable*, IInspectable*, INT32, IInspectable**) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdatePackageAsync(IInspectable*, IInspectable*, INT32, IInspectable**) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemovePackageAsync(HSTRING, IInspectable**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StagePackageAsync(IInspectable*, IInspectable*, IInspectable**) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterPackageAsync(IInspectable*, IInspectable*, INT32, IInspectable**) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindPackages(IPackageIterable** packages) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindPackagesByUserSecurityId(HSTRING userSecurityId,
                                                                   IPackageIterable** packages) = 0;
};

// Windows.Storage.IStorageItem, asked of the installed-location folder for its path.
struct IStorageItem : IInspectable {
    virtual HRESULT STDMETHODCALLTYPE RenameAsyncOverloadDefaultOptions(HSTRING, IInspectable**) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenameAsync(HSTRING, INT32, IInspectable**) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteAsyncOverloadDefaultOptions(IInspectable**) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteAsync(INT32, IInspectable**) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBasicPropertiesAsync(IInspectable**) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Name(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Path(HSTRING* value) = 0;
};

inline constexpr wchar_t kPackageManagerClass[] = L"Windows.Management.Deployment.PackageManager";

}  // namespace brisko::winrt

__CRT_UUID_DECL(brisko::winrt::IPackageManager, 0x9a7d4b65, 0x5e8f, 0x4fc7, 0xa2, 0xe5, 0x7f, 0x69, 0x25, 0xcb, 0x8b,
                0x53)
__CRT_UUID_DECL(brisko::winrt::IPackage, 0x163c792f, 0xbd75, 0x413c, 0xbf, 0x23, 0xb1, 0xfe, 0x7b, 0x95, 0xd8, 0x25)
__CRT_UUID_DECL(brisko::winrt::IPackageId, 0x1adb665e, 0x37c7, 0x4790, 0x99, 0x80, 0xdd, 0x7a, 0xe7, 0x4e, 0x8b, 0xb2)
__CRT_UUID_DECL(brisko::winrt::IStorageItem, 0x4207a996, 0xca2f, 0x42f7, 0xbd, 0xe8, 0x8b, 0x10, 0x45, 0x7a, 0x7f,
                0x30)
