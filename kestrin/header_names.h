// The names a generated header takes from its input path.
#pragma once

// The names a generated header takes from its input path.

#include <string>

namespace kestrin {

// The output path: the input path exactly as typed, with ".h" appended.
std::string output_path_for(const std::string& input_path);

// The prefix of the three defines: the file name (what follows the last '/',
// '\\' or ':') upper-cased and cut before its last dot, made a C identifier.
std::string define_prefix(const std::string& input_path);

// The prefix of the array: the file name in its own case, cut before its first
// dot, made a C identifier (possibly empty, giving "_Bitmap").
std::string array_prefix(const std::string& input_path);

// The path as it may stand inside the header's block comment, which must
// compile whatever the path holds: a space separates every '/' and '*' that
// touch, so the comment can neither close early nor nest; control bytes other
// than tab are written as escapes (\n, \r, \033) and the Unicode
// bidirectional controls as \u202E-style text; and a path that would end the
// line in "??/" (a backslash under trigraphs, joining the next line) gets a
// '|' after it. Any other path stays byte for byte as typed.
std::string comment_safe_path(const std::string& input_path);

}  // namespace kestrin
