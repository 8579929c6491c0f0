#pragma once
// Splitting one verification over many processes: a file belongs to shard K
// of N by a hash of its path relative to the source directory. The hash is
// FNV-1a, 64 bits, over the path's bytes with "/" between its parts (on
// Windows too), so every machine and every build puts a file in the same
// shard: shard = hash % N + 1.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zek {

struct Shard {
  uint32_t K = 1;
  uint32_t N = 1;
  bool Whole() const { return N == 1; }
};

uint64_t ShardHash(std::string_view relativePath);
bool InShard(std::string_view relativePath, const Shard& shard);
// "K/N" with 1 <= K <= N; nothing for any other text.
std::optional<Shard> ParseShard(std::string_view text);

}  // namespace zek
