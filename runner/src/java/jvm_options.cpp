#include "java/jvm_options.h"

#include <cstdio>
#include <cstring>

#include "foundation/log.h"
#include "java/java_worker.h"
#include "unique_handle.h"

namespace {

constexpr char ClassPathPrefix[] = "-Djava.class.path=";
constexpr size_t LongestWildcardElement = 256;

// The jars matching element + ".jar", each as the element's directory followed by its name.
BOOL expandWildcard(const std::string& element, std::string* expanded) {
    const size_t cut = element.find_last_of("\\/");
    const std::string directory = cut == std::string::npos ? std::string() : element.substr(0, cut + 1);
    const std::string pattern = element + ".jar";
    WIN32_FIND_DATAA found;
    const brisko::UniqueFind search(::FindFirstFileA(pattern.c_str(), &found));
    if (!search) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
    }
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!expanded->empty()) *expanded += ';';
        *expanded += directory + found.cFileName;
    } while (::FindNextFileA(search.get(), &found));
    return TRUE;
}

void appendElement(std::string* option, const std::string& element, bool* first) {
    if (element.empty()) return;
    if (!*first) *option += ';';
    *option += element;
    *first = false;
}

void appendSize(std::vector<JvmOption>* options, const char* format, LONG value) {
    if (!value) return;
    char text[32];
    std::snprintf(text, sizeof(text), format, static_cast<long>(value));
    options->push_back({text, nullptr});
}

}  // namespace

std::string stripOptionQuotes(const char* option) {
    const std::string text = option;
    const size_t first = text.find('"');
    if (first == std::string::npos) return text;
    const size_t second = text.find('"', first + 1);
    const size_t space = text.find(' ', first + 1);
    if (space != std::string::npos && (second == std::string::npos || space < second)) return text;
    std::string stripped;
    for (const char c : text) {
        if (c != '"') stripped += c;
    }
    return stripped;
}

BOOL buildClassPathOption(const char* classPath, std::string* option) {
    *option = ClassPathPrefix;
    bool first = true;
    const std::string text = classPath;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        const std::string element = text.substr(start, end - start);
        start = end + 1;
        if (!element.empty() && element.back() == '*' && element.size() <= LongestWildcardElement) {
            std::string jars;
            if (!expandWildcard(element, &jars)) return FALSE;
            appendElement(option, jars, &first);
        } else {
            appendElement(option, element, &first);
        }
    }
    return TRUE;
}

BOOL buildJvmOptions(const JavaWorkerParams* params, std::vector<JvmOption>* options) {
    options->clear();
    for (const char* entry = params->options; entry && *entry; entry += std::strlen(entry) + 1)
        options->push_back({stripOptionQuotes(entry), nullptr});
    if (params->classPath && *params->classPath) {
        std::string classPath;
        if (!buildClassPathOption(params->classPath, &classPath)) {
            LOG_ERROR("Invalid classpath %s", params->classPath);
            return FALSE;
        }
        options->push_back({classPath, nullptr});
    }
    if (params->logJniMessages) options->push_back({"vfprintf", reinterpret_cast<void*>(jvmMessageHook)});
    options->push_back({"exit", reinterpret_cast<void*>(jvmExitHook)});
    appendSize(options, "-Xms%ldm", params->initialHeapMb);
    appendSize(options, "-Xmx%ldm", params->maxHeapMb);
    appendSize(options, "-Xss%ldk", params->stackKb);
    return TRUE;
}
