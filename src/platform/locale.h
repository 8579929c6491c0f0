#pragma once
// The user's number format, as far as the byte total shows it.
namespace zek {

// The thousands separator of the user's locale, looked up once. A locale
// without one still gets the English comma.
char ThousandsSeparator();

}  // namespace zek
