#pragma once
// Code that is loaded only when it is needed: the windows and the libraries
// they bring are loaded by the program that shows them, never by batch mode.
#include <string>

namespace zek {

// The directory that holds the running program, or "" where it cannot be told.
std::string ProgramDirectory();

// Loads the shared module at path and looks up the named function in it: the
// function, or nullptr with why in error. A loaded module stays loaded.
void* LoadModuleFunction(const std::string& path, const char* name, std::string& error);

}  // namespace zek
