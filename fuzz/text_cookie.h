// A stdio stream whose writes go to a function.
#pragma once

// A stdio stream whose writes go to a function, so a harness can look at text
// as it is written instead of storing it.

#include <cstddef>
#include <cstdio>

// Takes `size` bytes written to the stream; false makes the write fail.
using TextTaker = bool (*)(void* context, const char* data, std::size_t size);

// Opens a write-only stream that hands every write to `take`. Never null.
std::FILE* open_text_cookie(TextTaker take, void* context);
