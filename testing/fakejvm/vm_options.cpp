#include "vm_options.h"

#include <array>
#include <limits>

namespace brisko::fakejvm {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Options that a VM takes and this one only records.
bool IsRecordedOnly(std::string_view option) {
    constexpr std::array<std::string_view, 7> exact = {"-Xint", "-Xmixed", "-Xbatch", "-Xcheck:jni",
                                                       "-Xdebug", "-Xnoclassgc", "-verbose"};
    constexpr std::array<std::string_view, 11> prefixes = {"-XX:", "-verbose:", "-ea", "-da", "-esa", "-dsa",
                                                           "-enableassertions", "-disableassertions", "-Xrun",
                                                           "-agentlib:", "-agentpath:"};
    for (const std::string_view known : exact)
        if (option == known) return true;
    for (const std::string_view prefix : prefixes)
        if (StartsWith(option, prefix)) return true;
    return StartsWith(option, "-javaagent:");
}

struct SizeOption {
    std::string_view prefix;
    int64_t VmOptions::*field;
    const char* complaint;
};

constexpr std::array<SizeOption, 3> kSizeOptions = {{
    {"-Xms", &VmOptions::initialHeap, "Invalid initial heap size: "},
    {"-Xmx", &VmOptions::maxHeap, "Invalid maximum heap size: "},
    {"-Xss", &VmOptions::threadStack, "Invalid thread stack size: "},
}};

}  // namespace

int64_t ParseMemorySize(std::string_view text) {
    if (text.empty()) return -1;
    int64_t unit = 1;
    switch (text.back()) {
        case 'k': case 'K': unit = int64_t{1} << 10; break;
        case 'm': case 'M': unit = int64_t{1} << 20; break;
        case 'g': case 'G': unit = int64_t{1} << 30; break;
        default: break;
    }
    if (unit != 1) text.remove_suffix(1);
    if (text.empty() || text.size() > 18) return -1;
    int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    if (value > std::numeric_limits<int64_t>::max() / unit) return -1;
    return value * unit;
}

bool IsSupportedJniVersion(jint version) {
    return version == JNI_VERSION_1_2 || version == JNI_VERSION_1_4 || version == JNI_VERSION_1_6 ||
           version == JNI_VERSION_1_8 || version == JNI_VERSION_9 || version == JNI_VERSION_10;
}

VmOptionsResult ParseVmOptions(const JavaVMInitArgs& args) {
    VmOptionsResult result;
    VmOptions& options = result.options;
    options.properties.emplace("java.class.path", std::string(1, '.'));
    const auto fail = [&](jint status, std::string message) {
        result.status = status;
        result.message = std::move(message);
        return result;
    };
    if (args.nOptions < 0 || (args.nOptions > 0 && !args.options)) return fail(JNI_EINVAL, "Invalid option list");
    // The hooks take effect first, so that every complaint below reaches the host's hook.
    for (jint i = 0; i < args.nOptions; ++i) {
        const JavaVMOption& option = args.options[i];
        const std::string_view text = option.optionString ? option.optionString : "";
        if (text == "vfprintf") options.hooks.vfprintf = reinterpret_cast<JvmVfprintfHook>(option.extraInfo);
        if (text == "exit") options.hooks.exit = reinterpret_cast<JvmExitHook>(option.extraInfo);
        if (text == "abort") options.hooks.abort = reinterpret_cast<JvmAbortHook>(option.extraInfo);
    }
    for (jint i = 0; i < args.nOptions; ++i) {
        if (!args.options[i].optionString) return fail(JNI_EINVAL, "Invalid option: null");
        const std::string text = args.options[i].optionString;
        if (text == "vfprintf" || text == "exit" || text == "abort") continue;
        options.arguments.push_back(text);
        if (StartsWith(text, "-D")) {
            const size_t equals = text.find('=');
            const std::string name = text.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            if (name.empty()) return fail(JNI_EINVAL, "Invalid system property: " + text);
            options.properties[name] = equals == std::string::npos ? std::string() : text.substr(equals + 1);
            continue;
        }
        bool sized = false;
        for (const SizeOption& size : kSizeOptions) {
            if (!StartsWith(text, size.prefix)) continue;
            const int64_t bytes = ParseMemorySize(std::string_view(text).substr(size.prefix.size()));
            if (bytes <= 0) return fail(JNI_EINVAL, size.complaint + text);
            options.*size.field = bytes;
            sized = true;
        }
        if (sized) continue;
        if (text == "-Xrs") {
            options.reduceSignals = true;
            continue;
        }
        if (IsRecordedOnly(text) || args.ignoreUnrecognized) continue;
        return fail(JNI_ERR, "Unrecognized option: " + text);
    }
    if (options.initialHeap && options.maxHeap && options.initialHeap > options.maxHeap)
        return fail(JNI_EINVAL, "Initial heap size set to a larger value than the maximum heap size");
    return result;
}

}  // namespace brisko::fakejvm
