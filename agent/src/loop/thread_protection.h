#pragma once
// Who may touch the agent's threads: as with its process, the agent's own user (and anyone else
// but SYSTEM) may only wait for a thread and ask about it (common/agent_security.h), so no thread
// can be suspended, ended, steered or given another descriptor by the child. The threads the
// agent starts are made with the descriptor; every other thread of the process (those the
// system's libraries start for COM, RPC or a thread pool) gets it when it attaches, before its
// own code runs; the main thread gets it when the agent starts.
#include <windows.h>

#include <functional>

#include "unique_handle.h"

namespace brisko {

// Main thread, before any other thread starts: makes the descriptor for the process's user and
// gives it to this thread and to every thread from now on. False when the descriptor cannot be
// made or given; the threads are then as the system makes them.
bool protectAgentThreads();

// For the calls that make threads: the descriptor, or null while there is none.
SECURITY_ATTRIBUTES* agentThreadAttributes();

// Runs body on a new thread made with the descriptor; null when no thread could be made.
UniqueHandle startAgentThread(std::function<void()> body);

}  // namespace brisko
