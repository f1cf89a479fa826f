#pragma once
// The command line a child process is started with, written so that the child's C runtime (and
// CommandLineToArgvW) reads back exactly the arguments it was given. Pure text work with no
// system calls, so that it also builds for the host.
#include <string>
#include <vector>

// One argument as it appears on a command line: unchanged when it holds no blank and no double
// quote; otherwise between double quotes, each quote escaped with a backslash and every run of
// backslashes before a quote (or before the closing quote) doubled. An empty argument is "".
std::wstring quoteCommandLineArgument(const std::wstring& argument);

// The program, then each argument after a single space. The program name is read back by other
// rules (up to the next blank, or between quotes, with no escapes): it is put in double quotes
// when it is empty or holds a blank. A Windows file name never holds a double quote.
std::wstring buildCommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments);
