#include "platform/locale.h"

#include <windows.h>

namespace zek {

// The separator the user chose in the regional settings, in the ANSI code
// page (a no-break space in some of them).
char ThousandsSeparator() {
  static const char separator = [] {
    char text[8] = {};
    return GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, text, sizeof text) > 1 ? text[0] : ',';
  }();
  return separator;
}

}  // namespace zek
