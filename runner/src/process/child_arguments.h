#pragma once
// The arguments of a child process, worked out without starting anything.
#include <windows.h>

#include <string>
#include <vector>

// java.exe's arguments: the JVM options, the heap and stack sizes, the class path as stored,
// the class, then the parameters. Lists are packed (entries ended by NUL, then one more NUL).
std::vector<std::wstring> buildJavaArguments(const wchar_t* className, const wchar_t* jvmOptions, LONG initialHeapMb,
                                             LONG maxHeapMb, LONG stackKb, const wchar_t* params,
                                             const wchar_t* classPath);

// The entries of a packed list, for the arguments of an executable.
std::vector<std::wstring> listEntries(const wchar_t* list);
