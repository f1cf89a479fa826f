#include "process/child_arguments.h"

#include <cstdio>
#include <cwchar>

namespace {

void appendSize(std::vector<std::wstring>* arguments, const wchar_t* format, LONG value) {
    if (!value) return;
    wchar_t text[32];
    _snwprintf(text, 32, format, static_cast<long>(value));
    text[31] = L'\0';
    arguments->push_back(text);
}

}  // namespace

std::vector<std::wstring> listEntries(const wchar_t* list) {
    std::vector<std::wstring> entries;
    for (const wchar_t* entry = list; entry && *entry; entry += std::wcslen(entry) + 1) entries.push_back(entry);
    return entries;
}

std::vector<std::wstring> buildJavaArguments(const wchar_t* className, const wchar_t* jvmOptions, LONG initialHeapMb,
                                             LONG maxHeapMb, LONG stackKb, const wchar_t* params,
                                             const wchar_t* classPath) {
    std::vector<std::wstring> arguments = listEntries(jvmOptions);
    appendSize(&arguments, L"-Xms%ldm", initialHeapMb);
    appendSize(&arguments, L"-Xmx%ldm", maxHeapMb);
    appendSize(&arguments, L"-Xss%ldk", stackKb);
    if (classPath && *classPath) arguments.push_back(std::wstring(L"-Djava.class.path=") + classPath);
    if (className && *className) arguments.push_back(className);
    for (std::wstring& entry : listEntries(params)) arguments.push_back(std::move(entry));
    return arguments;
}
