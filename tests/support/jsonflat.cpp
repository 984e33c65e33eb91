// jsonflat: reads JSON documents from standard input and prints each as one
// line per value, its JSON pointer, a blank and the value as JSON (an empty
// array or object as [] or {}), after a "--- document" line. Scenarios
// compare a command's --json output with this, field by field, through the
// same JSON library the commands use. Exit status 1, with the parser's
// message, when the input is no JSON.
#include <iostream>
#include <string>

#include <nlohmann/json.hpp>

namespace {

void flatten(const nlohmann::json &value, const std::string &pointer) {
  if (value.is_object() && !value.empty()) {
    for (const auto &[key, member] : value.items())
      flatten(member, pointer + "/" + key);
  } else if (value.is_array() && !value.empty()) {
    for (size_t i = 0; i < value.size(); ++i)
      flatten(value[i], pointer + "/" + std::to_string(i));
  } else {
    std::cout << pointer << ' ' << value.dump() << '\n';
  }
}

} // namespace

int main() {
  try {
    while ((std::cin >> std::ws) && std::cin.peek() != std::char_traits<char>::eof()) {
      nlohmann::json document;
      std::cin >> document;
      std::cout << "--- document\n";
      flatten(document, "");
    }
  } catch (const nlohmann::json::exception &e) {
    std::cerr << "jsonflat: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
