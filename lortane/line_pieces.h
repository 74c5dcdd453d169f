// Splitting a text into lines and lines into pieces.
#pragma once

#include <cstddef>

namespace lortane {

// The longest piece of a line that becomes one array element; longer lines are
// cut into several pieces of this length followed by the remainder.
inline constexpr std::size_t kMaxPieceLength = 1023;

// Receives each piece in order; returns false to stop the split (e.g. when the
// output cannot be written). `text` is only valid during the call.
using PieceHandler = bool (*)(void* context, const unsigned char* text, std::size_t length);

// Splits a byte stream that arrives in blocks of any size into pieces.
//
// A line ends at LF; a CR directly before the LF belongs to the line end and is
// not part of the text, any other CR is an ordinary byte. A line of length L
// followed by a line end gives L / 1023 full pieces and then the remainder, even
// when that is empty; the last line of the stream gives its remainder only when
// it is not empty. Full pieces are handed on straight from the caller's block;
// only a piece that spans two blocks is copied into `carry`.
struct LineSplitter {
  PieceHandler on_piece = nullptr;
  void* context = nullptr;
  unsigned char carry[kMaxPieceLength];
  std::size_t carry_length = 0;
  bool pending_cr = false;  // the last block ended in CR; the next byte decides its role
};

// Prepares `splitter` for a new stream.
void start_split(LineSplitter* splitter, PieceHandler on_piece, void* context);

// Feeds the next block of the stream. Returns false when the handler stopped it.
bool split_block(LineSplitter* splitter, const unsigned char* data, std::size_t size);

// Ends the stream, handing on what is left of a last line without a line end.
bool finish_split(LineSplitter* splitter);

}  // namespace lortane
