// The generated source's text, from a byte source to a byte sink through
// fixed-size blocks.

#include "lortane/array_writer.h"

#include <cstring>
#include <string>

#include "lortane/line_pieces.h"
#include "lortane/literal_escape.h"

namespace lortane {

namespace {

constexpr char kCommentStart[] = "// This file automatically generated from: ";
constexpr char kHeadStart[] = "const char * ";
constexpr char kHeadEnd[] = " [] = {\n";
constexpr char kTail[] = "NULL\n};\n";

// Blocks of this size stay in the cache and take few system calls; touching
// more fresh memory than this costs a short text more than it saves. They are
// the program's own, made once: one conversion runs at a time.
constexpr std::size_t kReadBlockSize = 128 * 1024;
constexpr std::size_t kWriteBlockSize = 128 * 1024;
unsigned char g_input[kReadBlockSize];
char g_output[kWriteBlockSize];
// Quote, escaped piece, quote, comma, line end.
constexpr std::size_t kMaxElementLength = 1 + kMaxEscapedPerByte * kMaxPieceLength + 3;

// Collects output so that the sink sees few large writes.
struct OutputBlock {
  ByteSink sink;
  char* data = g_output;
  std::size_t used = 0;
};

bool flush_block(OutputBlock* block) {
  std::size_t used = block->used;
  block->used = 0;
  return used == 0 || block->sink.write(block->sink.context, block->data, used);
}

bool append(OutputBlock* block, const char* text, std::size_t length) {
  if (block->used + length > kWriteBlockSize) {
    if (!flush_block(block)) return false;
    // A variable name or path longer than the block goes straight through.
    if (length > kWriteBlockSize) return block->sink.write(block->sink.context, text, length);
  }
  std::memcpy(block->data + block->used, text, length);
  block->used += length;
  return true;
}

bool append_text(OutputBlock* block, const char* text) {
  return append(block, text, std::strlen(text));
}

bool append_element(void* context, const unsigned char* piece, std::size_t length) {
  auto* block = static_cast<OutputBlock*>(context);
  if (block->used + kMaxElementLength > kWriteBlockSize && !flush_block(block)) return false;
  char* out = block->data + block->used;
  *out++ = '"';
  out += escape_literal(piece, length, out);
  std::memcpy(out, "\",\n", 3);
  out += 3;
  block->used = static_cast<std::size_t>(out - block->data);
  return true;
}

// Most lines of most texts are short and need no escape: those go straight
// from the block into the output. The others, and whatever a block leaves
// open at its end, go through the splitter a line at a time, so that it is
// between lines again whenever the fast way is tried.
bool convert_block(LineSplitter* splitter, OutputBlock* block, const unsigned char* data,
                   std::size_t size) {
  const unsigned char* const end = data + size;
  while (data != end) {
    const bool between_lines = splitter->carry_length == 0 && !splitter->pending_cr;
    while (between_lines && data != end) {
      if (block->used + kMaxElementLength > kWriteBlockSize && !flush_block(block)) return false;
      std::size_t written = 0;
      const std::size_t taken =
          copy_plain_lines(data, static_cast<std::size_t>(end - data), kMaxPieceLength,
                           block->data + block->used, kWriteBlockSize - block->used, &written);
      if (taken == 0) break;
      block->used += written;
      data += taken;
    }
    if (data == end) break;
    const auto* line_feed = static_cast<const unsigned char*>(
        std::memchr(data, '\n', static_cast<std::size_t>(end - data)));
    const unsigned char* next = line_feed != nullptr ? line_feed + 1 : end;
    if (!split_block(splitter, data, static_cast<std::size_t>(next - data))) return false;
    data = next;
  }
  return true;
}

}  // namespace

ArrayResult write_string_array(const char* variable_name, const char* input_path, ByteSource source,
                               ByteSink sink) {
  OutputBlock block;
  block.sink = sink;
  LineSplitter splitter;

  const std::string comment_path = comment_safe_path(input_path);
  bool head_written = append_text(&block, kCommentStart) &&
                      append(&block, comment_path.data(), comment_path.size()) &&
                      append_text(&block, "\n") && append_text(&block, kHeadStart) &&
                      append_text(&block, variable_name) && append_text(&block, kHeadEnd);
  if (!head_written) return ArrayResult::kWriteFailed;

  start_split(&splitter, append_element, &block);
  for (;;) {
    std::size_t got = 0;
    if (!source.read(source.context, g_input, kReadBlockSize, &got)) {
      return ArrayResult::kReadFailed;
    }
    if (got == 0) break;
    if (!convert_block(&splitter, &block, g_input, got)) return ArrayResult::kWriteFailed;
  }
  if (!finish_split(&splitter)) return ArrayResult::kWriteFailed;
  if (!append_text(&block, kTail) || !flush_block(&block)) return ArrayResult::kWriteFailed;
  return ArrayResult::kWritten;
}

}  // namespace lortane
