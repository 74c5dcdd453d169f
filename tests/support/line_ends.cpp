#include "support/line_ends.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/temp_folder.h"

std::string with_lf_line_ends(const std::string& bytes, const std::string& what) {
#ifdef _WIN32
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
      const std::size_t line_end = i == 0 ? std::string::npos : bytes.rfind('\n', i - 1);
      const std::size_t line = line_end == std::string::npos ? 0 : line_end + 1;
      const std::size_t from = std::max(line, i < 80 ? 0 : i - 80);
      ADD_FAILURE() << what << ": the line end at byte " << i << " has no CR before it, after \""
                    << bytes.substr(from, i - from) << "\"";
      return bytes;
    }
    text += bytes[i];
  }
  return text;
#else
  static_cast<void>(what);
  return bytes;
#endif
}

std::string read_output_file(const std::string& path) {
  return with_lf_line_ends(read_file(path), path);
}
