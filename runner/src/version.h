#pragma once
// The runner's version, shared by the program and its version resource.
#define RUNNER_VERSION_MAJOR 1
#define RUNNER_VERSION_MINOR 0
#define RUNNER_VERSION_PATCH 0
#define RUNNER_VERSION_BUILD 0
#define RUNNER_VERSION_STRING "1.0.0.0"
