// pdf: destinations of the system spooler: processes that print into the
// same file at once leave one whole copy, never a mixture, and no partial
// files beside it.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "common/http_fixture.h"
#include "platform/print_spooler.h"

namespace {

using tessel_testing::TempDir;

TEST(PdfFileSpooler, ProcessesPrintingIntoOneFileAtOnceLeaveOneWholeCopy) {
  TempDir dir;
  const std::string target = dir.file("out.pdf");
  const std::string sources[2] = {dir.file("a.src"), dir.file("b.src")};
  for (int i = 0; i < 2; ++i) std::ofstream(sources[i], std::ios::binary) << std::string(4 << 20, "ab"[i]);

  pid_t children[2];
  for (int i = 0; i < 2; ++i) {
    children[i] = ::fork();
    ASSERT_GE(children[i], 0);
    if (children[i] == 0) {
      PrintSubmission job;
      job.destination = "pdf:" + target;
      job.pdf_path = sources[i];
      job.pages = 1;
      std::string error;
      for (int round = 0; round < 20; ++round)
        if (system_print_spooler().submit(job, &error) <= 0) ::_exit(1);
      ::_exit(0);
    }
  }
  for (const pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a print failed";
  }
  std::ifstream in(target, std::ios::binary);
  const std::string written{std::istreambuf_iterator<char>(in), {}};
  ASSERT_EQ(written.size(), size_t{4} << 20);
  EXPECT_TRUE(written.find_first_not_of(written[0]) == std::string::npos) << "the copies were mixed";

  int files = 0;
  DIR* folder = ::opendir(dir.path().c_str());
  while (const dirent* entry = ::readdir(folder)) files += entry->d_name[0] != '.' ? 1 : 0;
  ::closedir(folder);
  EXPECT_EQ(files, 3);  // the two sources and the copy
}

}  // namespace
