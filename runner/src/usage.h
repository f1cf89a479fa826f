#pragma once
// The texts the help and version commands write to standard error.

void printUsage(const wchar_t* exeName);
void printVersion();
