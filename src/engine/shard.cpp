#include "engine/shard.h"

#include <charconv>

#include "engine/path_rules.h"

namespace zek {

uint64_t ShardHash(std::string_view relativePath) {
  const char delimiter = PathDelimiter();
  uint64_t hash = 14695981039346656037ULL;
  for (const char c : relativePath) {
    hash ^= static_cast<unsigned char>(c == delimiter ? '/' : c);
    hash *= 1099511628211ULL;
  }
  return hash;
}

bool InShard(std::string_view relativePath, const Shard& shard) {
  return shard.Whole() || ShardHash(relativePath) % shard.N + 1 == shard.K;
}

std::optional<Shard> ParseShard(std::string_view text) {
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const auto number = [](std::string_view digits) -> std::optional<uint32_t> {
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
  };
  const std::optional<uint32_t> k = number(text.substr(0, slash));
  const std::optional<uint32_t> n = number(text.substr(slash + 1));
  if (!k || !n || *k < 1 || *k > *n) return std::nullopt;
  return Shard{*k, *n};
}

}  // namespace zek
