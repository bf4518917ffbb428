#include "manager/json_output.h"

#include <nlohmann/json.hpp>

#include <string>
#include <utility>

namespace gandry {

namespace {

using Json = nlohmann::ordered_json;

// Every string of `json` from the system's code page into UTF-8, as JSON wants it. A text the
// system cannot convert stays as it is; its bytes that are no UTF-8 then become U+FFFD.
void ConvertStrings(Json& json, TextEncoding& encoding) {
  if (json.is_string()) {
    if (Result<std::string> utf8 = encoding.AnsiToUtf8(json.get_ref<const std::string&>())) {
      json = std::move(*utf8);
    }
    return;
  }
  if (json.is_structured()) {
    for (Json& element : json) {
      ConvertStrings(element, encoding);
    }
  }
}

}  // namespace

void PrintJson(Manager& manager, nlohmann::ordered_json document) {
  ConvertStrings(document, manager.platform.encoding);
  manager.out << document.dump(2, ' ', true, Json::error_handler_t::replace) << '\n';
}

}  // namespace gandry
