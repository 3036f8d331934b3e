// Text conversion between the ANSI code page, UTF-16 and UTF-8 with iconv.
#include "platform/text.h"

#include <iconv.h>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace qrvn::platform {
namespace {

// char16_t strings are in the machine's own byte order.
const char* Utf16Name() {
  return std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
}

// Converts size bytes from one iconv encoding to another; false on any character that is
// invalid in the source or has no form in the target (never a substitute character).
bool Convert(const char* to, const char* from, const char* input, size_t size, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result(size * 4 + 16, '\0');
  char* in = const_cast<char*>(input);
  size_t inLeft = size;
  size_t used = 0;
  bool ok = true;
  bool flushed = false;
  while (ok && !flushed) {
    char* outPtr = result.data() + used;
    size_t outLeft = result.size() - used;
    // Once the input is used up, one more call writes any pending shift sequence.
    bool flushing = inLeft == 0;
    size_t rc = flushing ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft)
                         : iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    int error = errno;
    used = result.size() - outLeft;
    if (rc == static_cast<size_t>(-1)) {
      if (error == E2BIG) {
        result.resize(result.size() * 2);
      } else {
        ok = false;  // EILSEQ: invalid or without a form in the target; EINVAL: cut off
      }
    } else if (rc > 0) {
      ok = false;  // characters iconv replaced by a guess of its own
    } else {
      flushed = flushing;
    }
  }
  iconv_close(cd);
  if (!ok) return false;
  result.resize(used);
  out = std::move(result);
  return true;
}

}  // namespace

std::string AnsiCodePage() {
  const char* page = std::getenv("QRVN_ANSI_CODEPAGE");
  if (page != nullptr && *page != '\0') return page;
  return "CP1252";
}

bool AnsiToUtf16(std::string_view text, std::u16string& out) {
  std::string bytes;
  if (!Convert(Utf16Name(), AnsiCodePage().c_str(), text.data(), text.size(), bytes)) {
    return false;
  }
  std::u16string result(bytes.size() / sizeof(char16_t), u'\0');
  std::memcpy(result.data(), bytes.data(), result.size() * sizeof(char16_t));
  out = std::move(result);
  return true;
}

bool Utf16ToAnsi(std::u16string_view text, std::string& out) {
  return Convert(AnsiCodePage().c_str(), Utf16Name(), reinterpret_cast<const char*>(text.data()),
                 text.size() * sizeof(char16_t), out);
}

bool AnsiToUtf8(std::string_view text, std::string& out) {
  return Convert("UTF-8", AnsiCodePage().c_str(), text.data(), text.size(), out);
}

bool Utf8ToAnsi(std::string_view text, std::string& out) {
  return Convert(AnsiCodePage().c_str(), "UTF-8", text.data(), text.size(), out);
}

}  // namespace qrvn::platform
