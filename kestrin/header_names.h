#pragma once

// The names a generated header takes from its input path.

#include <string>

// The output path: the input path exactly as typed, with ".h" appended.
std::string output_path_for(const std::string& input_path);

// The prefix of the three defines: the file name (what follows the last '/',
// '\\' or ':') upper-cased and cut before its last dot, made a C identifier.
std::string define_prefix(const std::string& input_path);

// The prefix of the array: the file name in its own case, cut before its first
// dot, made a C identifier (possibly empty, giving "_Bitmap").
std::string array_prefix(const std::string& input_path);

// The path as it may stand inside a block comment: a space separates every
// '/' and '*' that touch, so the path can neither close the comment nor open
// a nested one.
std::string comment_safe_path(const std::string& input_path);
