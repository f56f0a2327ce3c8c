// The dump format: indent, quoting and escaping, and the tessel-dump program
// around it.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "document/pdocbuild.h"
#include "document/pdocdump.h"

namespace {

std::string dump_of(const char* html) {
  testing::internal::CaptureStdout();
  pdoc_document* doc = pdocbuild_string(html, nullptr, nullptr);
  testing::internal::GetCapturedStdout();
  char* buf = nullptr;
  size_t len = 0;
  FILE* f = open_memstream(&buf, &len);
  pdoc_dump(f, doc);
  fclose(f);
  std::string s(buf, len);
  free(buf);
  pdocbuild_free(doc);
  return s;
}

TEST(Dump, IndentsAndEscapes) {
  EXPECT_EQ(dump_of("<table name=a\\b><tr><td>say \"hi\" \\ &#127;&copy;~</td></tr></table>"),
            "HTML\n"
            "  BODY\n"
            "    TABLE name=\"a\\\\b\"\n"
            "      TR\n"
            "        TD\n"
            "          TEXT data=\"say \\\"hi\\\" \\\\ \\x7f\\xa9~\"\n");
  EXPECT_EQ(dump_of(""), "");
  pdoc_dump(stdout, nullptr);  // nothing to print, no crash
}

TEST(Dump, DeepLinesShowTheirDepthInsteadOfIndentingFurther) {
  std::string html;
  for (int i = 0; i < 30; ++i) html += "<table><tr><td>";
  html += "deep";
  const std::string tree = dump_of(html.c_str());
  const std::string at40(80, ' ');
  EXPECT_NE(tree.find("\n" + std::string(78, ' ') + "TR\n" + at40 + "TD\n" + at40 + "[41] TABLE\n"), std::string::npos);
  EXPECT_NE(tree.find("\n" + at40 + "[92] TEXT data=\"deep\"\n"), std::string::npos);
  EXPECT_EQ(tree.find(std::string(82, ' ')), std::string::npos);
}

// Runs the program next to the tests when this build has it.
int run_dump(const std::string& args, std::string* out, const std::string& input_pipe = "") {
  const std::string program = std::string(TESSEL_BINARY_DIR) + "/apps/tessel-dump";
  if (access(program.c_str(), X_OK) != 0) return -1;
  FILE* p = popen((input_pipe + program + " " + args + " 2>&1").c_str(), "r");
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

TEST(Dump, ProgramReadsFilesAndStandardInput) {
  std::string out;
  const int status = run_dump("-", &out, "printf '<b>x</b></i>' | ");
  if (status == -1) GTEST_SKIP() << "tessel-dump not built";
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out,
            "PDOC_BUILDER ERROR at (line,col) (1,13): Unmatched ending. name: i, curr: BODY. Ignoring.\n"
            "HTML\n  BODY\n    B data=\"x\" face=\"Times\" size=3 flags=1 align=0 color=-1 outline_color=-1\n");
  out.clear();
  EXPECT_EQ(run_dump("-", &out, "printf '<table><tr><td colspan=2>a<tr><td>b<td>c</table>' | "), 0);
  EXPECT_NE(out.find("\n      matrix r=0: 0 0\n      matrix r=1: 1 2\n"), std::string::npos) << out;
  out.clear();
  EXPECT_EQ(run_dump("/nonexistent/letter.html", &out), 1);
  EXPECT_NE(out.find("cannot open /nonexistent/letter.html"), std::string::npos);
  out.clear();
  EXPECT_EQ(run_dump("--help", &out), 0);
  EXPECT_EQ(out.rfind("usage: tessel-dump FILE", 0), 0u) << out;
  out.clear();
  EXPECT_EQ(run_dump("a b", &out), 2);
  EXPECT_EQ(out.rfind("usage: tessel-dump FILE", 0), 0u) << out;
  out.clear();
  EXPECT_EQ(run_dump(std::string(TESSEL_SOURCE_DIR) + "/samples/letter.html", &out), 0);
  EXPECT_NE(out.find(" TABLE name=\"items\" width="), std::string::npos);
}

}  // namespace
