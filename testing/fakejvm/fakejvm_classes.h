#ifndef FAKEJVM_CLASSES_H
#define FAKEJVM_CLASSES_H
/*
 * How a class library puts its classes into the test JVM (jvm.dll).
 *
 * A class library is a DLL named on the class path (-Djava.class.path=...;core.dll;...). The
 * VM loads each one while it is created and calls its JNI_OnLoad on the creating thread; there
 * the library asks GetEnv for this interface with FAKEJVM_CLASSES_VERSION and defines its
 * classes. Everything else the library does goes through plain JNI, so nothing but this table
 * crosses between the VM's code and the library's.
 *
 * A method body runs on the calling Java thread inside a local reference frame of its own:
 * `self` is the object (the class for a static method), `args` one jvalue per argument of the
 * signature, objects as local references. An exception left pending is thrown to the caller.
 */
#include <jni.h>

/* Not a JNI version: GetEnv answers the class registry for it. */
#define FAKEJVM_CLASSES_VERSION 0x46414B45

typedef jvalue(JNICALL* FakeJvmMethodBody)(JNIEnv* env, jobject self, const jvalue* args, void* context);

typedef struct FakeJvmClasses_ FakeJvmClasses;
struct FakeJvmClasses_ {
    /* Defines (or replaces) a class; a null superclass means java/lang/Object. JNI_OK or JNI_EINVAL. */
    jint(JNICALL* DefineClass)(FakeJvmClasses* classes, const char* name, const char* superclass);
    /* Adds a method to a defined class; JNI_EINVAL for an unknown class or a malformed signature. */
    jint(JNICALL* DefineMethod)(FakeJvmClasses* classes, const char* className, const char* name,
                                const char* signature, jboolean isStatic, FakeJvmMethodBody body, void* context);
    /* The native function of a Java method as the VM binds it: the JNI export of the class and
       method (stdcall-decorated where Windows decorates) in a library loaded with
       System.loadLibrary; null when none has it. */
    void*(JNICALL* FindNative)(FakeJvmClasses* classes, const char* className, const char* name,
                               const char* signature);
};

#endif
