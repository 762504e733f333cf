#pragma once

#include <optional>
#include <string_view>

// Reading a number from a record line. Only ASCII characters take part in a number, so these
// work on the bytes of any ASCII-compatible encoding (UTF-8, a Windows code page).
namespace record::core {

// The leading number of `text`: spaces, tabs and line feeds are skipped wherever they occur; an
// optional sign, then digits with an optional decimal point and exponent (E or D), or &H / &O with
// hexadecimal / octal digits. Reading stops at the first character that cannot continue the
// number; no number reads 0. Never fails.
double lenientValue(std::string_view text);

// The whole text as one number of the same forms, leading spaces allowed; nullopt otherwise.
std::optional<double> strictValue(std::string_view text);

// A score exactly as the score label shows it (an optional space, an optional minus, one to five
// digits, within -32768 to 32767); nullopt for anything else.
std::optional<double> scoreValue(std::string_view text);

} // namespace record::core
