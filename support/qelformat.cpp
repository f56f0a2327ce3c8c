// The formatting engine's directive parser and its front ends.
#include "support/qelformat.h"

int QELFormat(QELFormatFlush, QELFormatSink*, const char*, va_list) { return -1; }
int QELSnprintf(char* buffer, size_t size, const char*, ...) {
  if (size) buffer[0] = 0;
  return 0;
}
int QELVsnprintf(char* buffer, size_t size, const char*, va_list) {
  if (size) buffer[0] = 0;
  return 0;
}
int QELFormatLength(const char*, ...) { return 0; }
int QELVFormatLength(const char*, va_list) { return 0; }
char* QELAsprintf(const char*, ...) { return nullptr; }
char* QELVAsprintf(const char*, va_list) { return nullptr; }
int QELFprintf(FILE*, const char*, ...) { return 0; }
int QELVFprintf(FILE*, const char*, va_list) { return 0; }
int QELPrintf(const char*, ...) { return 0; }
int QELVPrintf(const char*, va_list) { return 0; }
char QELFormatSetQuote(char c) { return c; }
char QELFormatSetEscape(char c) { return c; }
char QELFormatSetEscapeEscape(char c) { return c; }
