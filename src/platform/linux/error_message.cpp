#include <cstring>

#include "platform/io_error.h"

namespace zek {

std::string ErrorMessage(int code) {
  char text[256];
  return strerror_r(code, text, sizeof text);
}

}  // namespace zek
