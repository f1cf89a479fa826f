#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "internal.h"
#include "executable_path.h"
#include "text.h"

namespace brisko::fakejvm {

Value Value::boolean(bool value) {
    Value v;
    v.primitive.z = value ? JNI_TRUE : JNI_FALSE;
    return v;
}

Value Value::integer(jint value) {
    Value v;
    v.primitive.i = value;
    return v;
}

Value Value::longValue(jlong value) {
    Value v;
    v.primitive.j = value;
    return v;
}

Value Value::reference(ObjectPtr value) {
    Value v;
    v.object = std::move(value);
    return v;
}

Call::Call(Jvm& jvm, JNIEnv* env, ObjectPtr self, std::vector<Value> args)
    : jvm_(jvm), env_(env), self_(std::move(self)), args_(std::move(args)) {}

bool Call::boolean(size_t index) const { return argument(index).primitive.z != JNI_FALSE; }
jint Call::integer(size_t index) const { return argument(index).primitive.i; }
jlong Call::longValue(size_t index) const { return argument(index).primitive.j; }
const ObjectPtr& Call::object(size_t index) const { return argument(index).object; }

std::optional<std::wstring> Call::string(size_t index) const {
    const ObjectPtr& value = object(index);
    if (!value || value->javaClass().name() != "java/lang/String") return std::nullopt;
    return value->text;
}

void Call::raise(std::string_view className, std::wstring message) {
    ThreadEnv* thread = jvm_.threadEnv(env_);
    if (thread) jvm_.setPending(*thread, jvm_.newThrowable(className, std::move(message)));
}

Class& Class::method(std::string name, std::string signature, MethodBody body) {
    methods_.push_back(std::make_unique<Method>(Method{this, std::move(name), std::move(signature), false, std::move(body)}));
    return *this;
}

Class& Class::staticMethod(std::string name, std::string signature, MethodBody body) {
    methods_.push_back(std::make_unique<Method>(Method{this, std::move(name), std::move(signature), true, std::move(body)}));
    return *this;
}

const Method* Class::find(std::string_view name, std::string_view signature, bool isStatic) const {
    // The latest definition wins, so a test can replace a method.
    for (auto it = methods_.rbegin(); it != methods_.rend(); ++it) {
        const Method& m = **it;
        if (m.name == name && m.signature == signature && m.isStatic == isStatic) return &m;
    }
    return superclass_ ? superclass_->find(name, signature, isStatic) : nullptr;
}

bool Class::isSubclassOf(const Class& other) const {
    for (const Class* c = this; c; c = c->superclass())
        if (c == &other) return true;
    return false;
}

Class& Class::staticField(std::string name, std::string signature, Value initial) {
    fields_.push_back(std::make_unique<Field>(Field{this, std::move(name), std::move(signature), std::move(initial)}));
    return *this;
}

Field* Class::findStaticField(std::string_view name, std::string_view signature) {
    for (auto& field : fields_)
        if (field->name == name && field->signature == signature) return field.get();
    return superclass_ ? superclass_->findStaticField(name, signature) : nullptr;
}

bool JavaEquals(const ObjectPtr& left, const ObjectPtr& right) {
    if (left == right) return true;
    if (!left || !right) return false;
    const bool leftString = left->javaClass().name() == "java/lang/String";
    const bool rightString = right->javaClass().name() == "java/lang/String";
    return leftString && rightString && left->text == right->text;
}

std::vector<std::wstring> SplitPathList(std::wstring_view list) {
    std::vector<std::wstring> elements;
    for (;;) {
        const size_t end = list.find(L';');
        elements.emplace_back(list.substr(0, end));
        if (end == std::wstring_view::npos) return elements;
        list.remove_prefix(end + 1);
    }
}

SignatureKinds ParseSignature(std::string_view signature) {
    SignatureKinds kinds;
    if (signature.empty() || signature.front() != '(') return kinds;
    size_t i = 1;
    const auto type = [&](char& kind) {
        size_t start = i;
        while (i < signature.size() && signature[i] == '[') ++i;
        if (i >= signature.size()) return false;
        const char c = signature[i];
        if (c == 'L') {
            const size_t end = signature.find(';', i);
            if (end == std::string_view::npos) return false;
            i = end + 1;
        } else if (std::strchr("ZBCSIJFDV", c)) {
            ++i;
        } else {
            return false;
        }
        kind = (i - start > 1 || c == 'L') ? 'L' : c;
        return true;
    };
    while (i < signature.size() && signature[i] != ')') {
        char kind = 0;
        if (!type(kind) || kind == 'V') return kinds;
        kinds.arguments += kind;
    }
    if (i >= signature.size()) return kinds;
    ++i;
    if (!type(kinds.result) || i != signature.size()) return kinds;
    kinds.valid = true;
    return kinds;
}

namespace {

// Where System.loadLibrary looks when the host gave no java.library.path: the program's
// directory, the system directories, PATH and the current directory, as a Windows VM does.
std::wstring DefaultLibraryPath() {
    const std::wstring program = executablePath();
    std::wstring path = program.substr(0, program.find_last_of(L"\\/"));
    wchar_t directory[MAX_PATH];
    if (const UINT length = ::GetSystemDirectoryW(directory, MAX_PATH); length > 0 && length < MAX_PATH)
        path += L";" + std::wstring(directory, length);
    if (const UINT length = ::GetWindowsDirectoryW(directory, MAX_PATH); length > 0 && length < MAX_PATH)
        path += L";" + std::wstring(directory, length);
    if (const DWORD size = ::GetEnvironmentVariableW(L"PATH", nullptr, 0); size > 0) {
        std::wstring variable(size, L'\0');
        variable.resize(::GetEnvironmentVariableW(L"PATH", variable.data(), size));
        path += L";" + variable;
    }
    return path + L";.";
}

}  // namespace

Jvm::Jvm() : vm_(std::make_unique<VmHandle>()), registry_(std::make_unique<ClassRegistry>()) {
    vm_->functions = InvokeFunctions();
    vm_->owner = this;
    InitClassRegistry(*registry_, *this);
    DefineBuiltinClasses(*this);
    DefineSystemClasses(*this);
    configure(VmOptions{});
}

Jvm::~Jvm() = default;

JavaVM* Jvm::vm() { return vm_.get(); }

JNIEnv* Jvm::attachCurrentThread() {
    JNIEnv* env = nullptr;
    return attach(&env, false) == JNI_OK ? env : nullptr;
}

void Jvm::detachCurrentThread() { detach(); }

void Jvm::failNextAttach(jint code) {
    std::lock_guard guard(lock_);
    nextAttachFailure_ = code;
}

void Jvm::failStringAfter(size_t skip) {
    std::lock_guard guard(lock_);
    stringsBeforeFailure_ = skip;
}

bool Jvm::stringFails(ThreadEnv& thread) {
    {
        std::lock_guard guard(lock_);
        if (!stringsBeforeFailure_) return false;
        if (*stringsBeforeFailure_ > 0) {
            --*stringsBeforeFailure_;
            return false;
        }
        stringsBeforeFailure_.reset();
    }
    setPending(thread, newThrowable("java/lang/OutOfMemoryError", L"Java heap space"));
    return true;
}

void Jvm::configure(VmOptions options) {
    std::lock_guard guard(lock_);
    options_ = std::move(options);
    properties_.clear();
    properties_["java.library.path"] = DefaultLibraryPath();
    properties_["java.class.path"] = L".";
    properties_["line.separator"] = L"\r\n";
    properties_["file.separator"] = L"\\";
    properties_["path.separator"] = L";";
    for (const auto& [name, value] : options_.properties) properties_[name] = ansiToWide(value);
}

VmOptions Jvm::options() const {
    std::lock_guard guard(lock_);
    return options_;
}

std::optional<std::wstring> Jvm::property(std::string_view name) const {
    std::lock_guard guard(lock_);
    const auto it = properties_.find(name);
    if (it == properties_.end()) return std::nullopt;
    return it->second;
}

void Jvm::setProperty(std::string name, std::wstring value) {
    std::lock_guard guard(lock_);
    properties_[std::move(name)] = std::move(value);
}

void Jvm::print(const char* format, ...) {
    const JvmVfprintfHook hook = options().hooks.vfprintf;
    va_list args;
    va_start(args, format);
    if (hook) {
        hook(stdout, format, args);
    } else {
        std::vfprintf(stdout, format, args);
        std::fflush(stdout);
    }
    va_end(args);
}

void Jvm::exit(jint code) {
    if (const JvmExitHook hook = options().hooks.exit) hook(code);
    std::exit(code);
}

void Jvm::abort(const char* message) {
    print("FATAL ERROR in native method: %s\n", message ? message : "");
    if (const JvmAbortHook hook = options().hooks.abort) hook();
    std::abort();
}

jint Jvm::destroy() {
    JNIEnv* env = nullptr;
    if (!currentThreadEnv() && attach(&env, false, "DestroyJavaVM") != JNI_OK) return JNI_ERR;
    std::unique_lock guard(lock_);
    const DWORD self = ::GetCurrentThreadId();
    threadsChanged_.wait(guard, [&] {
        return std::none_of(threads_.begin(), threads_.end(),
                            [&](const auto& entry) { return entry.first != self && !entry.second->daemon; });
    });
    destroyed_ = true;
    return JNI_OK;
}

bool Jvm::destroyed() const {
    std::lock_guard guard(lock_);
    return destroyed_;
}

void Jvm::dumpThreads() {
    std::vector<std::pair<std::string, ThreadEnv*>> threads;
    {
        std::lock_guard guard(lock_);
        for (const auto& [id, thread] : threads_) threads.emplace_back(thread->name, thread.get());
    }
    print("Full thread dump (test JVM):\n\n");
    for (const auto& [name, thread] : threads)
        print("\"%s\" %stid=0x%lx\n   java.lang.Thread.State: RUNNABLE\n\n", name.c_str(),
              thread->daemon ? "daemon " : "", static_cast<unsigned long>(thread->threadId));
}

void Jvm::parkForever() {
    for (;;) ::Sleep(INFINITE);
}

Class& Jvm::defineClass(std::string name, std::string_view superclass) {
    std::lock_guard guard(lock_);
    Class* parent = nullptr;
    if (const auto it = classes_.find(superclass); it != classes_.end()) parent = it->second.get();
    auto& slot = classes_[name];
    slot = std::make_unique<Class>(std::move(name), parent);
    return *slot;
}

Class* Jvm::findClass(std::string_view name) {
    std::lock_guard guard(lock_);
    if (const auto it = classes_.find(name); it != classes_.end()) return it->second.get();
    if (name.empty() || name.front() != '[') return nullptr;
    const auto object = classes_.find("java/lang/Object");
    auto& slot = classes_[std::string(name)];
    slot = std::make_unique<Class>(std::string(name), object == classes_.end() ? nullptr : object->second.get());
    return slot.get();
}

FakeJvmClasses* Jvm::classRegistry() { return registry_.get(); }

void Jvm::removeClass(std::string_view name) {
    std::lock_guard guard(lock_);
    const auto it = classes_.find(name);
    if (it == classes_.end()) return;
    removedClasses_.push_back(std::move(it->second));
    classes_.erase(it);
}

ObjectPtr Jvm::newInstance(Class& javaClass) { return std::make_shared<Object>(javaClass); }

ObjectPtr Jvm::newString(std::wstring text) {
    auto string = newInstance(*findClass("java/lang/String"));
    string->text = std::move(text);
    return string;
}

ObjectPtr Jvm::newThrowable(std::string_view className, std::wstring message) {
    Class* javaClass = findClass(className);
    if (!javaClass) javaClass = findClass("java/lang/NoClassDefFoundError");
    auto throwable = newInstance(*javaClass);
    throwable->text = std::move(message);
    return throwable;
}

ObjectPtr Jvm::newArray(Class& elementClass, size_t length) {
    const std::string& element = elementClass.name();
    Class* arrayClass = findClass(element.front() == '[' ? "[" + element : "[L" + element + ";");
    auto array = newInstance(*arrayClass);
    array->elements.resize(length);
    return array;
}

jobject Jvm::localRef(JNIEnv* env, const ObjectPtr& object) {
    ThreadEnv* thread = threadEnv(env);
    return thread ? newReference(*thread, object, false) : nullptr;
}

jclass Jvm::classRef(JNIEnv* env, Class* javaClass) {
    if (!javaClass) return nullptr;
    auto object = newInstance(*findClass("java/lang/Class"));
    object->reflected = javaClass;
    return static_cast<jclass>(localRef(env, object));
}

Value Jvm::staticValue(const Field& field) const {
    std::lock_guard guard(lock_);
    return field.value;
}

void Jvm::setStaticValue(Field& field, Value value) {
    std::lock_guard guard(lock_);
    field.value = std::move(value);
}

ObjectPtr Jvm::resolve(jobject reference) {
    if (!reference) return nullptr;
    std::lock_guard guard(lock_);
    auto* ref = reinterpret_cast<Reference*>(reference);
    const bool known = std::any_of(references_.begin(), references_.end(),
                                   [&](const auto& r) { return r.get() == ref; });
    if (!known) {
        misuse_.push_back("unknown reference");
        return nullptr;
    }
    if (!ref->live) {
        misuse_.push_back("use of a deleted reference");
        return nullptr;
    }
    if (!ref->global && ref->thread != ::GetCurrentThreadId()) {
        misuse_.push_back("local reference used on another thread");
        return nullptr;
    }
    return ref->object;
}

size_t Jvm::localRefs(DWORD threadId) const {
    std::lock_guard guard(lock_);
    const auto it = threads_.find(threadId);
    if (it == threads_.end()) return 0;
    size_t count = 0;
    for (const auto& frame : it->second->frames)
        count += static_cast<size_t>(std::count_if(frame.begin(), frame.end(), [](Reference* r) { return r->live; }));
    return count;
}

size_t Jvm::localRefsLeftAtDetach() const {
    std::lock_guard guard(lock_);
    return leftAtDetach_;
}

size_t Jvm::globalRefs() const {
    std::lock_guard guard(lock_);
    return globals_;
}

size_t Jvm::unreleasedStrings() const {
    std::lock_guard guard(lock_);
    return lentStrings_.size();
}

size_t Jvm::attachedThreads() const {
    std::lock_guard guard(lock_);
    return threads_.size();
}

std::vector<std::string> Jvm::misuse() const {
    std::lock_guard guard(lock_);
    return misuse_;
}

ObjectPtr Jvm::pendingException(DWORD threadId) const {
    std::lock_guard guard(lock_);
    const auto it = threads_.find(threadId);
    return it == threads_.end() ? nullptr : it->second->pending;
}

bool Jvm::waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

ThreadEnv* Jvm::threadEnv(JNIEnv* env) {
    if (!env) return nullptr;
    if (destroyed()) {
        recordMisuse("JNI called after DestroyJavaVM");
        parkForever();
    }
    auto* thread = static_cast<ThreadEnv*>(env);
    if (!thread->attached) {
        recordMisuse("environment of a detached thread used");
        return nullptr;
    }
    if (thread->threadId != ::GetCurrentThreadId()) {
        recordMisuse("environment used on another thread");
        return nullptr;
    }
    return thread;
}

ThreadEnv* Jvm::currentThreadEnv() {
    std::lock_guard guard(lock_);
    const auto it = threads_.find(::GetCurrentThreadId());
    return it == threads_.end() ? nullptr : it->second.get();
}

jint Jvm::attach(JNIEnv** env, bool daemon, const char* name) {
    std::lock_guard guard(lock_);
    *env = nullptr;
    if (destroyed_) return JNI_ERR;
    if (nextAttachFailure_ != JNI_OK) return std::exchange(nextAttachFailure_, JNI_OK);
    const DWORD id = ::GetCurrentThreadId();
    auto& slot = threads_[id];
    if (!slot) {
        slot = std::make_unique<ThreadEnv>();
        slot->functions = EnvFunctions();
        slot->jvm = this;
        slot->threadId = id;
        slot->name = name ? name : "Thread-" + std::to_string(nextThreadNumber_++);
        slot->daemon = daemon;
        slot->frames.emplace_back();
    }
    *env = slot.get();
    return JNI_OK;
}

jint Jvm::detach() {
    std::lock_guard guard(lock_);
    const auto it = threads_.find(::GetCurrentThreadId());
    if (it == threads_.end()) return JNI_EDETACHED;
    for (auto& frame : it->second->frames) {
        for (Reference* ref : frame) {
            if (ref->live) ++leftAtDetach_;
            ref->live = false;
            ref->object.reset();
        }
    }
    it->second->attached = false;
    it->second->pending.reset();
    detachedThreads_.push_back(std::move(it->second));
    threads_.erase(it);
    threadsChanged_.notify_all();
    return JNI_OK;
}

jobject Jvm::newReference(ThreadEnv& thread, const ObjectPtr& object, bool global) {
    if (!object) return nullptr;
    std::lock_guard guard(lock_);
    references_.push_back(std::make_unique<Reference>(Reference{object, global, true, thread.threadId}));
    Reference* ref = references_.back().get();
    if (global)
        ++globals_;
    else
        thread.frames.back().push_back(ref);
    return reinterpret_cast<jobject>(ref);
}

void Jvm::deleteReference(jobject reference, bool global) {
    if (!reference) return;
    std::lock_guard guard(lock_);
    auto* ref = reinterpret_cast<Reference*>(reference);
    const bool known = std::any_of(references_.begin(), references_.end(),
                                   [&](const auto& r) { return r.get() == ref; });
    if (!known || !ref->live) {
        misuse_.push_back(global ? "DeleteGlobalRef of a dead reference" : "DeleteLocalRef of a dead reference");
        return;
    }
    if (ref->global != global) {
        misuse_.push_back(global ? "DeleteGlobalRef of a local reference" : "DeleteLocalRef of a global reference");
        return;
    }
    if (!global && ref->thread != ::GetCurrentThreadId()) {
        misuse_.push_back("DeleteLocalRef on another thread");
        return;
    }
    ref->live = false;
    ref->object.reset();
    if (global) --globals_;
}

void Jvm::pushFrame(ThreadEnv& thread) {
    std::lock_guard guard(lock_);
    thread.frames.emplace_back();
}

jobject Jvm::popFrame(ThreadEnv& thread, jobject result) {
    ObjectPtr kept = resolve(result);
    {
        std::lock_guard guard(lock_);
        if (thread.frames.size() <= 1) {
            misuse_.push_back("PopLocalFrame without a frame");
            return nullptr;
        }
        for (Reference* ref : thread.frames.back()) {
            ref->live = false;
            ref->object.reset();
        }
        thread.frames.pop_back();
    }
    return newReference(thread, kept, false);
}

void Jvm::recordMisuse(std::string what) {
    std::lock_guard guard(lock_);
    misuse_.push_back(std::move(what));
}

size_t Jvm::methodLookups(std::string_view name) const {
    std::lock_guard guard(lock_);
    const auto it = lookups_.find(name);
    return it == lookups_.end() ? 0 : it->second;
}

void Jvm::countLookup(std::string_view name) {
    std::lock_guard guard(lock_);
    ++lookups_[std::string(name)];
}

void Jvm::setPending(ThreadEnv& thread, ObjectPtr exception) {
    std::lock_guard guard(lock_);
    thread.pending = std::move(exception);
}

ObjectPtr Jvm::takePending(ThreadEnv& thread, bool clear) {
    std::lock_guard guard(lock_);
    return clear ? std::exchange(thread.pending, nullptr) : thread.pending;
}

const jchar* Jvm::lendChars(const ObjectPtr& string) {
    const std::wstring& text = *string->text;
    auto copy = std::make_unique<char[]>((text.size() + 1) * sizeof(jchar));
    std::memcpy(copy.get(), text.c_str(), (text.size() + 1) * sizeof(jchar));
    std::lock_guard guard(lock_);
    const void* key = copy.get();
    lentStrings_[key] = std::move(copy);
    return static_cast<const jchar*>(key);
}

void Jvm::returnChars(const jchar* chars) {
    std::lock_guard guard(lock_);
    if (lentStrings_.erase(chars) == 0) misuse_.push_back("ReleaseStringChars of characters never lent");
}

const char* Jvm::lendUtf(const ObjectPtr& string) {
    const std::string utf = wideToModifiedUtf8(*string->text);
    auto copy = std::make_unique<char[]>(utf.size() + 1);
    std::memcpy(copy.get(), utf.c_str(), utf.size() + 1);
    std::lock_guard guard(lock_);
    const void* key = copy.get();
    lentStrings_[key] = std::move(copy);
    return static_cast<const char*>(key);
}

void Jvm::returnUtf(const char* chars) {
    std::lock_guard guard(lock_);
    if (lentStrings_.erase(chars) == 0) misuse_.push_back("ReleaseStringUTFChars of characters never lent");
}

jvalue Jvm::invoke(JNIEnv* env, const ObjectPtr& self, const Method& method, std::vector<Value> args,
                   bool* isObject) {
    Call call(*this, env, self, std::move(args));
    Value result = method.body ? method.body(call) : Value{};
    const SignatureKinds kinds = ParseSignature(method.signature);
    if (isObject) *isObject = kinds.result == 'L';
    if (kinds.result != 'L') return result.primitive;
    jvalue value{};
    value.l = localRef(env, result.object);
    return value;
}

NativeFrame::NativeFrame(Jvm& jvm, JNIEnv* env) : jvm_(jvm), env_(env) {
    if (ThreadEnv* thread = jvm_.threadEnv(env_)) jvm_.pushFrame(*thread);
}

NativeFrame::~NativeFrame() {
    if (ThreadEnv* thread = jvm_.threadEnv(env_)) jvm_.popFrame(*thread, nullptr);
}

}  // namespace brisko::fakejvm
