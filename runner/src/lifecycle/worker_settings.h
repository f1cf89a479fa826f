#pragma once
// How this run starts and stops its worker, worked out from the options once, before the start.
#include <windows.h>

// Sets the start and stop modes; for the java modes finds the Java home and makes its java.exe
// the image; for the jvm mode prepares both Java calls. FALSE (after logging why) when a java
// mode finds no Java home.
BOOL prepareWorkerSettings();
