#pragma once
// Owns what a VARIANT holds (link oleaut32 where used).
#include <windows.h>

#include <oleauto.h>

namespace brisko {

class Variant {
public:
    Variant() { ::VariantInit(&value_); }
    explicit Variant(int value) : Variant() {
        V_VT(&value_) = VT_I4;
        V_I4(&value_) = value;
    }
    ~Variant() { ::VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    // For out-parameters: what it held is freed first.
    VARIANT* put() {
        ::VariantClear(&value_);
        return &value_;
    }
    const VARIANT& get() const { return value_; }

private:
    VARIANT value_;
};

}  // namespace brisko
