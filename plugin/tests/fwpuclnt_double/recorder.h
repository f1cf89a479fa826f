#pragma once
// The control side of the recording FWPUCLNT.DLL double. Tests find these functions in the
// loaded double (GetModuleHandle + GetProcAddress) by the names below.
#include <windows.h>

namespace brisko::testing {

// Every call to the nine engine functions since the last reset, one line each, in call order.
using RecordedCallsFunction = const char*(__cdecl*)();
inline constexpr char kRecordedCalls[] = "RecordedCalls";

// The objects the fake engine holds after its committed transactions, one line each: the
// providers ("provider {KEY}"), then the filters ("filter {KEY} port N"), each sorted by key.
using EngineContentsFunction = const char*(__cdecl*)();
inline constexpr char kEngineContents[] = "EngineContents";

// Forgets the records, the engine's objects and any planned failure.
using ResetDoubleFunction = void(__cdecl*)();
inline constexpr char kResetDouble[] = "ResetDouble";

// Forgets the records and the planned failure and numbers engine handles from 1 again; the
// engine's objects stay.
using ForgetCallsFunction = void(__cdecl*)();
inline constexpr char kForgetCalls[] = "ForgetCalls";

// Makes the occurrence-th call (from 1) of the named entry point fail with result, doing nothing else.
using FailCallFunction = void(__cdecl*)(const char* entryPoint, unsigned occurrence, DWORD result);
inline constexpr char kFailCall[] = "FailCall";

}  // namespace brisko::testing
