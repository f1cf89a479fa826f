#pragma once
// One owner of one reference to a COM object.
#include <unknwn.h>

#include <cstddef>
#include <utility>

namespace brisko {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference of its own.
    explicit ComPtr(T* object) : object_(object) {
        if (object_) object_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.object_) {}
    ComPtr(ComPtr&& other) noexcept : object_(other.detach()) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Adopts a reference the caller already owns (a creation's or an out-parameter's).
    static ComPtr attach(T* object) {
        ComPtr result;
        result.object_ = object;
        return result;
    }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    T** put() {
        reset();
        return &object_;
    }
    T* detach() { return std::exchange(object_, nullptr); }
    void reset() {
        if (T* object = std::exchange(object_, nullptr)) object->Release();
    }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};

}  // namespace brisko
