#include "common/gbk.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace common {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// One iconv descriptor per direction and thread, reset before each use.
class Converter {
 public:
  static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);

  explicit Converter(bool toGbk) {
    for (const char* gbkName : {"GBK", "CP936"}) {
      cd_ = toGbk ? iconv_open(gbkName, "UTF-8") : iconv_open("UTF-8", gbkName);
      if (cd_ != kInvalid) return;
    }
    throw std::runtime_error("GBK conversion is not available");
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts as much as it can; returns the errno of the stop (0 when all input was taken).
  int convert(std::string_view& in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[4096];
    while (!in.empty()) {
      char* src = const_cast<char*>(in.data());
      std::size_t srcLeft = in.size();
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      const std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      const int error = rc == static_cast<std::size_t>(-1) ? errno : 0;
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      in.remove_prefix(in.size() - srcLeft);
      if (error != 0 && error != E2BIG) return error;
    }
    return 0;
  }

 private:
  iconv_t cd_;
};

Converter& gbkDecoder() {
  thread_local Converter converter(false);
  return converter;
}

Converter& gbkEncoder() {
  thread_local Converter converter(true);
  return converter;
}

unsigned char byteAt(std::string_view text, std::size_t i) { return static_cast<unsigned char>(text[i]); }

// Length of the well-formed UTF-8 sequence at the start of text, 0 when it is not one.
std::size_t utf8SequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  const unsigned char b0 = byteAt(text, 0);
  if (b0 < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) low = 0xA0;   // no overlong forms
    if (b0 == 0xED) high = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;  // at most U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byteAt(text, 1) < low || byteAt(text, 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byteAt(text, i) < 0x80 || byteAt(text, i) > 0xBF) return 0;
  return length;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
  std::string out;
  out.reserve(gbk.size() * 3 / 2);
  try {
    Converter& decoder = gbkDecoder();
    while (!gbk.empty()) {
      const int error = decoder.convert(gbk, out);
      if (error == 0) break;
      out.append(kReplacement);
      if (error != EILSEQ) break;  // an incomplete sequence at the end
      // A lead byte takes a non-ASCII trail with it; an ASCII byte after a lead is read again.
      const unsigned char lead = byteAt(gbk, 0);
      const bool pair = lead >= 0x81 && lead <= 0xFE && gbk.size() >= 2 && byteAt(gbk, 1) >= 0x80;
      gbk.remove_prefix(pair ? 2 : 1);
    }
  } catch (const std::exception&) {
    return out;
  }
  return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  try {
    Converter& encoder = gbkEncoder();
    while (!utf8.empty()) {
      const int error = encoder.convert(utf8, out);
      if (error == 0) break;
      out.push_back('?');
      if (error != EILSEQ) break;
      const std::size_t length = utf8SequenceLength(utf8);
      utf8.remove_prefix(length == 0 ? 1 : length);
    }
  } catch (const std::exception&) {
    return out;
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  while (!text.empty()) {
    const std::size_t length = utf8SequenceLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

std::string DecodeUtf8OrGbk(std::string_view text) {
  return IsValidUtf8(text) ? std::string(text) : GbkToUtf8(text);
}

}  // namespace common
