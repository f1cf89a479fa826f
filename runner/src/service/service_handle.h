#pragma once
// A connection to the service control manager and, once opened or created, one service.
#include <windows.h>

#include "foundation/pool.h"
#include "registry/registry.h"

struct ServiceHandle {
    Handle head;
    SC_HANDLE manager;
    SC_HANDLE service;
    wchar_t name[LongestServiceName + 1];
    wchar_t description[1024];
    wchar_t account[256];
    QUERY_SERVICE_CONFIGW* config;
    DWORD startType;
};

enum ServiceOperation { SERVICE_OPERATION_STOP = 1, SERVICE_OPERATION_PAUSE = 2, SERVICE_OPERATION_START = 3 };

ServiceHandle* openServiceManager(DWORD access);
BOOL openService(ServiceHandle* handle, const wchar_t* name, DWORD access);
// Runs as the local system account; "Tcpip" is always among the dependencies.
BOOL createService(ServiceHandle* handle, const wchar_t* name, const wchar_t* displayName, const wchar_t* imagePath,
                   const wchar_t* dependsOn, DWORD serviceType, DWORD startType);
// What a change sets; null and SERVICE_NO_CHANGE leave a setting as it is.
struct ServiceChanges {
    const wchar_t* displayName;
    const wchar_t* description;
    const wchar_t* account;
    const wchar_t* password;
    DWORD serviceType;
    DWORD startType;
    // The dependencies become dependsOn's entries and "Tcpip"; otherwise they stay as they are.
    BOOL replaceDependencies;
    const wchar_t* dependsOn;
};
// Calls the service manager only for what there is to change.
BOOL changeServiceConfig(ServiceHandle* handle, const ServiceChanges& changes);
BOOL setRestartOnFailure(ServiceHandle* handle);
// Sends the request and waits while the service reports progress; answers whether it reached
// the state asked for.
BOOL controlService(ServiceHandle* handle, int operation);
// Stops the service when it runs, deletes it and closes the connection.
BOOL removeService(ServiceHandle* handle);
