// The runner's pool and log as plain doubles for its fuzz targets, and the module path the
// stand-in of GetModuleFileNameW answers.
#pragma once
#include <string>

// Frees every block the pool double handed out since the last call.
void releaseFuzzPool();

// What GetModuleFileNameW answers from now on.
void setFuzzModulePath(std::wstring path);
