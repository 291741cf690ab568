// Text helpers shared by the agent and its tools: decimal numbers, letter case as the Windows
// C runtime folds it, UTF-8 for the tools' output, and the last lines of a log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orbelune {

// Decimal text of a signed or unsigned value, no sign for non-negative values, no padding.
std::u16string DecimalText(long long value);
std::u16string DecimalText(unsigned long long value);

// towlower and towupper of the Windows C runtime in the "C" locale: ASCII letters only, so the
// result is the same on every platform.
char16_t ToLowerUnit(char16_t unit);
char16_t ToUpperUnit(char16_t unit);
std::u16string ToLowerUnits(std::u16string_view text);

// UTF-8 of UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
// The same of wchar_t text, such as the sections' names, each unit taken as a UTF-16 unit.
std::string ToUtf8(std::wstring_view text);

// "0x" and the value in eight upper-case hexadecimal digits.
std::string HexText(std::uint32_t value);

// UTF-16 of UTF-8 text; a byte that does not belong to a well-formed sequence becomes U+FFFD.
std::u16string Utf8ToU16(std::string_view text);

// UTF-16 and UTF-8 of single-byte text, each byte taken as the character of the same value
// (ISO 8859-1), as the log stores its lines.
std::u16string Latin1ToU16(std::string_view text);
std::string Latin1ToUtf8(std::string_view text);

// The last `count` lines of single-byte text whose lines end in CR LF (or a bare LF), without
// their line ends or leading zero bytes; a last line without an end counts too.
std::vector<std::string> LastLines(std::string_view text, size_t count);

}  // namespace orbelune
