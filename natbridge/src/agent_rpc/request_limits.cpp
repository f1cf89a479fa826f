#include "agent_rpc/request_limits.h"

#include <rpc.h>
#include <rpcndr.h>

#include <cstdint>
#include <wchar.h>

#include "applications/user_applications.h"
#include "identification/application_naming.h"

namespace brisko {
namespace {

uint32_t ReadUnsigned32(const unsigned char* bytes, bool littleEndian) {
    const auto b = [&](int i) { return static_cast<uint32_t>(bytes[i]); };
    return littleEndian ? b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24 : b(3) | b(2) << 8 | b(1) << 16 | b(0) << 24;
}

}  // namespace

bool IsReportTextWithinLimit(const wchar_t* text) {
    return !text || ::wcsnlen(text, kMaxReportTextLength + 1) <= kMaxReportTextLength;
}

bool IsReportTextPrintable(const wchar_t* text) { return !text || !hasUnprintable(text); }

long CheckOpenRequest(const unsigned char* data, unsigned long length, unsigned long dataRepresentation) {
    if (!data || length < 12) return RPC_X_BAD_STUB_DATA;
    const bool littleEndian = (dataRepresentation & NDR_INT_REP_MASK) == NDR_LITTLE_ENDIAN;
    const uint32_t count = ReadUnsigned32(data + 4, littleEndian);
    const uint32_t arraySize = ReadUnsigned32(data + 8, littleEndian);
    if (count != arraySize) return RPC_X_BAD_STUB_DATA;
    // A negative count reads as a huge size here.
    if (count > kMaxUserProcesses) return RPC_X_INVALID_BOUND;
    return RPC_S_OK;
}

}  // namespace brisko
