#include "ami_tree/text_buffer.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ami_tree/c_locale.h"

TextBuffer TextBufferEmpty() {
  TextBuffer buffer;
  buffer.text = nullptr;
  buffer.length = 0;
  buffer.capacity = 0;
  return buffer;
}

namespace {

// Makes room for `needed` more characters plus the NUL.
bool reserve(TextBuffer* buffer, std::size_t needed) {
  if (needed > static_cast<std::size_t>(-1) / 2 - buffer->length - 1) return false;
  const std::size_t required = buffer->length + needed + 1;
  if (buffer->text != nullptr && required <= buffer->capacity) return true;
  std::size_t capacity = buffer->capacity < 64 ? 64 : buffer->capacity;
  while (capacity < required) capacity *= 2;
  char* grown = static_cast<char*>(std::realloc(buffer->text, capacity));
  if (grown == nullptr) return false;
  if (buffer->text == nullptr) grown[0] = '\0';
  buffer->text = grown;
  buffer->capacity = capacity;
  return true;
}

}  // namespace

bool TextAppendN(TextBuffer* buffer, const char* more, std::size_t count) {
  if (buffer == nullptr) return false;
  if (more == nullptr) count = 0;
  if (!reserve(buffer, count)) return false;
  if (count != 0) std::memcpy(buffer->text + buffer->length, more, count);
  buffer->length += count;
  buffer->text[buffer->length] = '\0';
  return true;
}

bool TextAppend(TextBuffer* buffer, const char* more) {
  if (more == nullptr) return buffer != nullptr;
  return TextAppendN(buffer, more, std::strlen(more));
}

bool TextAppendf(TextBuffer* buffer, const char* format, ...) {
  if (buffer == nullptr || format == nullptr) return false;
  const CLocaleScope cLocale;
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  bool ok = length >= 0 && reserve(buffer, static_cast<std::size_t>(length));
  if (ok) {
    std::vsnprintf(buffer->text + buffer->length, static_cast<std::size_t>(length) + 1, format,
                   again);
    buffer->length += static_cast<std::size_t>(length);
  }
  va_end(again);
  return ok;
}

char* TextRelease(TextBuffer* buffer) {
  if (buffer == nullptr) return nullptr;
  char* text = buffer->text;
  *buffer = TextBufferEmpty();
  return text;
}

void TextFree(TextBuffer* buffer) {
  if (buffer == nullptr) return;
  std::free(buffer->text);
  *buffer = TextBufferEmpty();
}
