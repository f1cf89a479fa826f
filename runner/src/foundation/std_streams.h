#pragma once
// Sends the process's standard output and error into files, where a worker's output ends up.
#include <windows.h>

// The files standard output and error were sent to, or null for a stream left alone.
struct StandardStreamFiles {
    const wchar_t* output;
    const wchar_t* error;
};
extern StandardStreamFiles RedirectedStreams;

// A setting of "auto" names a dated file after the service in the log directory; any other
// non-empty setting names the file itself, which is emptied first. Without a console the
// process gets a hidden one.
void redirectStandardStreams(const wchar_t* logDirectory, const wchar_t* stdOutput, const wchar_t* stdError,
                             const wchar_t* serviceName);
