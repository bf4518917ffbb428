#include "common/parse_text.h"

namespace gandry {

namespace {

// The outcome of a lenient integer parse; `complete` tells whether the text held digits and
// ended within the limits.
struct IntParse {
  std::int32_t value = 0;
  bool complete = false;
};

int DigitValue(char c, int base) {
  int digit = -1;
  if (c >= '0' && c <= '9') {
    digit = c - '0';
  } else if (c >= 'a' && c <= 'f') {
    digit = c - 'a' + 10;
  } else if (c >= 'A' && c <= 'F') {
    digit = c - 'A' + 10;
  }
  return digit < base ? digit : -1;
}

IntParse ParseInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  std::uint32_t digit_limit = 214748364;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (base == 16) {
    digit_limit = 268435455;
    if (i == text.size()) {
      return {};  // a hexadecimal prefix without digits
    }
  }
  // Unsigned arithmetic: the limits keep the value below 2^32, and the wrap to 32 bits below is
  // then well defined.
  std::uint32_t magnitude = 0;
  const std::size_t first_digit = i;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0 || magnitude > digit_limit) {
      return {static_cast<std::int32_t>(magnitude), false};
    }
    magnitude = magnitude * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
  }
  if (base == 10 && magnitude > (negative ? 2147483648u : 2147483647u)) {
    const std::uint32_t wrapped = negative ? 0u - magnitude : magnitude;
    return {static_cast<std::int32_t>(wrapped), false};
  }
  const std::uint32_t signed_bits = negative ? 0u - magnitude : magnitude;
  return {static_cast<std::int32_t>(signed_bits), i > first_digit};
}

}  // namespace

std::string ExtractField(std::string_view text, int index, char separator) {
  if (index < 1) {
    return {};
  }
  std::size_t begin = 0;
  for (int field = 1; field < index; ++field) {
    const std::size_t next = text.find(separator, begin);
    if (next == std::string_view::npos) {
      return {};
    }
    begin = next + 1;
  }
  const std::size_t end = text.find(separator, begin);
  return std::string(text.substr(begin, end == std::string_view::npos ? text.npos : end - begin));
}

std::int32_t ParseIntLoose(std::string_view text) {
  return ParseInt(text).value;
}

std::optional<std::int32_t> ParseIntComplete(std::string_view text) {
  const IntParse parse = ParseInt(text);
  if (!parse.complete) {
    return std::nullopt;
  }
  return parse.value;
}

}  // namespace gandry
