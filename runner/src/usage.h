#pragma once
// The texts the help and version commands write to standard output.

void printUsage(const wchar_t* exeName);
void printVersion();
