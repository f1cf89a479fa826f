#include "jni_names.h"

#include <cstdio>

#include "text.h"

namespace brisko::fakejvm {
namespace {

// The bytes of the arguments of a native function: JNIEnv* and the object or class, then each
// Java argument (long and double take 8 bytes, everything else 4).
int ArgumentBytes(std::string_view signature) {
    int bytes = 8;
    for (size_t i = 1; i < signature.size() && signature[i] != ')'; ++i) {
        const char c = signature[i];
        if (c == '[') {
            while (i < signature.size() && signature[i] == '[') ++i;
            if (i < signature.size() && signature[i] == 'L') i = signature.find(';', i);
            bytes += 4;
            if (i == std::string_view::npos) break;
        } else if (c == 'L') {
            i = signature.find(';', i);
            bytes += 4;
            if (i == std::string_view::npos) break;
        } else {
            bytes += (c == 'J' || c == 'D') ? 8 : 4;
        }
    }
    return bytes;
}

}  // namespace

std::string DecoratedName(std::string_view name, int argumentBytes) {
    return std::string(1, '_').append(name).append(1, '@').append(std::to_string(argumentBytes));
}

std::string MangleJniName(std::string_view modifiedUtf8) {
    std::string out;
    for (const wchar_t unit : modifiedUtf8ToWide(modifiedUtf8)) {
        const auto c = static_cast<unsigned>(static_cast<char16_t>(unit));
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            out += static_cast<char>(c);
        } else if (c == '/') {
            out += '_';
        } else if (c == '_') {
            out += "_1";
        } else if (c == ';') {
            out += "_2";
        } else if (c == '[') {
            out += "_3";
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "_0%04x", c);
            out += escaped;
        }
    }
    return out;
}

std::vector<std::string> NativeMethodNames(std::string_view className, std::string_view methodName,
                                           std::string_view signature, bool decorated) {
    const std::string shortName = "Java_" + MangleJniName(className) + "_" + MangleJniName(methodName);
    const size_t close = signature.find(')');
    const std::string_view arguments =
        close == std::string_view::npos || signature.empty() ? std::string_view() : signature.substr(1, close - 1);
    const std::string longName = shortName + "__" + MangleJniName(arguments);
    if (!decorated) return {shortName, longName};
    const int bytes = ArgumentBytes(signature);
    return {DecoratedName(shortName, bytes), DecoratedName(longName, bytes), shortName, longName};
}

std::vector<std::string> OnLoadNames(bool decorated) {
    if (!decorated) return {"JNI_OnLoad"};
    return {DecoratedName("JNI_OnLoad", 8), "JNI_OnLoad"};
}

}  // namespace brisko::fakejvm
