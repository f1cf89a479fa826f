#pragma once
// A local reference deleted at scope end: the event thread stays attached for the life of the
// service, so nothing would ever free its local references otherwise.
#include <jni.h>

#include <utility>

namespace brisko {

class LocalRef {
public:
    LocalRef(JNIEnv* env, jobject object) : env_(env), object_(object) {}
    LocalRef(LocalRef&& other) noexcept : env_(other.env_), object_(std::exchange(other.object_, nullptr)) {}
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;
    LocalRef& operator=(LocalRef&&) = delete;
    ~LocalRef() {
        if (object_) env_->DeleteLocalRef(object_);
    }

    jobject get() const { return object_; }
    // Hands the reference on (to Java, as a native method's result).
    jobject release() { return std::exchange(object_, nullptr); }

private:
    JNIEnv* env_;
    jobject object_;
};

}  // namespace brisko
