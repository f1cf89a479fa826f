#pragma once
// Java strings and native strings are both UTF-16: conversion is a copy.
#include <jni.h>

#include <string>

namespace brisko {

// A null Java string gives an empty string.
std::wstring ToWideString(JNIEnv* env, jstring string);
// A null pointer gives a null Java string.
jstring ToJavaString(JNIEnv* env, const wchar_t* string);
jstring ToJavaString(JNIEnv* env, const wchar_t* string, size_t length);

}  // namespace brisko
