// Stand-in for <shellapi.h>: the notification-area record is only named, never built, on the host.
#pragma once
#include <windows.h>

struct NOTIFYICONDATAW;
