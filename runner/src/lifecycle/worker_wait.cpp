#include "java/java_worker.h"
#include "lifecycle/service_main.h"
#include "process/process_handle.h"

DWORD waitHandle(Handle* handle, DWORD timeoutMs, BOOL kill) {
    if (!handle) return WAIT_ABANDONED;
    switch (handle->type) {
    case HANDLE_TYPE_JAVA: return waitJavaWorker(reinterpret_cast<JavaHandle*>(handle), timeoutMs, kill);
    case HANDLE_TYPE_PROCESS: return waitProcess(reinterpret_cast<ProcessHandle*>(handle), timeoutMs, kill);
    default: return WAIT_ABANDONED;
    }
}
