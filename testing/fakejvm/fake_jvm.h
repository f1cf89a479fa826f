#pragma once
// A Java virtual machine for tests: the JavaVM and JNIEnv function tables over classes whose
// methods the test defines by name and signature. It checks what a real VM leaves undefined:
// local references that outlive their thread, references used after deletion or on a foreign
// thread, JNI calls made while an exception is pending, and string characters never released.
// Used in-process by tests, and behind the invocation exports of jvm.dll (jvm_exports.cpp).
#include <jni.h>
#include <windows.h>

#include <any>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fakejvm_classes.h"
#include "vm_options.h"

namespace brisko::fakejvm {

class Class;
class Jvm;
class Object;
using ObjectPtr = std::shared_ptr<Object>;

// A value crossing a method call: a primitive, or an object (null for a null reference).
struct Value {
    jvalue primitive{};
    ObjectPtr object;

    static Value boolean(bool value);
    static Value integer(jint value);
    static Value longValue(jlong value);
    static Value reference(ObjectPtr value);
};

// One call of a method defined by a test or by the built-in classes.
class Call {
public:
    Call(Jvm& jvm, JNIEnv* env, ObjectPtr self, std::vector<Value> args);

    Jvm& jvm() const { return jvm_; }
    JNIEnv* env() const { return env_; }
    const ObjectPtr& self() const { return self_; }
    size_t argumentCount() const { return args_.size(); }
    const Value& argument(size_t index) const { return args_.at(index); }
    bool boolean(size_t index) const;
    jint integer(size_t index) const;
    jlong longValue(size_t index) const;
    const ObjectPtr& object(size_t index) const;
    // Null for a null reference or an object that is not a string.
    std::optional<std::wstring> string(size_t index) const;
    // Leaves an exception of that class pending on the calling thread, as a throw inside Java does.
    void raise(std::string_view className, std::wstring message = {});

private:
    Jvm& jvm_;
    JNIEnv* env_;
    ObjectPtr self_;
    std::vector<Value> args_;
};

using MethodBody = std::function<Value(Call&)>;

struct Method {
    Class* owner = nullptr;
    std::string name;
    std::string signature;
    bool isStatic = false;
    MethodBody body;
};

// A static field; its value is read and written under the Jvm's lock.
struct Field {
    Class* owner = nullptr;
    std::string name;
    std::string signature;
    Value value;
};

class Class {
public:
    Class(std::string name, Class* superclass) : name_(std::move(name)), superclass_(superclass) {}

    const std::string& name() const { return name_; }
    Class* superclass() const { return superclass_; }
    Class& method(std::string name, std::string signature, MethodBody body);
    Class& staticMethod(std::string name, std::string signature, MethodBody body);
    // The method of this class or its nearest superclass; null when there is none.
    const Method* find(std::string_view name, std::string_view signature, bool isStatic) const;
    bool isSubclassOf(const Class& other) const;
    Class& staticField(std::string name, std::string signature, Value initial = {});
    Field* findStaticField(std::string_view name, std::string_view signature);

private:
    std::string name_;
    Class* superclass_;
    std::vector<std::unique_ptr<Method>> methods_;
    std::vector<std::unique_ptr<Field>> fields_;
};

class Object {
public:
    explicit Object(Class& javaClass) : class_(&javaClass) {}

    Class& javaClass() const { return *class_; }
    // The characters of a string, the message of a throwable.
    std::optional<std::wstring> text;
    // The class that a java/lang/Class object stands for.
    Class* reflected = nullptr;
    // java/util/HashMap entries; java/util/Set elements in insertion order, array elements.
    std::vector<std::pair<ObjectPtr, ObjectPtr>> entries;
    std::vector<ObjectPtr> elements;
    // What a library class keeps natively (the sink of an output stream).
    std::any native;

private:
    Class* class_;
};

// Strings compare by their characters, every other object by identity (Java's equals of the
// classes that the fake knows).
bool JavaEquals(const ObjectPtr& left, const ObjectPtr& right);

struct ThreadEnv;
struct Reference;
struct VmHandle;
struct ClassRegistry;

class Jvm {
public:
    Jvm();
    ~Jvm();
    Jvm(const Jvm&) = delete;
    Jvm& operator=(const Jvm&) = delete;

    JavaVM* vm();
    // Attaches the calling thread (as a Java thread of the test) and answers its environment.
    JNIEnv* attachCurrentThread();
    void detachCurrentThread();
    // The next attach request of any thread fails with this JNI code.
    void failNextAttach(jint code);
    // Of the strings made or read from now on (NewString, NewStringUTF, GetStringChars,
    // GetStringUTFChars, on any thread), the one after `skip` others fails as in a VM out of
    // memory: it answers null and leaves OutOfMemoryError pending.
    void failStringAfter(size_t skip);
    // True (with the error pending on the thread) when this string operation is the one to fail.
    bool stringFails(ThreadEnv& thread);

    // What JNI_CreateJavaVM was given: properties, hooks, sizes. The default is a VM created
    // without options.
    void configure(VmOptions options);
    VmOptions options() const;
    std::optional<std::wstring> property(std::string_view name) const;
    void setProperty(std::string name, std::wstring value);
    // A message of the VM itself: through the host's "vfprintf" hook when it gave one, else to
    // the standard output.
    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Text written to Java's System.out or System.err, wherever they point now.
    void writeStandardStream(bool error, std::string_view text);
    // System.exit: the host's "exit" hook, then the process ends with the code, as a VM does
    // when the hook returns.
    [[noreturn]] void exit(jint code);
    // FatalError: the host's "abort" hook, then the process aborts.
    [[noreturn]] void abort(const char* message);
    // DestroyJavaVM: waits until the calling thread is the last non-daemon thread, then the VM
    // is gone. Attaching fails from then on, and a thread that still calls JNI waits for ever,
    // as threads left in a destroyed VM do.
    jint destroy();
    bool destroyed() const;
    // JVM_DumpAllStacks: every attached thread, printed as the VM's messages are.
    void dumpThreads();

    Class& defineClass(std::string name, std::string_view superclass = "java/lang/Object");
    // Array classes ("[Ljava/lang/String;") exist as soon as they are asked for.
    Class* findClass(std::string_view name);
    // FindClass no longer finds the class (objects and subclasses of it keep working), so that a
    // test can take a class away or define a different one under its name.
    void removeClass(std::string_view name);
    // The registry that class libraries receive from GetEnv (fakejvm_classes.h).
    FakeJvmClasses* classRegistry();
    // System.loadLibrary's part: the library loaded and its JNI_OnLoad called; an empty answer
    // or the complaint of UnsatisfiedLinkError.
    std::wstring loadNativeLibrary(const std::wstring& path);
    // The export bound to a native method, searched in the libraries System.loadLibrary loaded.
    void* findNative(std::string_view className, std::string_view name, std::string_view signature);

    ObjectPtr newInstance(Class& javaClass);
    ObjectPtr newString(std::wstring text);
    ObjectPtr newThrowable(std::string_view className, std::wstring message);
    // An array of that element class with `length` null elements.
    ObjectPtr newArray(Class& elementClass, size_t length);
    // A local reference of the calling thread (null for a null object).
    jobject localRef(JNIEnv* env, const ObjectPtr& object);
    // A local reference to the java/lang/Class object of a class.
    jclass classRef(JNIEnv* env, Class* javaClass);
    // The object behind a reference; null for a null, deleted or foreign reference (the last two
    // are recorded as misuse).
    ObjectPtr resolve(jobject reference);

    // Checks for tests.
    size_t localRefs(DWORD threadId) const;
    size_t localRefsLeftAtDetach() const;
    size_t globalRefs() const;
    size_t unreleasedStrings() const;
    size_t attachedThreads() const;
    std::vector<std::string> misuse() const;
    // How often GetMethodID or GetStaticMethodID asked for a method of that name.
    size_t methodLookups(std::string_view name) const;
    ObjectPtr pendingException(DWORD threadId) const;
    // Polls until the condition holds; false after the timeout.
    static bool waitFor(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // The machinery behind the function tables.
    ThreadEnv* threadEnv(JNIEnv* env);
    ThreadEnv* currentThreadEnv();
    // A null name gives "Thread-N".
    jint attach(JNIEnv** env, bool daemon, const char* name = nullptr);
    jint detach();
    jobject newReference(ThreadEnv& thread, const ObjectPtr& object, bool global);
    void deleteReference(jobject reference, bool global);
    void pushFrame(ThreadEnv& thread);
    jobject popFrame(ThreadEnv& thread, jobject result);
    void recordMisuse(std::string what);
    void countLookup(std::string_view name);
    void setPending(ThreadEnv& thread, ObjectPtr exception);
    ObjectPtr takePending(ThreadEnv& thread, bool clear);
    const jchar* lendChars(const ObjectPtr& string);
    void returnChars(const jchar* chars);
    const char* lendUtf(const ObjectPtr& string);
    void returnUtf(const char* chars);
    // Runs a method body on the calling thread; the result becomes a local reference there.
    jvalue invoke(JNIEnv* env, const ObjectPtr& self, const Method& method, std::vector<Value> args,
                  bool* isObject = nullptr);

    Value staticValue(const Field& field) const;
    void setStaticValue(Field& field, Value value);

private:
    [[noreturn]] void parkForever();

    mutable std::mutex lock_;
    std::condition_variable threadsChanged_;
    std::unique_ptr<VmHandle> vm_;
    std::unique_ptr<ClassRegistry> registry_;
    VmOptions options_;
    std::map<std::string, std::wstring, std::less<>> properties_;
    bool destroyed_ = false;
    int nextThreadNumber_ = 0;
    std::vector<HMODULE> nativeLibraries_;
    std::map<std::string, std::unique_ptr<Class>, std::less<>> classes_;
    std::vector<std::unique_ptr<Class>> removedClasses_;
    std::map<DWORD, std::unique_ptr<ThreadEnv>> threads_;
    std::vector<std::unique_ptr<ThreadEnv>> detachedThreads_;
    std::vector<std::unique_ptr<Reference>> references_;
    std::map<const void*, std::unique_ptr<char[]>> lentStrings_;
    size_t leftAtDetach_ = 0;
    size_t globals_ = 0;
    jint nextAttachFailure_ = JNI_OK;
    std::optional<size_t> stringsBeforeFailure_;
    std::vector<std::string> misuse_;
    std::map<std::string, size_t, std::less<>> lookups_;
};

// Creates the local reference frame of a native method call on the calling thread and pops it
// on destruction, as the VM does around every native method.
class NativeFrame {
public:
    NativeFrame(Jvm& jvm, JNIEnv* env);
    ~NativeFrame();
    NativeFrame(const NativeFrame&) = delete;
    NativeFrame& operator=(const NativeFrame&) = delete;

private:
    Jvm& jvm_;
    JNIEnv* env_;
};

}  // namespace brisko::fakejvm
