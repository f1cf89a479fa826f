// The window class of the event threads exists while the library is loaded.
#include <windows.h>

#include "jni/jthread.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) brisko::RegisterEventLoopClass();
    if (reason == DLL_PROCESS_DETACH) brisko::UnregisterEventLoopClass();
    return TRUE;
}
