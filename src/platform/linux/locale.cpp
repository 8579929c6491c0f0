#include "platform/locale.h"

#include <exception>
#include <locale>

namespace zek {

char ThousandsSeparator() {
  static const char separator = [] {
    try {
      const std::locale user("");
      const auto& punct = std::use_facet<std::numpunct<char>>(user);
      // A locale without grouping (the plain "C" one) still gets the English comma.
      return punct.grouping().empty() ? ',' : punct.thousands_sep();
    } catch (const std::exception&) {
      return ',';  // no usable locale in the environment
    }
  }();
  return separator;
}

}  // namespace zek
