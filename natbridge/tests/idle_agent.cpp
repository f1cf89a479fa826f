// Stands in for an agent (or an application) that keeps running until it is ended.
#include <windows.h>

int main() {
    ::Sleep(INFINITE);
    return 0;
}
