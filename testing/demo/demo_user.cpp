// The person at the fake desktop in the demo: starts two applications, opens a window of each
// on the fake-desktop agent's desktop and says what became of them. The core refuses
// notepad.exe and allows MyApp.EXE (the demo's start parameters), so notepad.exe is ended by the
// service and MyApp.EXE keeps running until its window closes. Ends the applications it
// started when it ends. Answers 0 when everything went as the core decided.
#include <windows.h>

#include <cstdio>
#include <string>

#include "desktop_session.h"

namespace {

using namespace brisko::testing;

int fail(const char* why) {
    std::printf("demo: %s\n", why);
    return 1;
}

void say(const char* text) {
    std::printf("demo: %s\n", text);
    std::fflush(stdout);
}

}  // namespace

int main() {
    const KillOnCloseJob job;
    Application refused = StartApplication(job, L"notepad.exe");
    Application allowed = StartApplication(job, L"MyApp.EXE");
    if (!refused.process || !allowed.process) return fail("the applications did not start");
    say("started notepad.exe and MyApp.EXE; waiting for the agent's desktop");
    DesktopControl desktop;
    if (!desktop.connect()) return fail("the agent's desktop never came up");
    say("the agent is up; notepad.exe opens a window");
    if (desktop.send("open 1 pid=" + std::to_string(refused.processId)) != "ok") return fail("the desktop refused");
    if (!Ended(refused.process, 30000)) return fail("notepad.exe still runs: the refusal was not carried out");
    say("notepad.exe was ended by the service: the core refused it");
    say("MyApp.EXE opens a window");
    if (desktop.send("open 2 pid=" + std::to_string(allowed.processId)) != "ok") return fail("the desktop refused");
    ::Sleep(3000);
    if (Ended(allowed.process, 0)) return fail("MyApp.EXE was ended although the core allows it");
    say("MyApp.EXE still runs three seconds later: the core allowed it; its window closes");
    if (desktop.send("close 2") != "ok") return fail("the desktop refused");
    ::Sleep(2000);
    return 0;
}
