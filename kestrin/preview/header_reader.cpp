// The header's tokens, its defines and array head, and its words.

#include "kestrin/preview/header_reader.h"

#include <cstdio>
#include <cstring>

#include "kestrin/preview/messages.h"
#include "kestrin/preview/plain_words.h"

namespace kestrin::preview {

namespace {

// The text is read a block at a time into a buffer of the program's own,
// made once: one header is read at a time.
constexpr std::size_t kBlock = 128 * 1024;
std::uint8_t g_text[kBlock];
// Longer names than any Kestrin makes from a file name are refused, so a
// token never costs more than this.
constexpr std::size_t kMaxToken = 4096;
// How much of a token a message shows.
constexpr std::size_t kShown = 24;
// The shortest text of the words: "0x0" each, commas between, then "};".
constexpr std::uint64_t kLeastWordBytes = 4;
// A side of the picture: Kestrin's are at most 2^31.
constexpr std::uint64_t kMaxSide = 0xFFFFFFFF;

// kLineEnd only ends a define: elsewhere a line end is a blank.
enum class TokenKind { kEnd, kLineEnd, kName, kNumber, kOther };

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;  // at most kMaxToken bytes
  bool cut = false;  // longer than kMaxToken
  std::uint64_t line = 0;
};

bool is_name_start(std::uint8_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool is_digit(std::uint8_t c) { return c >= '0' && c <= '9'; }
bool is_name_byte(std::uint8_t c) { return is_name_start(c) || is_digit(c); }

// Makes at least `want` bytes unread, unless the text ends first.
void fill(HeaderText* t, std::size_t want) {
  while (t->end - t->at < want && !t->source_ended) {
    if (t->at != 0) {
      std::memmove(t->buffer, t->buffer + t->at, t->end - t->at);
      t->offset += t->at;
      t->end -= t->at;
      t->at = 0;
    }
    std::size_t got = 0;
    if (!t->source.read(t->source.context, t->buffer + t->end, kBlock - t->end, &got)) {
      t->read_failed = true;
      got = 0;
    }
    if (got == 0) t->source_ended = true;
    t->end += got;
  }
}

bool has(HeaderText* t, std::size_t count) {
  fill(t, count);
  return t->end - t->at >= count;
}

std::string shown(const std::string& text, bool cut) {
  std::string s = "'";
  for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      s += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      s += escape;
    }
  }
  return s + (cut || text.size() > kShown ? "...'" : "'");
}

bool fail(HeaderText* t, HeaderProblem* problem, HeaderProblem::Kind kind) {
  problem->kind = t->read_failed ? HeaderProblem::Kind::kReadFailed : kind;
  return false;
}

bool unexpected(HeaderText* t, HeaderProblem* problem, const Token& found,
                const std::string& expected) {
  problem->line = found.line;
  problem->expected = expected;
  problem->found = found.kind == TokenKind::kEnd       ? kFoundEnd
                   : found.kind == TokenKind::kLineEnd ? kFoundLineEnd
                                                       : shown(found.text, found.cut);
  return fail(t, problem, HeaderProblem::Kind::kUnexpected);
}

// A byte at the reader's line that makes the compiler read the lines
// otherwise than the reader would: refused with what it is.
bool refuse_at_line(HeaderText* t, HeaderProblem* problem, const char* expected,
                    const char* found) {
  problem->line = t->line;
  problem->expected = expected;
  problem->found = found;
  return fail(t, problem, HeaderProblem::Kind::kUnexpected);
}

std::string formatted(const char* format, const char* text) {
  char line[kMaxToken + 256];
  std::snprintf(line, sizeof line, format, text);
  return line;
}

std::string formatted(const char* format, std::uint64_t number) {
  char line[256];
  std::snprintf(line, sizeof line, format, static_cast<unsigned long long>(number));
  return line;
}

// A number just read, of the right form but the wrong value.
bool refuse_number(HeaderText* t, HeaderProblem* problem, std::uint64_t value,
                   const std::string& expected) {
  Token token;
  token.kind = TokenKind::kNumber;
  token.text = std::to_string(value);
  token.line = t->line;
  return unexpected(t, problem, token, expected);
}

// Whether the line end at t->at is CR LF rather than a CR alone, which the
// compiler takes for a line end too; the reader refuses it where it matters.
bool is_cr_lf(HeaderText* t) { return has(t, 2) && t->buffer[t->at + 1] == '\n'; }

// Follows a comment's bytes for a line splice: a backslash (or the trigraph
// "??/", which the compiler may read as one) with nothing but blanks between
// it and the line end joins the next line to this one, inside a comment too.
struct SpliceWatch {
  bool pending = false;
  int questions = 0;  // '?' just before this byte
};

// False when `c`, a line end, ends a line that a splice carries on.
bool watch(SpliceWatch* w, std::uint8_t c) {
  if (c == '\n' || c == '\r') return !w->pending;
  if (c == '\\' || (c == '/' && w->questions >= 2)) {
    w->pending = true;
  } else if (c != ' ' && c != '\t' && c != '\f' && c != '\v' && c != '\0') {
    w->pending = false;
  }
  w->questions = c == '?' ? w->questions + 1 : 0;
  return true;
}

// Skips a "//" comment, up to its line end.
bool skip_line_comment(HeaderText* t, HeaderProblem* problem) {
  SpliceWatch splice;
  for (t->at += 2; has(t, 1); ++t->at) {
    const std::uint8_t c = t->buffer[t->at];
    if (c == '\r' && !is_cr_lf(t)) return refuse_at_line(t, problem, kExpectLineEnd, kFoundLoneCr);
    if (!watch(&splice, c)) return refuse_at_line(t, problem, kExpectNoSplice, kFoundSplice);
    if (c == '\n' || c == '\r') return true;
  }
  return true;
}

// Skips a "/* */" comment; its line ends are the compiler's, a CR alone
// among them.
bool skip_block_comment(HeaderText* t, HeaderProblem* problem) {
  Token comment;
  comment.line = t->line;
  SpliceWatch splice;
  for (t->at += 2;; ++t->at) {
    if (!has(t, 2)) {
      t->at = t->end;
      comment.kind = TokenKind::kEnd;
      return unexpected(t, problem, comment, kExpectCommentEnd);
    }
    const std::uint8_t c = t->buffer[t->at];
    if (c == '*' && t->buffer[t->at + 1] == '/') break;
    if (!watch(&splice, c)) return refuse_at_line(t, problem, kExpectNoSplice, kFoundSplice);
    t->line += c == '\n' || (c == '\r' && !is_cr_lf(t));
  }
  t->at += 2;
  return true;
}

// Skips white space and comments. In a define, whose line must hold it
// whole, the blanks are spaces and tabs, and it stops at the line end.
bool skip_blank(HeaderText* t, bool in_define, HeaderProblem* problem) {
  while (has(t, 1)) {
    const std::uint8_t c = t->buffer[t->at];
    if (c == ' ' || c == '\t') {
      ++t->at;
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && !is_cr_lf(t)) {
        return refuse_at_line(t, problem, kExpectLineEnd, kFoundLoneCr);
      }
      if (in_define) return true;
      t->at += c == '\r' ? 2 : 1;
      ++t->line;
    } else if (c == '\f' || c == '\v') {
      if (in_define) {
        return refuse_at_line(t, problem, kExpectDefineBlank,
                              c == '\f' ? kFoundFormFeed : kFoundVerticalTab);
      }
      ++t->at;
    } else if (c == '/' && has(t, 2) && t->buffer[t->at + 1] == '/') {
      if (!skip_line_comment(t, problem)) return false;
    } else if (c == '/' && has(t, 2) && t->buffer[t->at + 1] == '*') {
      if (!skip_block_comment(t, problem)) return false;
    } else {
      return true;
    }
  }
  return true;
}

// The next token: a name, a number (digits, and any letters that follow, as
// in 0x1F), or one other byte; in a define, its line end too.
bool next_token(HeaderText* t, Token* token, HeaderProblem* problem, bool in_define = false) {
  if (!skip_blank(t, in_define, problem)) return false;
  *token = Token();
  token->line = t->line;
  if (!has(t, 1)) return true;
  const std::uint8_t first = t->buffer[t->at];
  if (first == '\n' || first == '\r') {
    token->kind = TokenKind::kLineEnd;
    return true;
  }
  if (!is_name_start(first) && !is_digit(first)) {
    token->kind = TokenKind::kOther;
    token->text.assign(1, static_cast<char>(first));
    ++t->at;
    return true;
  }
  token->kind = is_digit(first) ? TokenKind::kNumber : TokenKind::kName;
  while (has(t, 1) && is_name_byte(t->buffer[t->at])) {
    if (token->text.size() == kMaxToken) {
      token->cut = true;
      return true;
    }
    token->text += static_cast<char>(t->buffer[t->at++]);
  }
  return true;
}

bool is(const Token& token, const char* text) { return !token.cut && token.text == text; }

// A number in decimal digits, at most `max`.
bool read_number(const Token& token, std::uint64_t max, std::uint64_t* value) {
  if (token.kind != TokenKind::kNumber || token.cut) return false;
  std::uint64_t v = 0;
  for (const char c : token.text) {
    const auto digit = static_cast<unsigned>(c - '0');
    if (digit > 9 || v > (max - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

bool read_word(const Token& token, std::uint32_t* word) {
  const std::string& s = token.text;
  if (token.kind != TokenKind::kNumber || token.cut || s.size() < 3 || s.size() > 10 ||
      s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) {
    return false;
  }
  std::uint32_t v = 0;
  for (std::size_t i = 2; i < s.size(); ++i) {
    const std::uint8_t digit = hex_value(static_cast<std::uint8_t>(s[i]));
    if (digit == 0xFF) return false;
    v = v << 4 | digit;
  }
  *word = v;
  return true;
}

// "#define <name> (<number>)" on a line of its own, where the name is
// `name` or, when that is empty, any name ending in `suffix`, which `*name`
// then receives. Every define starts a line: the first is the text's first
// token, and each ends at its line end.
bool read_define(HeaderText* t, std::string* name, const char* suffix, const std::string& shape,
                 std::uint64_t max, const std::string& number, std::uint64_t* value,
                 HeaderProblem* problem) {
  Token token;
  if (!next_token(t, &token, problem)) return false;
  if (!is(token, "#")) return unexpected(t, problem, token, shape);
  if (!next_token(t, &token, problem, true)) return false;
  if (!is(token, "define")) return unexpected(t, problem, token, shape);
  if (!next_token(t, &token, problem, true)) return false;
  const std::size_t suffix_size = std::strlen(suffix);
  const bool named =
      name->empty()
          ? token.kind == TokenKind::kName && !token.cut && token.text.size() >= suffix_size &&
                token.text.compare(token.text.size() - suffix_size, suffix_size, suffix) == 0
          : is(token, (*name + suffix).c_str());
  if (!named) return unexpected(t, problem, token, shape);
  if (name->empty()) *name = token.text.substr(0, token.text.size() - suffix_size);
  // A "(" right after the name makes the define take parameters.
  if (has(t, 1) && t->buffer[t->at] == '(') {
    return refuse_at_line(t, problem, kExpectBlankBeforeParenthesis, "'('");
  }
  if (!next_token(t, &token, problem, true)) return false;
  if (!is(token, "(")) return unexpected(t, problem, token, shape);
  if (!next_token(t, &token, problem, true)) return false;
  if (!read_number(token, max, value)) return unexpected(t, problem, token, number);
  if (!next_token(t, &token, problem, true)) return false;
  if (!is(token, ")")) return unexpected(t, problem, token, shape);
  if (!next_token(t, &token, problem, true)) return false;
  if (token.kind != TokenKind::kLineEnd && token.kind != TokenKind::kEnd) {
    return unexpected(t, problem, token, kExpectDefineEnd);
  }
  return true;
}

// Expects the next token to be `text`, or says that `shape` was expected.
bool expect(HeaderText* t, const char* text, const char* shape, HeaderProblem* problem) {
  Token token;
  if (!next_token(t, &token, problem)) return false;
  return is(token, text) || unexpected(t, problem, token, shape);
}

// A number of the array's bound, which must be `wanted`.
bool expect_bound(HeaderText* t, std::uint64_t wanted, HeaderProblem* problem) {
  Token token;
  if (!next_token(t, &token, problem)) return false;
  std::uint64_t value = 0;
  if (!read_number(token, kMaxSide, &value) || value != wanted) {
    return unexpected(t, problem, token, formatted(kExpectBound, wanted));
  }
  return true;
}

bool word_count_problem(HeaderText* t, HeaderProblem* problem) {
  problem->words_found = t->words_read;
  problem->words_wanted = t->words_wanted;
  return fail(t, problem, HeaderProblem::Kind::kWordCount);
}

// Reads as many of `count` words as are spelt as Kestrin spells them,
// straight from the block, refilling it as they go; stops before any other
// text, and before the last few bytes of the text.
std::size_t read_plain_words(HeaderText* t, std::uint32_t* words, std::size_t count) {
  std::size_t n = 0;
  for (;;) {
    fill(t, kPlainWordsRoom);
    BlockPlace place{t->at, t->line};
    bool other_text = false;
    n += read_block_words(t->buffer, t->end, &place, words + n, count - n, &other_text);
    t->at = place.at;
    t->line = place.line;
    if (n == count || other_text || t->source_ended) return n;
  }
}

// Reads words until `count` more are read or the array closes; `*got` tells
// how many.
bool read_words(HeaderText* t, std::uint32_t* words, std::size_t count, std::size_t* got,
                HeaderProblem* problem) {
  std::size_t n = 0;
  while (n < count && !t->closed) {
    n += read_plain_words(t, words + n, count - n);
    if (n == count) break;
    // Any other way of writing a word, or of ending the array.
    Token token;
    if (!next_token(t, &token, problem)) return false;
    if (is(token, "}")) {
      t->closed = true;
      break;
    }
    if (!read_word(token, &words[n])) return unexpected(t, problem, token, kExpectWord);
    ++n;
    if (!next_token(t, &token, problem)) return false;
    if (is(token, "}")) {
      t->closed = true;
    } else if (!is(token, ",")) {
      return unexpected(t, problem, token, kExpectComma);
    }
  }
  t->words_read += n;
  *got = n;
  return true;
}

}  // namespace

void open_header_text(HeaderText* text, platform::ByteSource source) {
  *text = HeaderText();
  text->source = source;
  text->buffer = g_text;
}

WordsStart words_start(const HeaderText& text) {
  return {text.offset + text.at, text.line, text.words_wanted};
}

void reopen_header_words(HeaderText* text, platform::ByteSource source, const WordsStart& start) {
  open_header_text(text, source);
  text->offset = start.offset;
  text->line = start.line;
  text->words_wanted = start.words;
}

bool read_header_head(HeaderText* t, HeaderShape* shape, HeaderProblem* problem) {
  *problem = HeaderProblem();
  std::string prefix;
  std::uint64_t width = 0, height = 0, size = 0;
  if (!read_define(t, &prefix, "_WIDTH", kExpectWidth, kMaxSide, kExpectNumber, &width, problem)) {
    return false;
  }
  if (width % 2 != 0) return refuse_number(t, problem, width, kExpectEvenWidth);
  if (!read_define(t, &prefix, "_HEIGHT", formatted(kExpectHeight, prefix.c_str()), kMaxSide,
                   kExpectNumber, &height, problem) ||
      !read_define(t, &prefix, "_SIZE", formatted(kExpectSize, prefix.c_str()), width * height,
                   formatted(kExpectSizeValue, width * height), &size, problem)) {
    return false;
  }
  if (size != width * height) {
    return refuse_number(t, problem, size, formatted(kExpectSizeValue, width * height));
  }

  Token token;
  if (!expect(t, "const", kExpectArray, problem) || !expect(t, "u32", kExpectArray, problem) ||
      !next_token(t, &token, problem)) {
    return false;
  }
  const std::string ending = "_Bitmap";
  if (token.kind != TokenKind::kName || token.cut || token.text.size() < ending.size() ||
      token.text.compare(token.text.size() - ending.size(), ending.size(), ending) != 0) {
    return unexpected(t, problem, token, kExpectArray);
  }
  if (!expect(t, "[", kExpectArray, problem) || !expect_bound(t, height, problem) ||
      !expect(t, "*", kExpectArray, problem) || !expect_bound(t, width, problem) ||
      !expect(t, "]", kExpectArray, problem) || !expect(t, "=", kExpectArray, problem) ||
      !expect(t, "{", kExpectArray, problem)) {
    return false;
  }

  shape->width = static_cast<std::uint32_t>(width);
  shape->height = static_cast<std::uint32_t>(height);
  shape->words = width / 2 * height;
  shape->array_line = t->line;
  t->words_wanted = shape->words;
  // A header whose size says it cannot hold the words is refused before any
  // work: its announced size must not cost what the text does not hold.
  if (t->source.size >= 0 && shape->words > 0) {
    const std::uint64_t consumed = t->offset + t->at;
    const std::uint64_t left =
        static_cast<std::uint64_t>(t->source.size) > consumed ? t->source.size - consumed : 0;
    if (shape->words > left / kLeastWordBytes) {
      problem->line = shape->array_line;
      problem->words_wanted = shape->words;
      problem->bytes_left = left;
      return fail(t, problem, HeaderProblem::Kind::kTooFewBytes);
    }
  }
  return true;
}

bool read_header_words(HeaderText* t, std::uint32_t* words, std::size_t count,
                       HeaderProblem* problem) {
  std::size_t got = 0;
  if (!read_words(t, words, count, &got, problem)) return false;
  return got == count || word_count_problem(t, problem);
}

bool read_header_tail(HeaderText* t, HeaderProblem* problem) {
  std::uint32_t extra[256];
  std::size_t got = 0;
  while (!t->closed) {
    if (!read_words(t, extra, sizeof extra / sizeof extra[0], &got, problem)) return false;
  }
  if (t->words_read != t->words_wanted) return word_count_problem(t, problem);
  Token token;
  if (!expect(t, ";", kExpectClose, problem) || !next_token(t, &token, problem)) return false;
  return token.kind == TokenKind::kEnd || unexpected(t, problem, token, kExpectEnd);
}

}  // namespace kestrin::preview
