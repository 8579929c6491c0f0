#pragma once
#include <string>

namespace zek {

// True if the name names an existing file (not a directory), or a file of that
// name can be created; the trial file is removed again. The trial file is only
// created where nothing of that name exists, so nothing of the user's is ever
// truncated or erased. Never raises.
bool ProbeFileName(const std::string& name);

}  // namespace zek
