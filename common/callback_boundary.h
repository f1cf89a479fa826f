#pragma once
// Code that the system calls (window and dialog procedures, COM methods) must not let a C++
// exception (bad_alloc, a container's or a ring buffer's) unwind into the system's frames, which
// know nothing of it: the body's exception ends at this boundary with the caller's default answer.
#include <windows.h>

#include <new>

namespace brisko {

// A COM method: its own result, E_OUTOFMEMORY for bad_alloc, E_FAIL for any other exception.
template <typename Body>
HRESULT comBoundary(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// A window or dialog procedure: its own result, or the fallback's (DefWindowProcW's, FALSE) when
// the body throws.
template <typename Body, typename Fallback>
auto callbackBoundary(Body&& body, Fallback&& fallback) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        return fallback();
    }
}

}  // namespace brisko
