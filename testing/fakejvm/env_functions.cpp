// The JNIEnv function table. Every function but the few that JNI allows with an exception
// pending records a misuse when called in that state.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "internal.h"
#include "text.h"

namespace brisko::fakejvm {
namespace {

ThreadEnv* Enter(JNIEnv* env, const char* function, bool allowedWithPending = false) {
    auto* thread = static_cast<ThreadEnv*>(env);
    ThreadEnv* checked = thread->jvm->threadEnv(env);
    if (checked && !allowedWithPending && checked->pending)
        checked->jvm->recordMisuse(std::string(function) + " called with an exception pending");
    return checked;
}

Class* ClassOf(ThreadEnv& thread, jclass javaClass) {
    const ObjectPtr object = thread.jvm->resolve(javaClass);
    return object ? object->reflected : nullptr;
}

jclass ClassRef(ThreadEnv& thread, Class* javaClass) { return thread.jvm->classRef(&thread, javaClass); }

void Throw(ThreadEnv& thread, std::string_view className, std::wstring message) {
    thread.jvm->setPending(thread, thread.jvm->newThrowable(className, std::move(message)));
}

jint JNICALL GetVersion(JNIEnv* env) {
    Enter(env, "GetVersion");
    return JNI_VERSION_1_8;
}

jclass JNICALL FindClass(JNIEnv* env, const char* name) {
    ThreadEnv* thread = Enter(env, "FindClass");
    if (!thread || !name) return nullptr;
    Class* javaClass = thread->jvm->findClass(name);
    if (!javaClass) {
        Throw(*thread, "java/lang/NoClassDefFoundError", utf8ToWide(name));
        return nullptr;
    }
    return ClassRef(*thread, javaClass);
}

jclass JNICALL GetSuperclass(JNIEnv* env, jclass javaClass) {
    ThreadEnv* thread = Enter(env, "GetSuperclass");
    if (!thread) return nullptr;
    Class* c = ClassOf(*thread, javaClass);
    return c ? ClassRef(*thread, c->superclass()) : nullptr;
}

jboolean JNICALL IsAssignableFrom(JNIEnv* env, jclass sub, jclass super) {
    ThreadEnv* thread = Enter(env, "IsAssignableFrom");
    if (!thread) return JNI_FALSE;
    Class* s = ClassOf(*thread, sub);
    Class* p = ClassOf(*thread, super);
    return s && p && s->isSubclassOf(*p) ? JNI_TRUE : JNI_FALSE;
}

jint JNICALL ThrowObject(JNIEnv* env, jthrowable throwable) {
    ThreadEnv* thread = Enter(env, "Throw");
    if (!thread) return JNI_ERR;
    ObjectPtr object = thread->jvm->resolve(throwable);
    if (!object) return JNI_ERR;
    thread->jvm->setPending(*thread, std::move(object));
    return JNI_OK;
}

jint JNICALL ThrowNew(JNIEnv* env, jclass javaClass, const char* message) {
    ThreadEnv* thread = Enter(env, "ThrowNew");
    if (!thread) return JNI_ERR;
    Class* c = ClassOf(*thread, javaClass);
    if (!c) return JNI_ERR;
    Throw(*thread, c->name(), message ? modifiedUtf8ToWide(message) : std::wstring());
    return JNI_OK;
}

jthrowable JNICALL ExceptionOccurred(JNIEnv* env) {
    ThreadEnv* thread = Enter(env, "ExceptionOccurred", true);
    if (!thread) return nullptr;
    return static_cast<jthrowable>(thread->jvm->newReference(*thread, thread->jvm->takePending(*thread, false), false));
}

// As Throwable.printStackTrace shows it, without the stack: on System.err, wherever it points.
void JNICALL ExceptionDescribe(JNIEnv* env) {
    ThreadEnv* thread = Enter(env, "ExceptionDescribe", true);
    if (!thread) return;
    const ObjectPtr pending = thread->jvm->takePending(*thread, true);
    if (!pending) return;
    std::string name = pending->javaClass().name();
    std::replace(name.begin(), name.end(), '/', '.');
    std::string line = "Exception in thread \"" + thread->name + "\" " + name;
    if (pending->text) line += ": " + wideToUtf8(*pending->text);
    thread->jvm->writeStandardStream(true, line + "\r\n");
}

void JNICALL ExceptionClear(JNIEnv* env) {
    if (ThreadEnv* thread = Enter(env, "ExceptionClear", true)) thread->jvm->takePending(*thread, true);
}

void JNICALL FatalError(JNIEnv* env, const char* message) { static_cast<ThreadEnv*>(env)->jvm->abort(message); }

jint JNICALL PushLocalFrame(JNIEnv* env, jint) {
    ThreadEnv* thread = Enter(env, "PushLocalFrame", true);
    if (!thread) return JNI_ERR;
    thread->jvm->pushFrame(*thread);
    return JNI_OK;
}

jobject JNICALL PopLocalFrame(JNIEnv* env, jobject result) {
    ThreadEnv* thread = Enter(env, "PopLocalFrame", true);
    return thread ? thread->jvm->popFrame(*thread, result) : nullptr;
}

jobject JNICALL NewGlobalRef(JNIEnv* env, jobject object) {
    ThreadEnv* thread = Enter(env, "NewGlobalRef");
    return thread ? thread->jvm->newReference(*thread, thread->jvm->resolve(object), true) : nullptr;
}

void JNICALL DeleteGlobalRef(JNIEnv* env, jobject object) {
    if (ThreadEnv* thread = Enter(env, "DeleteGlobalRef", true)) thread->jvm->deleteReference(object, true);
}

void JNICALL DeleteLocalRef(JNIEnv* env, jobject object) {
    if (ThreadEnv* thread = Enter(env, "DeleteLocalRef", true)) thread->jvm->deleteReference(object, false);
}

jboolean JNICALL IsSameObject(JNIEnv* env, jobject left, jobject right) {
    ThreadEnv* thread = Enter(env, "IsSameObject");
    if (!thread) return JNI_FALSE;
    return thread->jvm->resolve(left) == thread->jvm->resolve(right) ? JNI_TRUE : JNI_FALSE;
}

jobject JNICALL NewLocalRef(JNIEnv* env, jobject object) {
    ThreadEnv* thread = Enter(env, "NewLocalRef");
    return thread ? thread->jvm->newReference(*thread, thread->jvm->resolve(object), false) : nullptr;
}

jint JNICALL EnsureLocalCapacity(JNIEnv* env, jint) {
    Enter(env, "EnsureLocalCapacity");
    return JNI_OK;
}

jclass JNICALL GetObjectClass(JNIEnv* env, jobject object) {
    ThreadEnv* thread = Enter(env, "GetObjectClass");
    if (!thread) return nullptr;
    const ObjectPtr o = thread->jvm->resolve(object);
    return o ? ClassRef(*thread, &o->javaClass()) : nullptr;
}

jboolean JNICALL IsInstanceOf(JNIEnv* env, jobject object, jclass javaClass) {
    ThreadEnv* thread = Enter(env, "IsInstanceOf");
    if (!thread) return JNI_FALSE;
    const ObjectPtr o = thread->jvm->resolve(object);
    Class* c = ClassOf(*thread, javaClass);
    return !o || (c && o->javaClass().isSubclassOf(*c)) ? JNI_TRUE : JNI_FALSE;
}

jmethodID LookUp(JNIEnv* env, jclass javaClass, const char* name, const char* signature, bool isStatic) {
    ThreadEnv* thread = Enter(env, isStatic ? "GetStaticMethodID" : "GetMethodID");
    if (!thread) return nullptr;
    if (name) thread->jvm->countLookup(name);
    Class* c = ClassOf(*thread, javaClass);
    const Method* method = c && name && signature ? c->find(name, signature, isStatic) : nullptr;
    if (!method) {
        Throw(*thread, "java/lang/NoSuchMethodError", utf8ToWide(name ? name : ""));
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(const_cast<Method*>(method));
}

jmethodID JNICALL GetMethodID(JNIEnv* env, jclass c, const char* name, const char* signature) {
    return LookUp(env, c, name, signature, false);
}

jmethodID JNICALL GetStaticMethodID(JNIEnv* env, jclass c, const char* name, const char* signature) {
    return LookUp(env, c, name, signature, true);
}

// Reads the arguments of a call from a va_list or a jvalue array, as the signature says.
std::vector<Value> Arguments(ThreadEnv& thread, const Method& method, va_list* list, const jvalue* array) {
    std::vector<Value> values;
    const SignatureKinds kinds = ParseSignature(method.signature);
    for (size_t i = 0; i < kinds.arguments.size(); ++i) {
        const char kind = kinds.arguments[i];
        jvalue raw{};
        if (array) {
            raw = array[i];
        } else if (kind == 'L') {
            raw.l = va_arg(*list, jobject);
        } else if (kind == 'J') {
            raw.j = va_arg(*list, jlong);
        } else if (kind == 'F' || kind == 'D') {
            raw.d = va_arg(*list, double);
            if (kind == 'F') raw.f = static_cast<jfloat>(raw.d);
        } else {
            const int small = va_arg(*list, int);
            switch (kind) {
                case 'Z': raw.z = static_cast<jboolean>(small); break;
                case 'B': raw.b = static_cast<jbyte>(small); break;
                case 'C': raw.c = static_cast<jchar>(small); break;
                case 'S': raw.s = static_cast<jshort>(small); break;
                default: raw.i = small; break;
            }
        }
        Value value;
        if (kind == 'L')
            value.object = thread.jvm->resolve(raw.l);
        else
            value.primitive = raw;
        values.push_back(std::move(value));
    }
    return values;
}

jvalue Invoke(JNIEnv* env, const char* function, jobject object, jmethodID id, bool isStatic, va_list* list,
              const jvalue* array) {
    ThreadEnv* thread = Enter(env, function);
    if (!thread || !id) {
        if (thread) thread->jvm->recordMisuse(std::string(function) + " with a null method id");
        return jvalue{};
    }
    const Method* method = reinterpret_cast<const Method*>(id);
    ObjectPtr self;
    if (!isStatic) {
        self = thread->jvm->resolve(object);
        if (!self) {
            Throw(*thread, "java/lang/NullPointerException", {});
            return jvalue{};
        }
        // Virtual dispatch: the object's own class may override the method.
        if (const Method* own = self->javaClass().find(method->name, method->signature, false)) method = own;
    }
    return thread->jvm->invoke(env, self, *method, Arguments(*thread, *method, list, array));
}

#define FAKEJVM_CALLS(Type, Name, member)                                                                       \
    Type JNICALL Call##Name##MethodV(JNIEnv* env, jobject o, jmethodID id, va_list args) {                       \
        va_list copy;                                                                                           \
        va_copy(copy, args);                                                                                    \
        const jvalue v = Invoke(env, "Call" #Name "MethodV", o, id, false, &copy, nullptr);                     \
        va_end(copy);                                                                                           \
        return static_cast<Type>(v.member);                                                                     \
    }                                                                                                           \
    Type JNICALL Call##Name##Method(JNIEnv* env, jobject o, jmethodID id, ...) {                                 \
        va_list args;                                                                                           \
        va_start(args, id);                                                                                     \
        const jvalue v = Invoke(env, "Call" #Name "Method", o, id, false, &args, nullptr);                      \
        va_end(args);                                                                                           \
        return static_cast<Type>(v.member);                                                                     \
    }                                                                                                           \
    Type JNICALL Call##Name##MethodA(JNIEnv* env, jobject o, jmethodID id, const jvalue* args) {                 \
        return static_cast<Type>(Invoke(env, "Call" #Name "MethodA", o, id, false, nullptr, args).member);      \
    }                                                                                                           \
    Type JNICALL CallStatic##Name##MethodV(JNIEnv* env, jclass, jmethodID id, va_list args) {                    \
        va_list copy;                                                                                           \
        va_copy(copy, args);                                                                                    \
        const jvalue v = Invoke(env, "CallStatic" #Name "MethodV", nullptr, id, true, &copy, nullptr);          \
        va_end(copy);                                                                                           \
        return static_cast<Type>(v.member);                                                                     \
    }                                                                                                           \
    Type JNICALL CallStatic##Name##Method(JNIEnv* env, jclass, jmethodID id, ...) {                              \
        va_list args;                                                                                           \
        va_start(args, id);                                                                                     \
        const jvalue v = Invoke(env, "CallStatic" #Name "Method", nullptr, id, true, &args, nullptr);           \
        va_end(args);                                                                                           \
        return static_cast<Type>(v.member);                                                                     \
    }                                                                                                           \
    Type JNICALL CallStatic##Name##MethodA(JNIEnv* env, jclass, jmethodID id, const jvalue* args) {              \
        return static_cast<Type>(Invoke(env, "CallStatic" #Name "MethodA", nullptr, id, true, nullptr, args).member); \
    }

FAKEJVM_CALLS(jobject, Object, l)
FAKEJVM_CALLS(jboolean, Boolean, z)
FAKEJVM_CALLS(jint, Int, i)
FAKEJVM_CALLS(jlong, Long, j)
#undef FAKEJVM_CALLS

void JNICALL CallVoidMethodV(JNIEnv* env, jobject o, jmethodID id, va_list args) {
    va_list copy;
    va_copy(copy, args);
    Invoke(env, "CallVoidMethodV", o, id, false, &copy, nullptr);
    va_end(copy);
}

void JNICALL CallVoidMethod(JNIEnv* env, jobject o, jmethodID id, ...) {
    va_list args;
    va_start(args, id);
    Invoke(env, "CallVoidMethod", o, id, false, &args, nullptr);
    va_end(args);
}

void JNICALL CallVoidMethodA(JNIEnv* env, jobject o, jmethodID id, const jvalue* args) {
    Invoke(env, "CallVoidMethodA", o, id, false, nullptr, args);
}

void JNICALL CallStaticVoidMethodV(JNIEnv* env, jclass, jmethodID id, va_list args) {
    va_list copy;
    va_copy(copy, args);
    Invoke(env, "CallStaticVoidMethodV", nullptr, id, true, &copy, nullptr);
    va_end(copy);
}

void JNICALL CallStaticVoidMethod(JNIEnv* env, jclass, jmethodID id, ...) {
    va_list args;
    va_start(args, id);
    Invoke(env, "CallStaticVoidMethod", nullptr, id, true, &args, nullptr);
    va_end(args);
}

void JNICALL CallStaticVoidMethodA(JNIEnv* env, jclass, jmethodID id, const jvalue* args) {
    Invoke(env, "CallStaticVoidMethodA", nullptr, id, true, nullptr, args);
}

jobject Construct(JNIEnv* env, const char* function, jclass javaClass, jmethodID id, va_list* list,
                  const jvalue* array) {
    ThreadEnv* thread = Enter(env, function);
    if (!thread) return nullptr;
    Class* c = ClassOf(*thread, javaClass);
    const Method* method = reinterpret_cast<const Method*>(id);
    if (!c || !method || method->name != "<init>") {
        thread->jvm->recordMisuse(std::string(function) + " without a class and constructor");
        return nullptr;
    }
    ObjectPtr object = thread->jvm->newInstance(*c);
    thread->jvm->invoke(env, object, *method, Arguments(*thread, *method, list, array));
    if (thread->pending) return nullptr;
    return thread->jvm->newReference(*thread, object, false);
}

jobject JNICALL AllocObject(JNIEnv* env, jclass javaClass) {
    ThreadEnv* thread = Enter(env, "AllocObject");
    if (!thread) return nullptr;
    Class* c = ClassOf(*thread, javaClass);
    return c ? thread->jvm->newReference(*thread, thread->jvm->newInstance(*c), false) : nullptr;
}

jobject JNICALL NewObjectV(JNIEnv* env, jclass c, jmethodID id, va_list args) {
    va_list copy;
    va_copy(copy, args);
    jobject o = Construct(env, "NewObjectV", c, id, &copy, nullptr);
    va_end(copy);
    return o;
}

jobject JNICALL NewObject(JNIEnv* env, jclass c, jmethodID id, ...) {
    va_list args;
    va_start(args, id);
    jobject o = Construct(env, "NewObject", c, id, &args, nullptr);
    va_end(args);
    return o;
}

jobject JNICALL NewObjectA(JNIEnv* env, jclass c, jmethodID id, const jvalue* args) {
    return Construct(env, "NewObjectA", c, id, nullptr, args);
}

ObjectPtr StringOf(ThreadEnv& thread, jstring string, const char* function) {
    ObjectPtr o = thread.jvm->resolve(string);
    if (!o || o->javaClass().name() != "java/lang/String" || !o->text) {
        thread.jvm->recordMisuse(std::string(function) + " on something that is not a string");
        return nullptr;
    }
    return o;
}

jstring JNICALL NewString(JNIEnv* env, const jchar* chars, jsize length) {
    ThreadEnv* thread = Enter(env, "NewString");
    if (!thread || thread->jvm->stringFails(*thread)) return nullptr;
    if (length < 0 || (length > 0 && !chars)) {
        thread->jvm->recordMisuse("NewString with invalid characters");
        return nullptr;
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(chars), static_cast<size_t>(length));
    return static_cast<jstring>(thread->jvm->newReference(*thread, thread->jvm->newString(std::move(text)), false));
}

jsize JNICALL GetStringLength(JNIEnv* env, jstring string) {
    ThreadEnv* thread = Enter(env, "GetStringLength");
    const ObjectPtr o = thread ? StringOf(*thread, string, "GetStringLength") : nullptr;
    return o ? static_cast<jsize>(o->text->size()) : 0;
}

const jchar* JNICALL GetStringChars(JNIEnv* env, jstring string, jboolean* isCopy) {
    ThreadEnv* thread = Enter(env, "GetStringChars");
    const ObjectPtr o = thread ? StringOf(*thread, string, "GetStringChars") : nullptr;
    if (!o || thread->jvm->stringFails(*thread)) return nullptr;
    if (isCopy) *isCopy = JNI_TRUE;
    return thread->jvm->lendChars(o);
}

void JNICALL ReleaseStringChars(JNIEnv* env, jstring, const jchar* chars) {
    if (ThreadEnv* thread = Enter(env, "ReleaseStringChars", true)) thread->jvm->returnChars(chars);
}

jstring JNICALL NewStringUTF(JNIEnv* env, const char* utf) {
    ThreadEnv* thread = Enter(env, "NewStringUTF");
    if (!thread || !utf || thread->jvm->stringFails(*thread)) return nullptr;
    return static_cast<jstring>(
        thread->jvm->newReference(*thread, thread->jvm->newString(modifiedUtf8ToWide(utf)), false));
}

jsize JNICALL GetStringUTFLength(JNIEnv* env, jstring string) {
    ThreadEnv* thread = Enter(env, "GetStringUTFLength");
    const ObjectPtr o = thread ? StringOf(*thread, string, "GetStringUTFLength") : nullptr;
    return o ? static_cast<jsize>(wideToModifiedUtf8(*o->text).size()) : 0;
}

const char* JNICALL GetStringUTFChars(JNIEnv* env, jstring string, jboolean* isCopy) {
    ThreadEnv* thread = Enter(env, "GetStringUTFChars");
    const ObjectPtr o = thread ? StringOf(*thread, string, "GetStringUTFChars") : nullptr;
    if (!o || thread->jvm->stringFails(*thread)) return nullptr;
    if (isCopy) *isCopy = JNI_TRUE;
    return thread->jvm->lendUtf(o);
}

void JNICALL ReleaseStringUTFChars(JNIEnv* env, jstring, const char* chars) {
    if (ThreadEnv* thread = Enter(env, "ReleaseStringUTFChars", true)) thread->jvm->returnUtf(chars);
}

// The characters [start, start + length) of a string, or none with StringIndexOutOfBoundsException
// pending when the range does not lie inside it.
std::optional<std::wstring_view> StringRegion(JNIEnv* env, jstring string, jsize start, jsize length,
                                              const char* function) {
    ThreadEnv* thread = Enter(env, function);
    const ObjectPtr o = thread ? StringOf(*thread, string, function) : nullptr;
    if (!o) return std::nullopt;
    if (start < 0 || length < 0 || static_cast<size_t>(start) + static_cast<size_t>(length) > o->text->size()) {
        Throw(*thread, "java/lang/StringIndexOutOfBoundsException", {});
        return std::nullopt;
    }
    return std::wstring_view(*o->text).substr(static_cast<size_t>(start), static_cast<size_t>(length));
}

void JNICALL GetStringRegion(JNIEnv* env, jstring string, jsize start, jsize length, jchar* buffer) {
    const auto region = StringRegion(env, string, start, length, "GetStringRegion");
    if (region) std::memcpy(buffer, region->data(), region->size() * sizeof(jchar));
}

// start and length count UTF-16 units; the buffer receives the modified UTF-8 bytes and a
// terminating NUL, as HotSpot writes them.
void JNICALL GetStringUTFRegion(JNIEnv* env, jstring string, jsize start, jsize length, char* buffer) {
    const auto region = StringRegion(env, string, start, length, "GetStringUTFRegion");
    if (!region) return;
    const std::string utf = wideToModifiedUtf8(*region);
    std::memcpy(buffer, utf.c_str(), utf.size() + 1);
}

jobjectArray JNICALL NewObjectArray(JNIEnv* env, jsize length, jclass elementClass, jobject initial) {
    ThreadEnv* thread = Enter(env, "NewObjectArray");
    if (!thread) return nullptr;
    Class* c = ClassOf(*thread, elementClass);
    if (!c) {
        thread->jvm->recordMisuse("NewObjectArray without an element class");
        return nullptr;
    }
    if (length < 0) {
        Throw(*thread, "java/lang/NegativeArraySizeException", std::to_wstring(length));
        return nullptr;
    }
    ObjectPtr array = thread->jvm->newArray(*c, static_cast<size_t>(length));
    std::fill(array->elements.begin(), array->elements.end(), thread->jvm->resolve(initial));
    return static_cast<jobjectArray>(thread->jvm->newReference(*thread, array, false));
}

ObjectPtr ArrayOf(ThreadEnv& thread, jarray array, const char* function) {
    ObjectPtr o = thread.jvm->resolve(array);
    if (!o || o->javaClass().name().front() != '[') {
        thread.jvm->recordMisuse(std::string(function) + " on something that is not an array");
        return nullptr;
    }
    return o;
}

bool InBounds(ThreadEnv& thread, const Object& array, jsize index) {
    if (index >= 0 && static_cast<size_t>(index) < array.elements.size()) return true;
    Throw(thread, "java/lang/ArrayIndexOutOfBoundsException", std::to_wstring(index));
    return false;
}

jsize JNICALL GetArrayLength(JNIEnv* env, jarray array) {
    ThreadEnv* thread = Enter(env, "GetArrayLength");
    const ObjectPtr o = thread ? ArrayOf(*thread, array, "GetArrayLength") : nullptr;
    return o ? static_cast<jsize>(o->elements.size()) : 0;
}

jobject JNICALL GetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index) {
    ThreadEnv* thread = Enter(env, "GetObjectArrayElement");
    const ObjectPtr o = thread ? ArrayOf(*thread, array, "GetObjectArrayElement") : nullptr;
    if (!o || !InBounds(*thread, *o, index)) return nullptr;
    return thread->jvm->newReference(*thread, o->elements[static_cast<size_t>(index)], false);
}

void JNICALL SetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject value) {
    ThreadEnv* thread = Enter(env, "SetObjectArrayElement");
    const ObjectPtr o = thread ? ArrayOf(*thread, array, "SetObjectArrayElement") : nullptr;
    if (!o || !InBounds(*thread, *o, index)) return;
    o->elements[static_cast<size_t>(index)] = thread->jvm->resolve(value);
}

jfieldID JNICALL GetStaticFieldID(JNIEnv* env, jclass javaClass, const char* name, const char* signature) {
    ThreadEnv* thread = Enter(env, "GetStaticFieldID");
    if (!thread) return nullptr;
    Class* c = ClassOf(*thread, javaClass);
    Field* field = c && name && signature ? c->findStaticField(name, signature) : nullptr;
    if (!field) {
        Throw(*thread, "java/lang/NoSuchFieldError", utf8ToWide(name ? name : ""));
        return nullptr;
    }
    return reinterpret_cast<jfieldID>(field);
}

jobject JNICALL GetStaticObjectField(JNIEnv* env, jclass, jfieldID id) {
    ThreadEnv* thread = Enter(env, "GetStaticObjectField");
    if (!thread || !id) return nullptr;
    return thread->jvm->newReference(*thread, thread->jvm->staticValue(*reinterpret_cast<Field*>(id)).object, false);
}

void JNICALL SetStaticObjectField(JNIEnv* env, jclass, jfieldID id, jobject value) {
    ThreadEnv* thread = Enter(env, "SetStaticObjectField");
    if (!thread || !id) return;
    thread->jvm->setStaticValue(*reinterpret_cast<Field*>(id), Value::reference(thread->jvm->resolve(value)));
}

jint JNICALL GetJavaVM(JNIEnv* env, JavaVM** vm) {
    ThreadEnv* thread = Enter(env, "GetJavaVM");
    if (!thread || !vm) return JNI_ERR;
    *vm = thread->jvm->vm();
    return JNI_OK;
}

jboolean JNICALL ExceptionCheck(JNIEnv* env) {
    ThreadEnv* thread = Enter(env, "ExceptionCheck", true);
    return thread && thread->jvm->takePending(*thread, false) ? JNI_TRUE : JNI_FALSE;
}

jobjectRefType JNICALL GetObjectRefType(JNIEnv* env, jobject object) {
    ThreadEnv* thread = Enter(env, "GetObjectRefType");
    if (!thread || !object || !thread->jvm->resolve(object)) return JNIInvalidRefType;
    return reinterpret_cast<Reference*>(object)->global ? JNIGlobalRefType : JNILocalRefType;
}

void Unimplemented() {
    std::fprintf(stderr, "fakejvm: a JNI function that the fake does not implement was called\n");
    std::abort();
}

JNINativeInterface_ MakeTable() {
    JNINativeInterface_ table{};
    // Every slot first traps, so that a missing function fails loudly instead of jumping to null.
    auto** slots = reinterpret_cast<void**>(&table);
    for (size_t i = 4; i < sizeof(table) / sizeof(void*); ++i) slots[i] = reinterpret_cast<void*>(&Unimplemented);
    table.GetVersion = GetVersion;
    table.FindClass = FindClass;
    table.GetSuperclass = GetSuperclass;
    table.IsAssignableFrom = IsAssignableFrom;
    table.Throw = ThrowObject;
    table.ThrowNew = ThrowNew;
    table.ExceptionOccurred = ExceptionOccurred;
    table.ExceptionDescribe = ExceptionDescribe;
    table.ExceptionClear = ExceptionClear;
    table.FatalError = FatalError;
    table.PushLocalFrame = PushLocalFrame;
    table.PopLocalFrame = PopLocalFrame;
    table.NewGlobalRef = NewGlobalRef;
    table.DeleteGlobalRef = DeleteGlobalRef;
    table.DeleteLocalRef = DeleteLocalRef;
    table.IsSameObject = IsSameObject;
    table.NewLocalRef = NewLocalRef;
    table.EnsureLocalCapacity = EnsureLocalCapacity;
    table.AllocObject = AllocObject;
    table.NewObject = NewObject;
    table.NewObjectV = NewObjectV;
    table.NewObjectA = NewObjectA;
    table.GetObjectClass = GetObjectClass;
    table.IsInstanceOf = IsInstanceOf;
    table.GetMethodID = GetMethodID;
    table.GetStaticMethodID = GetStaticMethodID;
#define FAKEJVM_SET(Name)                                     \
    table.Call##Name##Method = Call##Name##Method;             \
    table.Call##Name##MethodV = Call##Name##MethodV;           \
    table.Call##Name##MethodA = Call##Name##MethodA;           \
    table.CallStatic##Name##Method = CallStatic##Name##Method; \
    table.CallStatic##Name##MethodV = CallStatic##Name##MethodV; \
    table.CallStatic##Name##MethodA = CallStatic##Name##MethodA;
    FAKEJVM_SET(Object)
    FAKEJVM_SET(Boolean)
    FAKEJVM_SET(Int)
    FAKEJVM_SET(Long)
    FAKEJVM_SET(Void)
#undef FAKEJVM_SET
    table.NewString = NewString;
    table.GetStringLength = GetStringLength;
    table.GetStringChars = GetStringChars;
    table.ReleaseStringChars = ReleaseStringChars;
    table.NewStringUTF = NewStringUTF;
    table.GetStringUTFLength = GetStringUTFLength;
    table.GetStringUTFChars = GetStringUTFChars;
    table.ReleaseStringUTFChars = ReleaseStringUTFChars;
    table.GetStringRegion = GetStringRegion;
    table.GetStringUTFRegion = GetStringUTFRegion;
    table.NewObjectArray = NewObjectArray;
    table.GetArrayLength = GetArrayLength;
    table.GetObjectArrayElement = GetObjectArrayElement;
    table.SetObjectArrayElement = SetObjectArrayElement;
    table.GetStaticFieldID = GetStaticFieldID;
    table.GetStaticObjectField = GetStaticObjectField;
    table.SetStaticObjectField = SetStaticObjectField;
    table.GetJavaVM = GetJavaVM;
    table.ExceptionCheck = ExceptionCheck;
    table.GetObjectRefType = GetObjectRefType;
    return table;
}

}  // namespace

const JNINativeInterface_* EnvFunctions() {
    static const JNINativeInterface_ table = MakeTable();
    return &table;
}

}  // namespace brisko::fakejvm
