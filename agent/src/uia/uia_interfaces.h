#pragma once
// The UI Automation client interfaces, generated at build time by widl from Wine's IDL (the
// cross toolchain's own headers have none in usable form), and the constants the monitor uses.
#include <windows.h>
#include <ole2.h>

// Types of newer element interfaces that the IDL names without declaring them.
typedef int LANDMARKTYPEID;
typedef int METADATAID;
typedef int HEADINGLEVELID;

#include <uiautomationclient.h>

#include "variant.h"

namespace brisko::UIA {

// {FF48DBA4-60EF-4201-AA87-54103EEF594E}
inline constexpr CLSID kCUIAutomation = {0xff48dba4, 0x60ef, 0x4201, {0xaa, 0x87, 0x54, 0x10, 0x3e, 0xef, 0x59, 0x4e}};

inline constexpr PROPERTYID kProcessIdProperty = 30002;
inline constexpr PROPERTYID kControlTypeProperty = 30003;
inline constexpr PROPERTYID kClassNameProperty = 30012;
inline constexpr PROPERTYID kWindowVisualStateProperty = 30075;
inline constexpr int kWindowControlType = 50032;
inline constexpr EVENTID kWindowOpenedEvent = 20016;
inline constexpr EVENTID kWindowClosedEvent = 20017;
inline constexpr int kVisualStateMinimized = 2;
inline constexpr wchar_t kApplicationFrameClass[] = L"ApplicationFrameWindow";

}  // namespace brisko::UIA
