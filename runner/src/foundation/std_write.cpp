#include "foundation/std_write.h"

void writeStandardStream(DWORD standardId, const void* bytes, DWORD count) {
    const HANDLE stream = ::GetStdHandle(standardId);
    DWORD written = 0;
    if (stream && stream != INVALID_HANDLE_VALUE) ::WriteFile(stream, bytes, count, &written, nullptr);
}
