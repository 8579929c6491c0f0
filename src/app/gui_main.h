#pragma once

namespace zek {

// The program with its windows: start-up, the message loop, and the exit code
// of the loop once the main window has closed.
int RunGui(int argc, char** argv);

}  // namespace zek
