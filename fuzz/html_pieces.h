// Shared by the HTML fuzz targets: building a document whole and cut into
// pieces at points taken from the input, and the dump both must give.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "document/pdocbuild.h"
#include "document/pdocdump.h"
#include "document/qelhtmlparser.h"

namespace fuzz_html {

struct Pieces {
  const uint8_t* data;
  size_t size;
  std::vector<size_t> cuts;  // ascending piece boundaries inside the input
};

inline void feed_pieces(qelhtmlparser* parser, void* user) {
  const Pieces& in = *static_cast<const Pieces*>(user);
  const char* bytes = reinterpret_cast<const char*>(in.data);
  size_t from = 0;
  for (size_t cut : in.cuts) {
    qelhtmlparser_parse(parser, bytes + from, cut - from);
    from = cut;
  }
  qelhtmlparser_parse(parser, bytes + from, in.size - from);
}

// Up to eight cut points, chosen by a generator seeded from the input, so a
// failing input reproduces.
inline std::vector<size_t> random_cuts(const uint8_t* data, size_t size) {
  std::vector<size_t> cuts;
  if (size < 2) return cuts;
  uint64_t state = 0x9E3779B97F4A7C15ULL ^ size;
  for (size_t i = 0; i < size; ++i) state = (state ^ data[i]) * 0x100000001B3ULL;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  const size_t count = 1 + next() % 8;
  for (size_t i = 0; i < count; ++i) cuts.push_back(1 + next() % (size - 1));
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  return cuts;
}

inline std::vector<size_t> every_byte(size_t size) {
  std::vector<size_t> cuts;
  for (size_t i = 1; i < size; ++i) cuts.push_back(i);
  return cuts;
}

// A folder of the process's own for the temporary picture files of inline
// pictures; made on first use.
inline const std::string& picture_folder() {
  static const std::string folder = [] {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz-html-XXXXXX";
    if (!mkdtemp(pattern.data())) abort();
    return pattern;
  }();
  static const bool removed_at_exit = atexit([] { rmdir(picture_folder().c_str()); }) == 0;
  (void)removed_at_exit;
  return folder;
}

inline pdoc_document* build(const Pieces& pieces) {
  const pdoc_sources sources{nullptr, picture_folder().c_str()};
  return pdocbuild_feed(feed_pieces, const_cast<Pieces*>(&pieces), &sources, nullptr);
}

// The dump with every field, with the names of temporary pictures (which
// differ from build to build) replaced by TEMP.
inline std::string dump(const pdoc_document* document) {
  char* buffer = nullptr;
  size_t length = 0;
  FILE* out = open_memstream(&buffer, &length);
  if (!out) abort();
  pdoc_dump(out, document, true);
  fclose(out);
  std::string text(buffer, length);
  free(buffer);
  const std::string& folder = picture_folder();
  for (size_t at = text.find(folder); at != std::string::npos; at = text.find(folder, at + 4)) {
    const size_t end = text.find('"', at);
    text.replace(at, (end == std::string::npos ? text.size() : end) - at, "TEMP");
  }
  return text;
}

}  // namespace fuzz_html
