#pragma once

#include <string>

namespace Ondo {

// Conversions between wide strings (UTF-32 on this platform) and UTF-8.
// Both throw std::range_error with a message naming the offending position
// when the input is not a valid encoding (a lone surrogate, an overlong or
// truncated sequence, a code point beyond U+10FFFF).
std::string WideToUtf8(const std::wstring& strWide);
std::wstring Utf8ToWide(const std::string& strUtf8);

// Widens a narrow text character by character with the current locale,
// as the engine does for narrow command lines.
std::wstring WidenWithLocale(const std::string& strNarrow);

} // namespace Ondo
