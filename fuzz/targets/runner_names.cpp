// Names the runner builds from what its command line and registry say: the thread-dump event of
// a service name, the log file of a prefix, the worker mode of a mode word, the base name of a
// source path. A name that does not fit is refused with a terminated buffer; one that fits is the
// documented text and nothing is written past the buffer.
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/log_names.h"
#include "fuzz_input.h"
#include "lifecycle/service_run.h"
#include "lifecycle/stop_rules.h"

namespace {

std::wstring expectedEventName(const std::wstring& name) {
    std::wstring text = L"Global\\" + name + L"SIGNAL";
    for (size_t i = 7; i < text.size(); ++i) text[i] = text[i] == L' ' ? L'_' : std::towupper(text[i]);
    return text;
}

std::wstring lowered(const std::wstring& text) {
    std::wstring out = text;
    for (wchar_t& unit : out)
        if (unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const size_t chars = input.byte() + 1;
    SYSTEMTIME time{input.u16(), input.u16(), 0, input.u16(), input.u16(), input.u16(), input.u16(), 0};
    const LONG rotate = input.i32();
    const BOOL rotated = input.flag();
    const std::wstring name = input.wide(), mode = input.wide();
    const std::string source = input.narrow();
    const std::wstring cName = name.c_str(), cMode = mode.c_str();

    // Exactly the given size on the heap: a write past it is caught.
    const auto out = std::make_unique<wchar_t[]>(chars);
    const std::wstring event = expectedEventName(cName);
    if (buildSignalEventName(name.c_str(), out.get(), chars)) {
        FUZZ_CHECK(event.size() < chars && out.get() == event);
    } else {
        FUZZ_CHECK(event.size() >= chars && out[chars - 1] == L'\0');
    }

    if (formatLogFileName(out.get(), chars, name.c_str(), time, rotate, rotated)) {
        const std::wstring text = out.get();
        FUZZ_CHECK(text.size() < chars && text.rfind(L"\\" + cName + L".", 0) == 0);
        FUZZ_CHECK(text.size() >= 4 && text.compare(text.size() - 4, 4, L".log") == 0);
    } else {
        FUZZ_CHECK(out[0] == L'\0');
    }

    const std::wstring word = lowered(cMode);
    for (const BOOL forStop : {FALSE, TRUE}) {
        const int modeValue = workerModeFor(mode.c_str(), forStop);
        const int expected = word == L"jvm"    ? WORKER_MODE_JVM
                             : word == L"java" ? WORKER_MODE_JAVA
                             : forStop && word.empty() ? WORKER_MODE_NONE
                                                       : WORKER_MODE_EXE;
        FUZZ_CHECK(modeValue == expected);
    }
    FUZZ_CHECK(workerModeFor(nullptr, TRUE) == WORKER_MODE_NONE && workerModeFor(nullptr, FALSE) == WORKER_MODE_EXE);

    const char* base = sourceBaseName(source.c_str());
    const std::string cSource = source.c_str();
    FUZZ_CHECK(base >= source.c_str() && base <= source.c_str() + cSource.size());
    FUZZ_CHECK(std::string(base).find_first_of("\\/") == std::string::npos);
    FUZZ_CHECK(base == source.c_str() || base[-1] == '\\' || base[-1] == '/');
    return 0;
}
