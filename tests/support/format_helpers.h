// What the formatting engine and the C library make of one format, as
// strings, for the formatting tests.
#pragma once

#include <cstdio>
#include <string>

#include "support/qelformat.h"

namespace format_testing {

template <typename... Args>
std::string fmt(const char* format, Args... args) {
  char buffer[512];
  QEL_FORMAT_UNCHECKED_BEGIN
  QELSnprintf(buffer, sizeof buffer, format, args...);
  QEL_FORMAT_UNCHECKED_END
  return buffer;
}

template <typename... Args>
std::string libc(const char* format, Args... args) {
  char buffer[512];
  QEL_FORMAT_UNCHECKED_BEGIN
  std::snprintf(buffer, sizeof buffer, format, args...);
  QEL_FORMAT_UNCHECKED_END
  return buffer;
}

}  // namespace format_testing
