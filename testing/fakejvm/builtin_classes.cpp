// The classes of the Java library that natbridge and the runner touch: strings, class objects,
// the throwables that JNI raises, and java/util's HashMap and Set.
#include <algorithm>

#include "internal.h"

namespace brisko::fakejvm {
namespace {

constexpr const char* kObject = "Ljava/lang/Object;";

void DefineThrowables(Jvm& jvm) {
    jvm.defineClass("java/lang/Throwable")
        .method("<init>", "()V", [](Call&) { return Value{}; })
        .method("<init>", "(Ljava/lang/String;)V",
                [](Call& call) {
                    call.self()->text = call.string(0);
                    return Value{};
                })
        .method("getMessage", "()Ljava/lang/String;", [](Call& call) {
            const auto& text = call.self()->text;
            return Value::reference(text ? call.jvm().newString(*text) : nullptr);
        });
    const std::pair<const char*, const char*> hierarchy[] = {
        {"java/lang/Exception", "java/lang/Throwable"},
        {"java/lang/Error", "java/lang/Throwable"},
        {"java/lang/RuntimeException", "java/lang/Exception"},
        {"java/lang/IllegalArgumentException", "java/lang/RuntimeException"},
        {"java/lang/NullPointerException", "java/lang/RuntimeException"},
        {"java/lang/IndexOutOfBoundsException", "java/lang/RuntimeException"},
        {"java/lang/StringIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
        {"java/lang/ReflectiveOperationException", "java/lang/Exception"},
        {"java/lang/ClassNotFoundException", "java/lang/ReflectiveOperationException"},
        {"java/lang/InstantiationException", "java/lang/ReflectiveOperationException"},
        {"java/lang/LinkageError", "java/lang/Error"},
        {"java/lang/NoClassDefFoundError", "java/lang/LinkageError"},
        {"java/lang/IncompatibleClassChangeError", "java/lang/LinkageError"},
        {"java/lang/NoSuchMethodError", "java/lang/IncompatibleClassChangeError"},
        {"java/lang/VirtualMachineError", "java/lang/Error"},
        {"java/lang/OutOfMemoryError", "java/lang/VirtualMachineError"},
        {"java/lang/NoSuchFieldError", "java/lang/IncompatibleClassChangeError"},
        {"java/lang/UnsatisfiedLinkError", "java/lang/LinkageError"},
        {"java/lang/IllegalStateException", "java/lang/RuntimeException"},
        {"java/lang/ArrayIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
        {"java/lang/NegativeArraySizeException", "java/lang/RuntimeException"},
        {"java/io/IOException", "java/lang/Exception"},
        {"java/io/FileNotFoundException", "java/io/IOException"},
    };
    for (const auto& [name, super] : hierarchy) jvm.defineClass(name, super);
}

auto FindEntry(Object& map, const ObjectPtr& key) {
    return std::find_if(map.entries.begin(), map.entries.end(),
                        [&](const auto& entry) { return JavaEquals(entry.first, key); });
}

void DefineCollections(Jvm& jvm) {
    const std::string put = std::string("(") + kObject + kObject + ")" + kObject;
    const std::string get = std::string("(") + kObject + ")" + kObject;
    const std::string test = std::string("(") + kObject + ")Z";
    jvm.defineClass("java/util/Map")
        .method("put", put,
                [](Call& call) {
                    Object& map = *call.self();
                    if (auto it = FindEntry(map, call.object(0)); it != map.entries.end())
                        return Value::reference(std::exchange(it->second, call.object(1)));
                    map.entries.emplace_back(call.object(0), call.object(1));
                    return Value::reference(nullptr);
                })
        .method("get", get,
                [](Call& call) {
                    Object& map = *call.self();
                    const auto it = FindEntry(map, call.object(0));
                    return Value::reference(it == map.entries.end() ? nullptr : it->second);
                })
        .method("containsKey", test,
                [](Call& call) {
                    Object& map = *call.self();
                    return Value::boolean(FindEntry(map, call.object(0)) != map.entries.end());
                })
        .method("size", "()I", [](Call& call) {
            return Value::integer(static_cast<jint>(call.self()->entries.size()));
        });
    jvm.defineClass("java/util/HashMap", "java/util/Map").method("<init>", "()V", [](Call&) { return Value{}; });

    jvm.defineClass("java/util/Set")
        .method("add", test,
                [](Call& call) {
                    auto& elements = call.self()->elements;
                    const bool present = std::any_of(elements.begin(), elements.end(),
                                                     [&](const ObjectPtr& e) { return JavaEquals(e, call.object(0)); });
                    if (!present) elements.push_back(call.object(0));
                    return Value::boolean(!present);
                })
        .method("contains", test,
                [](Call& call) {
                    const auto& elements = call.self()->elements;
                    return Value::boolean(std::any_of(elements.begin(), elements.end(), [&](const ObjectPtr& e) {
                        return JavaEquals(e, call.object(0));
                    }));
                })
        .method("size", "()I", [](Call& call) {
            return Value::integer(static_cast<jint>(call.self()->elements.size()));
        });
    jvm.defineClass("java/util/HashSet", "java/util/Set").method("<init>", "()V", [](Call&) { return Value{}; });
}

}  // namespace

void DefineBuiltinClasses(Jvm& jvm) {
    jvm.defineClass("java/lang/Object", "").method("<init>", "()V", [](Call&) { return Value{}; });
    jvm.defineClass("java/lang/Class");
    jvm.defineClass("java/lang/String");
    DefineThrowables(jvm);
    DefineCollections(jvm);
}

}  // namespace brisko::fakejvm
