// Which back end of the file services is in use: the system's own unless a
// test has put another in place.
#include "platform/file_access.h"

namespace zek {
namespace {

FileAccess* g_current = nullptr;

}  // namespace

FileAccess& Files() {
  static FileAccess system;
  return g_current != nullptr ? *g_current : system;
}

ScopedFileAccess::ScopedFileAccess(FileAccess& replacement) : previous_(g_current) { g_current = &replacement; }

ScopedFileAccess::~ScopedFileAccess() { g_current = previous_; }

}  // namespace zek
