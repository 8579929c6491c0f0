// On Windows the cache manager reads ahead by itself for a file opened for
// sequential reading, as every compared file is: nothing to add here.
#include "platform/read_ahead.h"

namespace zek {

struct ReadAhead::Shared {};

ReadAhead::ReadAhead(const ReadAheadPlan&) {}

ReadAhead::~ReadAhead() = default;

void ReadAhead::Reached(int64_t) {}

bool ReadAhead::TakeFetchedFromDisk(FileHandle) { return false; }

// Windows has no call that drops one file's cached pages; only an open without
// buffering reads past the cache.
void DropCachedPages(FileHandle) {}

bool CanDropCachedPages() { return false; }

}  // namespace zek
