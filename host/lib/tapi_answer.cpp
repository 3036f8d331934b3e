#include "host/lib/tapi_answer.h"

#include <algorithm>

#include "platform/text.h"

namespace qrvn::host {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Splits the part's bytes into texts at zero characters (units of 2 bytes for UTF-16).
std::vector<std::string> Texts(std::span<const uint8_t> bytes, DWORD stringFormat) {
  std::vector<std::string> texts;
  if (stringFormat == STRINGFORMAT_UNICODE) {
    std::u16string current;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      char16_t unit = 0;
      std::memcpy(&unit, bytes.data() + i, sizeof unit);
      if (unit == 0) {
        texts.push_back(Utf16ToUtf8(current));
        current.clear();
      } else {
        current += unit;
      }
    }
    if (!current.empty()) texts.push_back(Utf16ToUtf8(current));
    return texts;
  }
  std::string current;
  auto flush = [&] {
    std::string utf8;
    // ANSI and DBCS texts are in the system code page; a text that does not convert is shown
    // with its bytes as they are.
    texts.push_back(platform::AnsiToUtf8(current, utf8) ? utf8 : current);
    current.clear();
  };
  for (uint8_t byte : bytes) {
    if (byte == 0) {
      flush();
    } else {
      current += static_cast<char>(byte);
    }
  }
  if (!current.empty()) flush();
  return texts;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

TapiAnswer::TapiAnswer(std::span<const uint8_t> buffer) : buffer_(buffer) {
  DWORD used = 0;
  if (buffer.size() >= 3 * sizeof(DWORD)) std::memcpy(&used, buffer.data() + 8, sizeof used);
  used_ = std::min<size_t>(used, buffer.size());
}

std::optional<std::span<const uint8_t>> TapiAnswer::Part(DWORD size, DWORD offset) const {
  if (size == 0) return std::span<const uint8_t>{};
  if (offset > used_ || size > used_ - offset) return std::nullopt;
  return buffer_.subspan(offset, size);
}

std::optional<std::string> TapiAnswer::Text(DWORD size, DWORD offset, DWORD stringFormat) const {
  std::optional<std::span<const uint8_t>> bytes = Part(size, offset);
  if (!bytes) return std::nullopt;
  std::vector<std::string> texts = Texts(*bytes, stringFormat);
  return texts.empty() ? std::string() : texts.front();
}

std::optional<std::vector<std::string>> TapiAnswer::TextList(DWORD size, DWORD offset,
                                                             DWORD stringFormat) const {
  std::optional<std::span<const uint8_t>> bytes = Part(size, offset);
  if (!bytes) return std::nullopt;
  std::vector<std::string> texts = Texts(*bytes, stringFormat);
  std::erase(texts, std::string());  // the list ends with an empty text
  return texts;
}

std::optional<std::vector<DWORD>> TapiAnswer::Words(DWORD size, DWORD offset) const {
  std::optional<std::span<const uint8_t>> bytes = Part(size, offset);
  if (!bytes) return std::nullopt;
  std::vector<DWORD> words(bytes->size() / sizeof(DWORD));
  if (!words.empty()) std::memcpy(words.data(), bytes->data(), words.size() * sizeof(DWORD));
  return words;
}

}  // namespace qrvn::host
