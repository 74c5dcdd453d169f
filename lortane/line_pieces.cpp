// Splitting a text into lines and lines into pieces of at most 1023 bytes.

#include "lortane/line_pieces.h"

#include <cstring>

namespace lortane {

namespace {

// Hands on every piece that `*length` more bytes of the current line fill up
// and moves `*text` and `*length` past them.
bool hand_on_full_pieces(LineSplitter* s, const unsigned char** text, std::size_t* length) {
  while (s->carry_length + *length >= kMaxPieceLength) {
    std::size_t room = kMaxPieceLength - s->carry_length;
    const unsigned char* piece = *text;
    if (s->carry_length != 0) {
      std::memcpy(s->carry + s->carry_length, *text, room);
      piece = s->carry;
      s->carry_length = 0;
    }
    *text += room;
    *length -= room;
    if (!s->on_piece(s->context, piece, kMaxPieceLength)) return false;
  }
  return true;
}

// Adds bytes of a line whose end has not been seen yet; a partial last piece
// waits in the carry for the next block.
bool add_open_text(LineSplitter* s, const unsigned char* text, std::size_t length) {
  if (!hand_on_full_pieces(s, &text, &length)) return false;
  std::memcpy(s->carry + s->carry_length, text, length);
  s->carry_length += length;
  return true;
}

// Adds the last bytes of a line whose end follows, then hands on the remainder,
// which is empty when the line filled its last piece exactly.
bool add_closed_text(LineSplitter* s, const unsigned char* text, std::size_t length) {
  if (!hand_on_full_pieces(s, &text, &length)) return false;
  if (s->carry_length == 0) return s->on_piece(s->context, text, length);
  std::memcpy(s->carry + s->carry_length, text, length);
  std::size_t total = s->carry_length + length;
  s->carry_length = 0;
  return s->on_piece(s->context, s->carry, total);
}

const unsigned char kCarriageReturn[1] = {'\r'};

}  // namespace

void start_split(LineSplitter* splitter, PieceHandler on_piece, void* context) {
  splitter->on_piece = on_piece;
  splitter->context = context;
  splitter->carry_length = 0;
  splitter->pending_cr = false;
}

bool split_block(LineSplitter* s, const unsigned char* data, std::size_t size) {
  const unsigned char* end = data + size;
  if (s->pending_cr && data != end) {
    s->pending_cr = false;
    if (*data == '\n') {
      ++data;
      if (!add_closed_text(s, data, 0)) return false;
    } else if (!add_open_text(s, kCarriageReturn, 1)) {
      return false;
    }
  }
  while (data != end) {
    auto* line_feed = static_cast<const unsigned char*>(
        std::memchr(data, '\n', static_cast<std::size_t>(end - data)));
    if (line_feed == nullptr) {
      std::size_t length = static_cast<std::size_t>(end - data);
      if (data[length - 1] == '\r') {
        // Held back: a LF at the start of the next block would make it a line end.
        s->pending_cr = true;
        --length;
      }
      return add_open_text(s, data, length);
    }
    std::size_t length = static_cast<std::size_t>(line_feed - data);
    if (length > 0 && data[length - 1] == '\r') --length;
    if (!add_closed_text(s, data, length)) return false;
    data = line_feed + 1;
  }
  return true;
}

bool finish_split(LineSplitter* s) {
  if (s->pending_cr) {
    s->pending_cr = false;
    if (!add_open_text(s, kCarriageReturn, 1)) return false;
  }
  if (s->carry_length == 0) return true;
  std::size_t length = s->carry_length;
  s->carry_length = 0;
  return s->on_piece(s->context, s->carry, length);
}

}  // namespace lortane
