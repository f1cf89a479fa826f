#pragma once
// JNI steps the workers share: clearing a pending exception, static calls chosen by signature,
// and pointing System.out or System.err at a file.
#include <windows.h>

#include <jni.h>

// Describes and clears a pending Java exception; answers whether there was one.
bool clearPendingException(JNIEnv* env);

// Calls a static method of the class; the return type in the signature selects the JNI call.
// FALSE (after logging why) when the method is missing or the signature is not one JNI knows.
BOOL callStaticBySignature(JNIEnv* env, jclass javaClass, const char* name, const char* signature, jvalue* result,
                           ...);

// System.setErr or System.setOut with a PrintStream appending to the file. Failures are logged
// and leave the stream as it was.
void redirectJavaStream(JNIEnv* env, const wchar_t* file, const char* setter);

// A java.lang.String of UTF-16 text, as a local reference.
jstring newJavaString(JNIEnv* env, const wchar_t* text);
