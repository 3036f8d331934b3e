// The PBX character map: bytes 0x20..0x7F are ASCII, 62 bytes above stand for accented,
// Greek and Cyrillic capitals and a few signs; everything else is shown as a blank.
#include "provider/queries/pbx_charmap.h"

#include <string>

#include "platform/text.h"

namespace qrvn::provider {
namespace {

struct MapEntry {
  uint8_t pbx;
  char16_t unicode;
};

constexpr MapEntry kMap[] = {
    {0x80, u'\u00D6'}, {0x81, u'\u00D3'}, {0x82, u'\u00D2'}, {0x83, u'\u00D4'}, {0x84, u'\u00D5'},
    {0x85, u'\u0152'}, {0x86, u'\u00DC'}, {0x87, u'\u00DA'}, {0x88, u'\u00D9'}, {0x89, u'\u00DB'},
    {0x8A, u'\u00D8'}, {0x8B, u'\u0393'}, {0x8C, u'\u039B'}, {0x8D, u'\u03A0'}, {0x8E, u'\u03A6'},
    {0x8F, u'\u03A8'}, {0x90, u'\u0394'}, {0x91, u'\u0398'}, {0x92, u'\u039E'}, {0x93, u'\u03A3'},
    {0x94, u'\u03A9'}, {0x95, u'\u03A5'}, {0x96, u'\u0411'}, {0x97, u'\u0414'}, {0x98, u'\u0416'},
    {0x99, u'\u0417'}, {0x9A, u'\u0418'}, {0x9B, u'\u0419'}, {0x9C, u'\u041B'}, {0x9D, u'\u041F'},
    {0x9E, u'\u0423'}, {0x9F, u'\u0426'}, {0xA0, u'\u0427'}, {0xD0, u'\u00C5'}, {0xD1, u'\u00C4'},
    {0xD2, u'\u00C1'}, {0xD3, u'\u00C0'}, {0xD4, u'\u00C2'}, {0xD5, u'\u00C3'}, {0xD6, u'\u00C6'},
    {0xD7, u'\u00C7'}, {0xD8, u'\u00CB'}, {0xD9, u'\u00C9'}, {0xDA, u'\u00C8'}, {0xDB, u'\u00CA'},
    {0xDC, u'\u00CF'}, {0xDD, u'\u00CD'}, {0xDE, u'\u00CC'}, {0xDF, u'\u00CE'}, {0xE0, u'\u03B1'},
    {0xE1, u'\u00E4'}, {0xE2, u'\u00DF'}, {0xE3, u'\u03B5'}, {0xE4, u'\u03BC'}, {0xE5, u'\u03C3'},
    {0xE6, u'\u0428'}, {0xE7, u'\u0429'}, {0xEC, u'\u00A2'}, {0xED, u'\u00A3'}, {0xEE, u'\u00F1'},
    {0xEF, u'\u00F6'}, {0xF5, u'\u00FC'},
};
static_assert(sizeof(kMap) / sizeof(kMap[0]) == 62);

}  // namespace

char16_t PbxByteToUnicode(uint8_t byte) {
  for (const MapEntry& entry : kMap) {
    if (entry.pbx == byte) return entry.unicode;
  }
  return 0;
}

uint8_t UnicodeToPbxByte(char16_t character) {
  for (const MapEntry& entry : kMap) {
    if (entry.unicode == character) return entry.pbx;
  }
  return 0;
}

void PbxToAnsi(char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<uint8_t>(text[i]);
    if (byte < 0x20) {
      text[i] = ' ';
    } else if (byte >= 0x80) {
      char16_t unicode = PbxByteToUnicode(byte);
      std::string ansi;
      bool converted = unicode != 0 &&
                       platform::Utf16ToAnsi(std::u16string_view(&unicode, 1), ansi) &&
                       ansi.size() == 1;
      text[i] = converted ? ansi[0] : ' ';
    }
  }
}

void AnsiToPbx(char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<uint8_t>(text[i]);
    if (byte < 0x20) {
      text[i] = ' ';
    } else if (byte >= 0x80) {
      std::u16string unicode;
      uint8_t pbx = 0;
      if (platform::AnsiToUtf16(std::string_view(&text[i], 1), unicode) && unicode.size() == 1) {
        pbx = UnicodeToPbxByte(unicode[0]);
      }
      text[i] = pbx != 0 ? static_cast<char>(pbx) : ' ';
    }
  }
}

}  // namespace qrvn::provider
