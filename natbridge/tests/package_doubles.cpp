#include "package_doubles.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "packages/winrt_interfaces.h"
#include "packages/winrt_runtime.h"
#include "unique_memory.h"

namespace brisko::testing {
namespace {

std::atomic<long> live{0};

// IUnknown and IInspectable for one interface; QueryInterface also answers the interfaces
// that `answers` names.
template <typename Interface>
class Double : public Interface {
public:
    Double() { ++live; }
    virtual ~Double() { --live; }
    Double(const Double&) = delete;
    Double& operator=(const Double&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == __uuidof(IUnknown) || answers(iid)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual bool answers(REFIID) const { return false; }

private:
    std::atomic<ULONG> references_{1};
};

template <typename Interface>
class RuntimeDouble : public Double<Interface> {
public:
    HRESULT STDMETHODCALLTYPE GetIids(ULONG*, IID**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel*) override { return E_NOTIMPL; }

protected:
    bool answers(REFIID iid) const override { return iid == __uuidof(IInspectable); }
};

HRESULT AnswerString(const std::wstring& text, HSTRING* value) {
    *value = MakeHString(text).release();
    return S_OK;
}

class Folder : public RuntimeDouble<winrt::IStorageItem> {
public:
    explicit Folder(std::wstring path) : path_(std::move(path)) {}
    HRESULT STDMETHODCALLTYPE RenameAsyncOverloadDefaultOptions(HSTRING, IInspectable**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RenameAsync(HSTRING, INT32, IInspectable**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteAsyncOverloadDefaultOptions(IInspectable**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteAsync(INT32, IInspectable**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBasicPropertiesAsync(IInspectable**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Name(HSTRING*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Path(HSTRING* value) override { return AnswerString(path_, value); }

protected:
    bool answers(REFIID iid) const override {
        return iid == __uuidof(winrt::IStorageItem) || RuntimeDouble::answers(iid);
    }

private:
    std::wstring path_;
};

class PackageId : public RuntimeDouble<winrt::IPackageId> {
public:
    explicit PackageId(const FakePackage& package) : package_(package) {}
    HRESULT STDMETHODCALLTYPE get_Name(HSTRING* value) override { return AnswerString(package_.identityName, value); }
    HRESULT STDMETHODCALLTYPE get_Version(void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Architecture(INT32*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ResourceId(HSTRING*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Publisher(HSTRING*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_PublisherId(HSTRING*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_FullName(HSTRING* value) override {
        return AnswerString(package_.identityName + L"_1.0.0.0_x86__8wekyb3d8bbwe", value);
    }
    HRESULT STDMETHODCALLTYPE get_FamilyName(HSTRING* value) override {
        return AnswerString(package_.familyName, value);
    }

private:
    FakePackage package_;
};

class Package : public RuntimeDouble<winrt::IPackage> {
public:
    explicit Package(const FakePackage& package) : package_(package) {}
    HRESULT STDMETHODCALLTYPE get_Id(winrt::IPackageId** value) override {
        if (package_.idUnreadable) return E_FAIL;
        *value = new PackageId(package_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_InstalledLocation(IInspectable** value) override {
        if (package_.locationUnreadable) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        *value = new Folder(package_.installLocation);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_IsFramework(boolean* value) override {
        if (package_.frameworkUnreadable) return E_FAIL;
        *value = package_.framework;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Dependencies(IInspectable**) override { return E_NOTIMPL; }

private:
    FakePackage package_;
};

class Iterator : public RuntimeDouble<winrt::IPackageIterator> {
public:
    explicit Iterator(std::vector<FakePackage> packages) : packages_(std::move(packages)) {}
    HRESULT STDMETHODCALLTYPE get_Current(winrt::IPackage** value) override {
        if (next_ >= packages_.size()) return E_FAIL;
        *value = new Package(packages_[next_]);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_HasCurrent(boolean* value) override {
        *value = next_ < packages_.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE MoveNext(boolean* value) override {
        if (next_ < packages_.size()) ++next_;
        *value = next_ < packages_.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMany(UINT32, winrt::IPackage**, UINT32*) override { return E_NOTIMPL; }

private:
    std::vector<FakePackage> packages_;
    size_t next_ = 0;
};

class Iterable : public RuntimeDouble<winrt::IPackageIterable> {
public:
    explicit Iterable(std::vector<FakePackage> packages) : packages_(std::move(packages)) {}
    HRESULT STDMETHODCALLTYPE First(winrt::IPackageIterator** value) override {
        *value = new Iterator(packages_);
        return S_OK;
    }

private:
    std::vector<FakePackage> packages_;
};

class PackageManager : public RuntimeDouble<winrt::IPackageManager> {
public:
    explicit PackageManager(PackageWorld& world) : world_(world) {}
    HRESULT STDMETHODCALLTYPE AddPackageAsync(IInspectable*, IInspectable*, INT32, IInspectable**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UpdatePackageAsync(IInspectable*, IInspectable*, INT32, IInspectable**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RemovePackageAsync(HSTRING, IInspectable**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE StagePackageAsync(IInspectable*, IInspectable*, IInspectable**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterPackageAsync(IInspectable*, IInspectable*, INT32, IInspectable**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindPackages(winrt::IPackageIterable** packages) override {
        world_.record(L"FindPackages");
        if (world_.allUsersQueryFails) return E_ACCESSDENIED;
        *packages = new Iterable(world_.allUsers);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindPackagesByUserSecurityId(HSTRING sid, winrt::IPackageIterable** packages) override {
        world_.record(L"FindPackagesByUserSecurityId(" + HStringText(sid) + L")");
        *packages = new Iterable(world_.currentUser);
        return S_OK;
    }

protected:
    bool answers(REFIID iid) const override {
        return iid == __uuidof(winrt::IPackageManager) || RuntimeDouble::answers(iid);
    }

private:
    PackageWorld& world_;
};

class Applications : public Double<appx::IManifestApplicationsEnumerator> {
public:
    explicit Applications(bool any) : any_(any) {}
    HRESULT STDMETHODCALLTYPE GetCurrent(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHasCurrent(BOOL* value) override {
        *value = any_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE MoveNext(BOOL* value) override {
        *value = FALSE;
        return S_OK;
    }

private:
    bool any_;
};

HRESULT AnswerTaskString(const std::wstring& text, LPWSTR* value) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    *value = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
    if (!*value) return E_OUTOFMEMORY;
    std::memcpy(*value, text.c_str(), bytes);
    return S_OK;
}

class Properties : public Double<appx::IManifestProperties> {
public:
    explicit Properties(const FakeManifest& manifest) : manifest_(manifest) {}
    HRESULT STDMETHODCALLTYPE GetBoolValue(LPCWSTR, BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStringValue(LPCWSTR name, LPWSTR* value) override {
        *value = nullptr;
        const std::wstring_view property(name);
        if (property == L"DisplayName" && !manifest_.displayNameMissing) return AnswerTaskString(L"App", value);
        if (property == L"Logo" && !manifest_.logo.empty()) return AnswerTaskString(std::wstring(manifest_.logo), value);
        return E_INVALIDARG;
    }

private:
    FakeManifest manifest_;
};

class ManifestReader : public Double<appx::IManifestReader> {
public:
    explicit ManifestReader(const FakeManifest& manifest) : manifest_(manifest) {}
    HRESULT STDMETHODCALLTYPE GetPackageId(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProperties(appx::IManifestProperties** properties) override {
        if (manifest_.propertiesFail) return E_FAIL;
        *properties = new Properties(manifest_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPackageDependencies(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetResources(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDeviceCapabilities(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPrerequisite(LPCWSTR, UINT64*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetApplications(appx::IManifestApplicationsEnumerator** applications) override {
        *applications = new Applications(manifest_.declaresApplication);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStream(IStream**) override { return E_NOTIMPL; }

private:
    FakeManifest manifest_;
};

// The folder of the file behind a stream, as the manifest reader is given it.
std::wstring StreamFolder(IStream* stream) {
    STATSTG status{};
    if (!stream || FAILED(stream->Stat(&status, STATFLAG_DEFAULT)) || !status.pwcsName) return {};
    const UniqueTaskMemory<wchar_t*> owner(status.pwcsName);
    const std::wstring name = owner.get();
    return name.substr(0, name.find_last_of(L'\\') + 1);
}

class Factory : public Double<appx::IFactory> {
public:
    explicit Factory(PackageWorld& world, std::map<std::wstring, FakeManifest> manifests)
        : world_(world), manifests_(std::move(manifests)) {}
    HRESULT STDMETHODCALLTYPE CreatePackageWriter(IStream*, void*, IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreatePackageReader(IStream*, IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateManifestReader(IStream* stream, appx::IManifestReader** reader) override {
        const std::wstring folder = StreamFolder(stream);
        world_.record(L"CreateManifestReader(" + folder + L")");
        const auto it = manifests_.find(folder);
        const FakeManifest manifest = it == manifests_.end() ? FakeManifest{} : it->second;
        if (manifest.readerFails) return E_FAIL;
        *reader = new ManifestReader(manifest);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateBlockMapReader(IStream*, IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateValidatedBlockMapReader(IStream*, LPCWSTR, IUnknown**) override {
        return E_NOTIMPL;
    }

private:
    PackageWorld& world_;
    std::map<std::wstring, FakeManifest> manifests_;
};

}  // namespace

PackageWorld::PackageWorld() : saved_(CurrentPackageSystem()) {
    CurrentPackageSystem() = PackageSystem{
        [this](IInspectable** manager) {
            if (activationFails) return REGDB_E_CLASSNOTREG;
            *manager = new PackageManager(*this);
            return S_OK;
        },
        [this](appx::IFactory** factory) {
            if (factoryFails) return REGDB_E_CLASSNOTREG;
            *factory = new Factory(*this, manifests);
            return S_OK;
        },
        [this](const wchar_t* source, wchar_t* buffer, UINT size) {
            record(L"resolve(" + std::wstring(source) + L")");
            {
                std::lock_guard guard(lock_);
                resolveSizes_.push_back(size);
            }
            const auto resolved = resolve ? resolve(source) : std::nullopt;
            if (size > 0) buffer[0] = L'\0';
            if (!resolved || size == 0 || (resolved->size() >= size && !resolveCuts)) return E_FAIL;
            const size_t length = std::min<size_t>(resolved->size(), size - 1);
            std::copy_n(resolved->begin(), length, buffer);
            buffer[length] = L'\0';
            return S_OK;
        },
    };
}

PackageWorld::~PackageWorld() { CurrentPackageSystem() = saved_; }

std::vector<std::wstring> PackageWorld::calls() const {
    std::lock_guard guard(lock_);
    return calls_;
}

std::vector<UINT> PackageWorld::resolveSizes() const {
    std::lock_guard guard(lock_);
    return resolveSizes_;
}

void PackageWorld::record(std::wstring call) {
    std::lock_guard guard(lock_);
    calls_.push_back(std::move(call));
}

long PackageWorld::liveObjects() { return live.load(); }

}  // namespace brisko::testing
