#include "kestrin/header_names.h"

namespace {

// Folders are left out: the identifiers must not change with where the
// picture is stored, and separators are not identifier characters anyway.
std::string file_name(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_identifier_byte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

std::string to_identifier(std::string text) {
  for (char& c : text) {
    if (!is_identifier_byte(c)) c = '_';
  }
  if (!text.empty() && text[0] >= '0' && text[0] <= '9') text.insert(0, 1, '_');
  return text;
}

}  // namespace

std::string output_path_for(const std::string& input_path) { return input_path + ".h"; }

std::string define_prefix(const std::string& input_path) {
  std::string name = file_name(input_path);
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return to_identifier(name);
}

std::string array_prefix(const std::string& input_path) {
  std::string name = file_name(input_path);
  const std::size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  return to_identifier(name);
}

std::string comment_safe_path(const std::string& input_path) {
  std::string safe;
  safe.reserve(input_path.size());
  for (std::size_t i = 0; i < input_path.size(); ++i) {
    const char c = input_path[i];
    if (i > 0) {
      const char before = input_path[i - 1];
      if ((before == '/' && c == '*') || (before == '*' && c == '/')) safe += ' ';
    }
    safe += c;
  }
  return safe;
}
