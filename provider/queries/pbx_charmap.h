// The PBX's own character set for names and trunk texts, and its conversions to and from the
// system ANSI code page.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qrvn::provider {

// The Unicode character a PBX byte at or above 0x80 stands for, or 0 when it stands for none.
char16_t PbxByteToUnicode(uint8_t byte);
// The PBX byte of a Unicode character at or above U+0080, or 0 when the PBX has none.
uint8_t UnicodeToPbxByte(char16_t character);
// Replaces each byte of a PBX text in place by its ANSI form (a blank when it has none).
void PbxToAnsi(char* text, size_t length);
// Replaces each byte of an ANSI text in place by its PBX form (a blank when it has none).
void AnsiToPbx(char* text, size_t length);

}  // namespace qrvn::provider
