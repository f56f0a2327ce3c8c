// A document builds the same tree however its bytes are cut into pieces:
// every sample and test document, and the fuzzing seeds, whole and in 1-,
// 3- and 7-byte pieces.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "document/image_test_server.h"
#include "document/pdocbuild.h"
#include "document/pdocdump.h"
#include "document/qelhtmlparser.h"

namespace {

namespace fs = std::filesystem;
using tessel_testing::TempDir;

struct Pieces {
  const std::string* html;
  size_t size;  // 0: the whole text in one piece
};

void feed_pieces(qelhtmlparser* parser, void* user) {
  const Pieces& in = *static_cast<const Pieces*>(user);
  const size_t size = in.size ? in.size : in.html->size();
  for (size_t at = 0; at < in.html->size(); at += size)
    qelhtmlparser_parse(parser, in.html->data() + at, std::min(size, in.html->size() - at));
}

// The dump with every field; names of temporary picture files (which differ
// from build to build) are replaced by TEMP.
std::string dump_in_pieces(const std::string& html, size_t piece, const std::string& base, const TempDir& temp) {
  Pieces in{&html, piece};
  const pdoc_sources sources{base.c_str(), temp.path().c_str()};
  testing::internal::CaptureStdout();
  pdoc_document* doc = pdocbuild_feed(feed_pieces, &in, &sources, nullptr);
  testing::internal::GetCapturedStdout();
  char* buf = nullptr;
  size_t len = 0;
  FILE* f = open_memstream(&buf, &len);
  pdoc_dump(f, doc, true);
  fclose(f);
  std::string tree(buf, len);
  free(buf);
  pdocbuild_free(doc);
  return std::regex_replace(tree, std::regex(temp.path() + "/[^\"]*"), "TEMP");
}

std::string read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<fs::path> documents_in(const fs::path& dir) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file()) found.push_back(entry.path());
  std::sort(found.begin(), found.end());
  return found;
}

void expect_same_in_pieces(const fs::path& path, const std::string& html) {
  SCOPED_TRACE(path.string());
  TempDir temp;
  const std::string base = path.parent_path().string();
  const std::string whole = dump_in_pieces(html, 0, base, temp);
  for (size_t piece : {1u, 3u, 7u}) {
    const std::string cut = dump_in_pieces(html, piece, base, temp);
    if (cut == whole) continue;
    // Show the first line that differs, not two whole dumps.
    size_t at = 0;
    while (at < cut.size() && at < whole.size() && cut[at] == whole[at]) ++at;
    const size_t line = whole.rfind('\n', at) == std::string::npos ? 0 : whole.rfind('\n', at) + 1;
    ADD_FAILURE() << "pieces of " << piece << " differ at: " << whole.substr(line, 160)
                  << "\nvs: " << cut.substr(line, 160);
  }
}

const fs::path kSource = TESSEL_SOURCE_DIR;

TEST(Pieces, SampleAndTestDocumentsBuildTheSameTree) {
  std::vector<fs::path> documents = documents_in(kSource / "samples");
  for (const fs::path& golden : documents_in(kSource / "tests/layout/golden"))
    if (golden.extension() == ".html") documents.push_back(golden);
  ASSERT_GE(documents.size(), 5u);
  for (const fs::path& path : documents) {
    if (path.extension() != ".html") continue;
    expect_same_in_pieces(path, read(path));
  }
}

TEST(Pieces, FuzzingSeedsBuildTheSameTree) {
  TempDir seeds;
  size_t count = 0;
  for (const char* target : {"html", "html_tables", "paginate"}) {
    const fs::path dir = fs::path(seeds.path()) / target;
    const std::string command = "bash " + (kSource / "fuzz" / (std::string(target) + ".seeds.sh")).string() + " " +
                                dir.string() + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const fs::path& path : documents_in(dir)) {
      expect_same_in_pieces(path, read(path));
      ++count;
    }
  }
  EXPECT_GE(count, 15u);
}

TEST(Pieces, BlankRunsTabsAndRawTextDoNotDependOnWhereTheTextIsCut) {
  const fs::path here = kSource / "tests/document";
  for (const std::string html : {
           "<nobr>one  \n  two</nobr> three",
           "<nobr>a \t b</nobr>",
           "<pre>a  b\tc d</pre>",
           "<pre>x y\n</pre><pre>\tz w</pre>",
           "<nobr><pre>p q\tr</pre></nobr>",
           "<p>a   b <b> c </b>  d</p>",
           "<img embed-encoding>iVBO Rw0K\nGgo=</img>",
           // whitespace where it opens nothing, kept with the text that follows
           "<pre>a</html>  \v b",
           "<ul><li>a</li>\v\f c<li>d</ul>",
           // processing instructions and raw text after a dropped '<'
           "a<<?x ?>b",
           "p<<!-- c -->?q?>r",
           "<script>x<b>y</script>z",
       }) {
    expect_same_in_pieces(here / "inline", html);
  }
}

}  // namespace
