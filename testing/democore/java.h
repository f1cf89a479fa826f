#pragma once
// The few Java operations the demo core makes through JNI.
#include <jni.h>

#include <optional>
#include <string>

namespace brisko::democore {

// The text of a Java string; none for null.
std::optional<std::wstring> JavaText(JNIEnv* env, jobject string);
jstring NewJavaString(JNIEnv* env, const std::wstring& text);
// Takes the pending exception's message for a log line and leaves the exception pending.
std::string PendingMessage(JNIEnv* env);
void Throw(JNIEnv* env, const char* className, const std::string& message);
// System.loadLibrary(name); false with the exception pending when it failed.
bool LoadLibrary(JNIEnv* env, const wchar_t* name);
// System.out.println(text).
void PrintLine(JNIEnv* env, const std::wstring& text);

}  // namespace brisko::democore
