// Program entry: the one window and its message loop (window/Program.h).

#include "window/Program.h"

int main(int argc, char** argv) { return morvane::RunProgram(argc, argv); }
