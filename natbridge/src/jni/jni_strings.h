#pragma once
// Java strings and native strings are both UTF-16: conversion is a copy.
#include <jni.h>

#include <optional>
#include <string>

namespace brisko {

// A null Java string gives an empty string.
std::wstring ToWideString(JNIEnv* env, jstring string);
// The string in Java's modified UTF-8, as GetStringUTFRegion gives it; none for a null string or
// one of more than maxBytes bytes.
std::optional<std::string> ToModifiedUtf8(JNIEnv* env, jstring string, size_t maxBytes);
// A null pointer gives a null Java string.
jstring ToJavaString(JNIEnv* env, const wchar_t* string);
jstring ToJavaString(JNIEnv* env, const wchar_t* string, size_t length);

}  // namespace brisko
