#pragma once
// What one call may put into the service. Every report comes from a process that the child can
// drive or imitate, so nothing in a request may make the service's memory or work grow without
// bound: longer texts and larger arrays refuse the whole call, and nothing of it is recorded.
#include <cstddef>

namespace brisko {

// The longest application identifier or name, in UTF-16 units without the terminating NUL.
inline constexpr size_t kMaxReportTextLength = 1024;

// True for a null text (the registry takes it as empty) and for one within the limit; reads at
// most one unit past the limit.
bool IsReportTextWithinLimit(const wchar_t* text);

// False for a text with a control, format or bidirectional character (or a lone half of a
// surrogate pair): the agent leaves them out of every name, and in the core's log or on the
// parents' screen they could only mislead.
bool IsReportTextPrintable(const wchar_t* text);

// The check of an OpenApplicationList request before its stub unmarshals anything: `count` must
// equal the size of the array on the wire (its conformance), and a list can take no more than
// kMaxUserProcesses entries. The request starts with three 32-bit values: the binding handle's
// (the stubs carry the explicit handle as a long), count, and the array's size. Answers RPC_S_OK,
// RPC_X_BAD_STUB_DATA (too short, or count and array disagree) or RPC_X_INVALID_BOUND (too many).
long CheckOpenRequest(const unsigned char* data, unsigned long length, unsigned long dataRepresentation);

}  // namespace brisko
