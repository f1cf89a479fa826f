#pragma once
// The names under which a VM finds the native function of a Java method, and the library
// entry JNI_OnLoad, in a Windows DLL. Pure.
#include <string>
#include <string_view>
#include <vector>

namespace brisko::fakejvm {

// A stdcall function's export name on 32-bit Windows: "_" NAME "@" argument bytes.
std::string DecoratedName(std::string_view name, int argumentBytes);

// JNI's escaping of a class, method or argument-signature text: "/" becomes "_", "_" "_1",
// ";" "_2", "[" "_3", and every character that is not an ASCII letter or digit "_0xxxx".
std::string MangleJniName(std::string_view modifiedUtf8);

// The export names tried for a native method, in the VM's order: on 32-bit Windows the
// stdcall-decorated short and long names first, then the plain ones.
std::vector<std::string> NativeMethodNames(std::string_view className, std::string_view methodName,
                                           std::string_view signature, bool decorated);

// JNI_OnLoad's export names, decorated one first on 32-bit Windows.
std::vector<std::string> OnLoadNames(bool decorated);

// Whether this build's exports carry the stdcall decoration.
constexpr bool kDecoratedExports =
#if defined(__i386__)
    true;
#else
    false;
#endif

}  // namespace brisko::fakejvm
