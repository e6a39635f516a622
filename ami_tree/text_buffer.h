// A growable, NUL-terminated text on the heap, for message strings and output
// parameter strings. Appending is amortised linear (the storage doubles), so
// an input that produces many thousands of messages is still read in linear
// time. When memory runs out an append is dropped whole and the text already
// held stays valid.
#pragma once

#include <cstddef>

struct TextBuffer {
  char* text;            // NUL-terminated std::malloc block; null while nothing was appended
  std::size_t length;    // characters held, NUL excluded
  std::size_t capacity;  // bytes allocated for text, NUL included; 0 while text is null
};

// An empty buffer (null text). A zero-initialised TextBuffer is empty too.
TextBuffer TextBufferEmpty();

// Appends count characters of more (which need not be NUL-terminated).
// Returns false, leaving the buffer unchanged, when memory runs out.
bool TextAppendN(TextBuffer* buffer, const char* more, std::size_t count);
// Appends a NUL-terminated text; null appends nothing.
bool TextAppend(TextBuffer* buffer, const char* more);
// Appends a printf-formatted text of any length, formatted in the C locale.
bool TextAppendf(TextBuffer* buffer, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Hands the text over to the caller (who releases it with std::free) and leaves
// the buffer empty. Null when nothing was appended.
char* TextRelease(TextBuffer* buffer);
// Releases the text and leaves the buffer empty.
void TextFree(TextBuffer* buffer);
