// The part of the Java library that hosts and cores reach through JNI: java/lang/System (exit,
// properties, native libraries, the standard streams), the output streams that System.setOut
// and System.setErr take, and the VM's own record of its options.
#include <memory>
#include <mutex>

#include "internal.h"
#include "text.h"
#include "unique_handle.h"
#include "unique_memory.h"

namespace brisko::fakejvm {
namespace {

constexpr const char* kSystem = "java/lang/System";
constexpr const char* kPrintStream = "Ljava/io/PrintStream;";

// Where the bytes of an output stream go. Text is written as UTF-8.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void write(std::string_view bytes) = 0;

protected:
    static void writeAll(HANDLE handle, std::string_view bytes) {
        while (!bytes.empty()) {
            DWORD written = 0;
            if (!::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0)
                return;
            bytes.remove_prefix(written);
        }
    }
};
using SinkPtr = std::shared_ptr<OutputSink>;

// The process's standard output or error as it is when the bytes are written, so that a host
// that redirects its standard handles is followed.
class StandardSink : public OutputSink {
public:
    explicit StandardSink(DWORD which) : which_(which) {}
    void write(std::string_view bytes) override {
        const std::lock_guard guard(lock_);
        writeAll(::GetStdHandle(which_), bytes);
    }

private:
    DWORD which_;
    std::mutex lock_;
};

class FileSink : public OutputSink {
public:
    explicit FileSink(UniqueFile file) : file_(std::move(file)) {}
    void write(std::string_view bytes) override {
        const std::lock_guard guard(lock_);
        writeAll(file_.get(), bytes);
    }

private:
    UniqueFile file_;
    std::mutex lock_;
};

SinkPtr SinkOf(const ObjectPtr& stream) {
    if (!stream) return nullptr;
    const auto* sink = std::any_cast<SinkPtr>(&stream->native);
    return sink ? *sink : nullptr;
}

ObjectPtr NewPrintStream(Jvm& jvm, SinkPtr sink) {
    ObjectPtr stream = jvm.newInstance(*jvm.findClass("java/io/PrintStream"));
    stream->native = std::move(sink);
    return stream;
}

std::string SystemErrorText(DWORD error) {
    UniqueLocalMemory<wchar_t*> buffer;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    std::wstring text = length && buffer ? std::wstring(buffer.get(), length) : L"error " + std::to_wstring(error);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) text.pop_back();
    return wideToUtf8(text);
}

// FileOutputStream(String name, boolean append).
Value OpenFileStream(Call& call, bool append) {
    const auto path = call.string(0);
    if (!path) {
        call.raise("java/lang/NullPointerException");
        return {};
    }
    UniqueFile file(::CreateFileW(path->c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        call.raise("java/io/FileNotFoundException",
                   *path + L" (" + utf8ToWide(SystemErrorText(::GetLastError())) + L")");
        return {};
    }
    call.self()->native = SinkPtr(std::make_shared<FileSink>(std::move(file)));
    return {};
}

// PrintStream's print and println.
Value Print(Call& call, std::string_view end) {
    const SinkPtr sink = SinkOf(call.self());
    if (!sink) return {};
    const std::string text = call.argumentCount() > 0 ? wideToUtf8(call.string(0).value_or(L"null")) : std::string();
    sink->write(text + std::string(end));
    return {};
}

void SetStream(Call& call, const char* name) {
    Class* system = call.jvm().findClass(kSystem);
    call.jvm().setStaticValue(*system->findStaticField(name, kPrintStream), Value::reference(call.object(0)));
}

// System.loadLibrary: name + ".dll" in the first folder of java.library.path that holds it.
Value LoadLibrary(Call& call) {
    const auto name = call.string(0);
    if (!name) {
        call.raise("java/lang/NullPointerException");
        return {};
    }
    const std::wstring searchPath = call.jvm().property("java.library.path").value_or(L"");
    for (const std::wstring& folder : SplitPathList(searchPath)) {
        if (folder.empty()) continue;
        const std::wstring path = folder + L"\\" + *name + L".dll";
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        if (const std::wstring failure = call.jvm().loadNativeLibrary(path); !failure.empty())
            call.raise("java/lang/UnsatisfiedLinkError", failure);
        return {};
    }
    call.raise("java/lang/UnsatisfiedLinkError", L"no " + *name + L" in java.library.path: " + searchPath);
    return {};
}

// System.load: a library by its full path.
Value Load(Call& call) {
    const auto path = call.string(0);
    if (!path) {
        call.raise("java/lang/NullPointerException");
        return {};
    }
    if (const std::wstring failure = call.jvm().loadNativeLibrary(*path); !failure.empty())
        call.raise("java/lang/UnsatisfiedLinkError", failure);
    return {};
}

void DefineStreams(Jvm& jvm) {
    jvm.defineClass("java/io/OutputStream").method("<init>", "()V", [](Call&) { return Value{}; });
    jvm.defineClass("java/io/FileOutputStream", "java/io/OutputStream")
        .method("<init>", "(Ljava/lang/String;Z)V", [](Call& call) { return OpenFileStream(call, call.boolean(1)); })
        .method("<init>", "(Ljava/lang/String;)V", [](Call& call) { return OpenFileStream(call, false); });
    const auto wrap = [](Call& call) {
        if (!call.object(0)) {
            call.raise("java/lang/NullPointerException");
            return Value{};
        }
        call.self()->native = SinkOf(call.object(0));
        return Value{};
    };
    jvm.defineClass("java/io/PrintStream", "java/io/OutputStream")
        .method("<init>", "(Ljava/io/OutputStream;)V", wrap)
        .method("<init>", "(Ljava/io/OutputStream;Z)V", wrap)
        .method("print", "(Ljava/lang/String;)V", [](Call& call) { return Print(call, ""); })
        .method("println", "(Ljava/lang/String;)V", [](Call& call) { return Print(call, "\r\n"); })
        .method("println", "()V", [](Call& call) { return Print(call, "\r\n"); })
        .method("flush", "()V", [](Call&) { return Value{}; });
}

void DefineSystem(Jvm& jvm) {
    jvm.defineClass(kSystem)
        .staticField("out", kPrintStream,
                     Value::reference(NewPrintStream(jvm, std::make_shared<StandardSink>(STD_OUTPUT_HANDLE))))
        .staticField("err", kPrintStream,
                     Value::reference(NewPrintStream(jvm, std::make_shared<StandardSink>(STD_ERROR_HANDLE))))
        .staticMethod("exit", "(I)V", [](Call& call) -> Value { call.jvm().exit(call.integer(0)); })
        .staticMethod("setOut", "(Ljava/io/PrintStream;)V",
                      [](Call& call) {
                          SetStream(call, "out");
                          return Value{};
                      })
        .staticMethod("setErr", "(Ljava/io/PrintStream;)V",
                      [](Call& call) {
                          SetStream(call, "err");
                          return Value{};
                      })
        .staticMethod("getProperty", "(Ljava/lang/String;)Ljava/lang/String;",
                      [](Call& call) {
                          const auto name = call.string(0);
                          if (!name) {
                              call.raise("java/lang/NullPointerException", L"key can't be null");
                              return Value{};
                          }
                          const auto value = call.jvm().property(wideToUtf8(*name));
                          return Value::reference(value ? call.jvm().newString(*value) : nullptr);
                      })
        .staticMethod("setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;",
                      [](Call& call) {
                          const auto name = call.string(0);
                          const auto value = call.string(1);
                          if (!name || !value) {
                              call.raise("java/lang/NullPointerException");
                              return Value{};
                          }
                          const auto previous = call.jvm().property(wideToUtf8(*name));
                          call.jvm().setProperty(wideToUtf8(*name), *value);
                          return Value::reference(previous ? call.jvm().newString(*previous) : nullptr);
                      })
        .staticMethod("loadLibrary", "(Ljava/lang/String;)V", LoadLibrary)
        .staticMethod("load", "(Ljava/lang/String;)V", Load);
}

// jdk.internal.misc.VM.getRuntimeArguments: the options the VM was created with.
void DefineVm(Jvm& jvm) {
    jvm.defineClass("jdk/internal/misc/VM")
        .staticMethod("getRuntimeArguments", "()[Ljava/lang/String;", [](Call& call) {
            Jvm& vm = call.jvm();
            const std::vector<std::string> arguments = vm.options().arguments;
            ObjectPtr array = vm.newArray(*vm.findClass("java/lang/String"), arguments.size());
            for (size_t i = 0; i < arguments.size(); ++i) array->elements[i] = vm.newString(ansiToWide(arguments[i]));
            return Value::reference(array);
        });
}

}  // namespace

void DefineSystemClasses(Jvm& jvm) {
    DefineStreams(jvm);
    DefineSystem(jvm);
    DefineVm(jvm);
}

void Jvm::writeStandardStream(bool error, std::string_view text) {
    Field* field = findClass(kSystem)->findStaticField(error ? "err" : "out", kPrintStream);
    if (const SinkPtr sink = SinkOf(staticValue(*field).object)) sink->write(text);
}

}  // namespace brisko::fakejvm
