#include "platform/wildcard.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace zek {
namespace {

enum class Token : char { Literal,
                          Star,
                          StarToLastDot,
                          QuestionMark,
                          DotOrEnd };

struct MaskToken {
  Token Kind;
  char Letter;
};

bool SameLetter(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

void DosForm(std::string_view mask, std::vector<MaskToken>& tokens) {
  tokens.clear();
  for (size_t i = 0; i < mask.size(); ++i) {
    const char next = i + 1 < mask.size() ? mask[i + 1] : '\0';
    const bool last = i + 1 == mask.size();
    switch (mask[i]) {
      case '*':
        tokens.push_back({next == '.' ? Token::StarToLastDot : Token::Star, '*'});
        break;
      case '?':
        tokens.push_back({Token::QuestionMark, '?'});
        break;
      case '.':
        tokens.push_back({last || next == '?' || next == '*' ? Token::DotOrEnd : Token::Literal, '.'});
        break;
      default:
        tokens.push_back({Token::Literal, mask[i]});
    }
  }
}

// The tokens the mask can stand at before name[at], given that it can stand at
// those of `states`: the ones that may match nothing there are passed over.
void PassEmpty(const std::vector<MaskToken>& tokens, std::string_view name, size_t at, std::vector<char>& states) {
  const bool end = at == name.size();
  const bool dot = !end && name[at] == '.';
  for (size_t t = 0; t < tokens.size(); ++t) {
    if (!states[t]) continue;
    const Token kind = tokens[t].Kind;
    if (kind == Token::Star || kind == Token::StarToLastDot || (kind == Token::QuestionMark && (end || dot)) ||
        (kind == Token::DotOrEnd && end))
      states[t + 1] = 1;
  }
}

}  // namespace

// The mask runs as a set of positions over the name, one step a character:
// time is the product of the two lengths at most, whatever the mask holds.
bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*" || mask == "*") return true;
  // Kept between calls: a directory search matches every name against the mask.
  thread_local std::vector<MaskToken> tokens;
  thread_local std::vector<char> states, next;
  DosForm(mask, tokens);
  const size_t lastDot = name.rfind('.');
  states.assign(tokens.size() + 1, 0);
  next.assign(tokens.size() + 1, 0);
  states[0] = 1;
  for (size_t at = 0; at < name.size(); ++at) {
    PassEmpty(tokens, name, at, states);
    std::fill(next.begin(), next.end(), 0);
    bool any = false;
    const char c = name[at];
    for (size_t t = 0; t < tokens.size(); ++t) {
      if (!states[t]) continue;
      const MaskToken& token = tokens[t];
      switch (token.Kind) {
        case Token::Literal:
          if (SameLetter(token.Letter, c)) next[t + 1] = any = true;
          break;
        case Token::Star:
          next[t] = any = true;
          break;
        case Token::StarToLastDot:
          if (at != lastDot) next[t] = any = true;
          break;
        case Token::QuestionMark:
          if (c != '.') next[t + 1] = any = true;
          break;
        case Token::DotOrEnd:
          if (c == '.') next[t + 1] = any = true;
          break;
      }
    }
    if (!any) return false;
    states.swap(next);
  }
  PassEmpty(tokens, name, name.size(), states);
  return states[tokens.size()] != 0;
}

}  // namespace zek
