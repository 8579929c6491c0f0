#pragma once

namespace zek {

// Loads the windows' module, found beside the program or where it is installed,
// and runs the program with its windows; a module that cannot be loaded is
// reported on stderr with exit code 2.
int StartGui(int argc, char** argv);

}  // namespace zek
