#pragma once

#include <QString>
#include <array>

// The recognition plug-in's table of English language names and their
// trained-data codes, in its fixed order.
struct TLanguageCode {
  const char *Name;
  const char *Code;
};
inline constexpr int LanguageCodeCount = 64;
const std::array<TLanguageCode, LanguageCodeCount> &LanguageCodeTable();

// The code of the first row whose name equals `name` with only the letters
// a-z and A-Z compared without regard to case (every other character must be
// equal). The empty string for an empty name or when no row matches.
QString LanguageCode(const QString &name);
