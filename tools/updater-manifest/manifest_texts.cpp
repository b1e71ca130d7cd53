#include "manifest_texts.h"

#include <cstdarg>
#include <cstdio>

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text;
  if (size > 0) {
    text.resize(static_cast<size_t>(size) + 1);
    std::vsnprintf(&text[0], text.size(), format, copy);
    text.resize(static_cast<size_t>(size));
  }
  va_end(copy);
  return text;
}
