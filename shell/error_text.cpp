#include "shell/error_text.h"

namespace gandry {

std::string ShellErrorText(std::string_view system_text) {
  std::size_t end = system_text.size();
  while (end > 0) {
    const auto c = static_cast<unsigned char>(system_text[end - 1]);
    if (c > ' ' && c != '.' && c != 127) {
      break;
    }
    --end;
  }
  std::string text(system_text.substr(0, end));
  text += '.';
  return text;
}

}  // namespace gandry
