// Conversion between the system ANSI code page (QRVN_ANSI_CODEPAGE, CP1252 when unset) and
// UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace qrvn::platform {

// The iconv name of the ANSI code page in use.
std::string AnsiCodePage();
// Converts ANSI text to UTF-16; false (out unchanged) when the text cannot be converted.
bool AnsiToUtf16(std::string_view text, std::u16string& out);
// Converts UTF-16 to ANSI text; false when a character has no ANSI form.
bool Utf16ToAnsi(std::u16string_view text, std::string& out);
// Converts ANSI text to UTF-8 (for logs and terminals); false on failure.
bool AnsiToUtf8(std::string_view text, std::string& out);
// Converts UTF-8 to ANSI text; false when a character has no ANSI form.
bool Utf8ToAnsi(std::string_view text, std::string& out);

}  // namespace qrvn::platform
