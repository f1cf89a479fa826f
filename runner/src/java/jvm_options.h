#pragma once
// The option list a new virtual machine is created with.
#include <windows.h>

#include <string>
#include <vector>

struct JavaWorkerParams;

struct JvmOption {
    std::string text;
    void* extraInfo;
};

// Double quotes are removed unless a space lies between the first one and the next: a quoted
// value with spaces is passed as it is.
std::string stripOptionQuotes(const char* option);
// "-Djava.class.path=" and the elements; an element ending in "*" becomes the jar files of its
// directory. FALSE when such a directory cannot be listed.
BOOL buildClassPathOption(const char* classPath, std::string* option);
// The configured options, the class path, the hooks, then the heap and stack sizes.
BOOL buildJvmOptions(const JavaWorkerParams* params, std::vector<JvmOption>* options);
