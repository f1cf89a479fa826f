#pragma once
// IUnknown for the agent's UI Automation event handlers: an atomic reference count starting
// at 1 (the creator's), QueryInterface for IUnknown and the handler interface only.
#include <windows.h>
#include <unknwn.h>

#include <atomic>

namespace brisko {

template <typename Interface>
class ComClass : public Interface {
public:
    ComClass(const ComClass&) = delete;
    ComClass& operator=(const ComClass&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(Interface)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return references_.fetch_add(1) + 1; }

    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = references_.fetch_sub(1) - 1;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComClass() = default;
    virtual ~ComClass() = default;

private:
    std::atomic<ULONG> references_{1};
};

}  // namespace brisko
