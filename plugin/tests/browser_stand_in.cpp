// Copies of this program under browsers' names are the browsers BrowserRunning looks for. It
// waits to be ended, and never outlives a test run.
#include <windows.h>

int main() {
    ::Sleep(120000);
    return 0;
}
