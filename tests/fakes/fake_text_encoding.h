#pragma once

#include <string>
#include <string_view>

#include "platform/text_encoding.h"

namespace gandry {

// A system whose code page is Latin-1, where each byte is the code point of the same number.
class FakeTextEncoding final : public TextEncoding {
 public:
  Result<std::string> AnsiToUtf8(std::string_view text) override {
    std::string utf8;
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x80) {
        utf8 += c;
      } else {
        utf8 += static_cast<char>(0xC0 | (byte >> 6));
        utf8 += static_cast<char>(0x80 | (byte & 0x3F));
      }
    }
    return utf8;
  }
};

}  // namespace gandry
