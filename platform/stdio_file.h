// A C stream owned by one pointer and closed when the pointer goes, for the
// files every layer opens with fopen, fdopen or fmemopen.
#pragma once

#include <cstdio>
#include <memory>

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
