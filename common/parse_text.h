#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace gandry {

// The index-th field (from 1) of `text` split at `separator`; empty when there are fewer.
std::string ExtractField(std::string_view text, int index, char separator);

// A lenient 32-bit integer parse that never fails (leading blanks, optional sign, decimal or
// $/x/0x hexadecimal digits, stopping at the first other character).
std::int32_t ParseIntLoose(std::string_view text);

// The same parse, but a value only when the whole text is an integer within the limits.
std::optional<std::int32_t> ParseIntComplete(std::string_view text);

}  // namespace gandry
