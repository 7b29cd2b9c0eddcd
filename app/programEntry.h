// The program's entry: the command line, the application, the single instance, the
// main window and its event loop, as main() runs them.
#pragma once

#include <functional>

class TfrmMain;

// Runs the program and returns its exit code. whenShown, when given, is called once the
// window has been shown at start-up (the start-up benchmark waits there for its first
// frame).
int RunProgram(int argc, char* argv[], const std::function<void(TfrmMain&)>& whenShown = {});
