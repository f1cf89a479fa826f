#include "program.h"

int wmain(int argc, wchar_t** argv) { return runProgram(argc, argv); }
