// Identifiers, the output path and the comment's path from an input path.

#include "kestrin/header_names.h"

#include <cstdio>

namespace kestrin {

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

// The code point of a bidirectional embedding, override or isolate control
// encoded at `at` (U+202A to U+202E, U+2066 to U+2069), or 0. Compilers
// reject an unpaired one even in a comment.
unsigned bidi_control_at(const std::string& s, std::size_t at) {
  if (at + 2 >= s.size() || static_cast<unsigned char>(s[at]) != 0xE2) return 0;
  const auto second = static_cast<unsigned char>(s[at + 1]);
  const auto third = static_cast<unsigned char>(s[at + 2]);
  if (second == 0x80 && third >= 0xAA && third <= 0xAE) return 0x2000 + third - 0x80;
  if (second == 0x81 && third >= 0xA6 && third <= 0xA9) return 0x2040 + third - 0x80;
  return 0;
}

// Whether `text` ends in "??/" followed by nothing but blanks.
bool ends_in_trigraph_backslash(const std::string& text) {
  std::size_t end = text.find_last_not_of(" \t");
  return end != std::string::npos && end >= 2 && text.compare(end - 2, 3, "?\?/") == 0;
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
  char escape[16];
  for (std::size_t i = 0; i < input_path.size(); ++i) {
    const char c = input_path[i];
    const auto byte = static_cast<unsigned char>(c);
    if (const unsigned bidi = bidi_control_at(input_path, i)) {
      std::snprintf(escape, sizeof escape, "\\u%04X", bidi);
      safe += escape;
      i += 2;
    } else if (c == '\n') {
      safe += "\\n";
    } else if (c == '\r') {
      safe += "\\r";
    } else if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\%03o", byte);
      safe += escape;
    } else {
      if (!safe.empty() && ((safe.back() == '/' && c == '*') || (safe.back() == '*' && c == '/'))) {
        safe += ' ';
      }
      safe += c;
    }
  }
  if (ends_in_trigraph_backslash(safe)) safe += '|';
  return safe;
}

}  // namespace kestrin
