#pragma once
// Bytes to the process's standard output or error, wherever they point now.
#include <windows.h>

// The runtime's streams are not used: a process started without standard handles (a service)
// has streams bound to nothing, and redirection replaces the handles.
void writeStandardStream(DWORD standardId, const void* bytes, DWORD count);
