// The lenient integer parse, checked against a plain reference on the texts that are whole
// numbers and against its own rules for trailing text.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "common/parse_text.h"
#include "fuzz_support.h"

namespace {

using gandry::fuzz::Check;

// A text made of blanks, an optional sign, an optional hexadecimal prefix and digits only.
struct WholeNumber {
  bool negative = false;
  int base = 10;
  std::string digits;
};

bool IsDigit(char c, int base) {
  if (c >= '0' && c <= '9') {
    return true;
  }
  return base == 16 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
}

std::optional<WholeNumber> AsWholeNumber(std::string_view text) {
  std::size_t i = text.find_first_not_of(' ');
  if (i == std::string_view::npos) {
    return std::nullopt;
  }
  WholeNumber number;
  if (text[i] == '-' || text[i] == '+') {
    number.negative = text[i] == '-';
    ++i;
  }
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    number.base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    number.base = 16;
    i += 2;
  }
  number.digits = std::string(text.substr(i));
  if (number.digits.empty()) {
    return std::nullopt;
  }
  for (char c : number.digits) {
    if (!IsDigit(c, number.base)) {
      return std::nullopt;
    }
  }
  return number;
}

// The magnitude of the digits, or nothing when it does not fit 32 bits.
std::optional<std::uint32_t> Magnitude(const WholeNumber& number) {
  errno = 0;
  const unsigned long long value = std::strtoull(number.digits.c_str(), nullptr, number.base);
  if (errno == ERANGE || value > 0xFFFFFFFFull) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

// What a complete parse must give: decimal within the signed range, hexadecimal as 32 bits.
std::optional<std::int32_t> Expected(const WholeNumber& number) {
  if (number.base == 10) {
    errno = 0;
    const std::string signed_text = (number.negative ? "-" : "") + number.digits;
    const long long value = std::strtoll(signed_text.c_str(), nullptr, 10);
    if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) {
      return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
  }
  const std::optional<std::uint32_t> magnitude = Magnitude(number);
  if (!magnitude) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(number.negative ? 0u - *magnitude : *magnitude);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::int32_t loose = gandry::ParseIntLoose(text);
  const std::optional<std::int32_t> complete = gandry::ParseIntComplete(text);

  const std::optional<WholeNumber> number = AsWholeNumber(text);
  const std::optional<std::int32_t> expected = number ? Expected(*number) : std::nullopt;
  Check(complete == expected, "a complete parse is exactly a whole number within range");
  if (!complete) {
    return 0;
  }
  Check(loose == *complete, "the loose parse agrees with a complete one");
  // Text after the digits stops the parse early: the digits count, the sign is lost.
  const std::string stopped = std::string(text) + " ";
  const std::optional<std::uint32_t> magnitude = Magnitude(*number);
  Check(!gandry::ParseIntComplete(stopped), "trailing text makes a parse incomplete");
  Check(magnitude && gandry::ParseIntLoose(stopped) == static_cast<std::int32_t>(*magnitude),
        "a parse that stops early gives the unsigned digits");
  return 0;
}
