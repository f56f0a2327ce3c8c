// Temporary names, directory creation, copying and moving files.
#include "support/qelfile.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "common/temp_dir.h"

namespace fs = std::filesystem;

namespace {

class FilesTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return dir_.file(name); }

  static void write(const std::string& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
  static std::string read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  tessel_testing::TempDir dir_;
};

}  // namespace

TEST_F(FilesTest, TempnameJoinsDirectoryPrefixPidTimeAndExtension) {
  char with_dot[256];
  char without_dot[256];
  const std::time_t before = std::time(nullptr);
  qel_tempname(with_dot, sizeof with_dot, dir_.path().c_str(), "img", ".png");
  qel_tempname(without_dot, sizeof without_dot, dir_.path().c_str(), "img", "png");
  const std::time_t after = std::time(nullptr);

  const std::string head = dir_.path() + "/img" + std::to_string(::getpid());
  const std::string name = with_dot;
  ASSERT_EQ(name.rfind(head, 0), 0u) << name;
  ASSERT_EQ(name.substr(name.size() - 4), ".png");
  const unsigned long t = std::stoul(name.substr(head.size(), name.size() - 4 - head.size()), nullptr, 16);
  EXPECT_GE(t, static_cast<unsigned long>(before));
  EXPECT_LE(t, static_cast<unsigned long>(after));
  if (before == after) {
    EXPECT_STREQ(with_dot, without_dot);
  }
  EXPECT_FALSE(qel_file_exists(with_dot));
}

TEST_F(FilesTest, TempnameSkipsNamesThatExistAndCutsToSize) {
  char first[256];
  qel_tempname(first, sizeof first, (dir_.path() + "/").c_str(), nullptr, "html");
  write(first, "taken");
  char second[256];
  qel_tempname(second, sizeof second, dir_.path().c_str(), nullptr, "html");
  EXPECT_STRNE(first, second);

  char tiny[6];
  qel_tempname(tiny, sizeof tiny, "/nonexistent-dir", "p", nullptr);
  EXPECT_STREQ(tiny, "/none");
  // Cut to a name that exists whatever the time: answered, not retried forever.
  char cut[5];
  qel_tempname(cut, sizeof cut, "/tmp", "p", nullptr);
  EXPECT_STREQ(cut, "/tmp");
}

// Names taken in one second are followed by the next seconds' names, in
// the same form, each one free when it is given.
TEST_F(FilesTest, TempnameFollowsTakenNamesWithLaterSeconds) {
  const std::string head = dir_.path() + "/run" + std::to_string(::getpid());
  unsigned long last = 0;
  for (int i = 0; i < 5; ++i) {
    char name[256];
    qel_tempname(name, sizeof name, dir_.path().c_str(), "run", "tmp");
    ASSERT_FALSE(qel_file_exists(name)) << name;
    const std::string text = name;
    ASSERT_EQ(text.rfind(head, 0), 0u) << text;
    const unsigned long t = std::stoul(text.substr(head.size(), text.size() - 4 - head.size()), nullptr, 16);
    if (i > 0) {
      EXPECT_GT(t, last) << text;
    }
    last = t;
    write(name, "taken");
  }
}

// A link planted under the next name, even one that points nowhere, takes
// that name: the new file is made elsewhere and nothing goes through it.
TEST_F(FilesTest, CreateTempfileNeverUsesAPlantedLink) {
  char planted[256];
  qel_tempname(planted, sizeof planted, dir_.path().c_str(), "dl", "tmp");
  const std::string target = path("target");
  ASSERT_EQ(::symlink(target.c_str(), planted), 0);
  char name[256];
  const int fd = qel_create_tempfile(name, sizeof name, dir_.path().c_str(), "dl", "tmp");
  ASSERT_GE(fd, 0);
  ::close(fd);
  EXPECT_NE(std::string(name), planted);
  EXPECT_EQ(fs::file_size(name), 0u);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_TRUE(fs::is_symlink(planted));
  EXPECT_EQ(qel_create_tempfile(name, sizeof name, "/nonexistent-dir", "dl", "tmp"), -1);
}

TEST_F(FilesTest, TempnameUsesTmpdir) {
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  ::setenv("TMPDIR", dir_.path().c_str(), 1);
  char name[256];
  qel_tempname(name, sizeof name, nullptr, "tessel", "html");
  if (old)
    ::setenv("TMPDIR", saved.c_str(), 1);
  else
    ::unsetenv("TMPDIR");
  EXPECT_EQ(std::string(name).rfind(dir_.path() + "/tessel", 0), 0u) << name;
}

TEST_F(FilesTest, MkdirsCreatesEveryLevelAndAcceptsExisting) {
  const std::string deep = path("a/b/c/");
  EXPECT_EQ(qel_mkdirs(deep.c_str(), 0), 1);
  EXPECT_TRUE(fs::is_directory(path("a/b/c")));
  EXPECT_EQ(qel_mkdirs(path("a/b").c_str(), 0), 1);

  write(path("file"), "x");
  EXPECT_EQ(qel_mkdirs(path("file/sub").c_str(), 0), 0);
}

TEST_F(FilesTest, CopyRefusesEmptySourceAndCopiesLargeFiles) {
  write(path("empty"), "");
  EXPECT_EQ(qel_copy_file(path("empty").c_str(), path("out").c_str()), 0);
  EXPECT_FALSE(qel_file_exists(path("out").c_str()));
  EXPECT_EQ(qel_copy_file(path("missing").c_str(), path("out").c_str()), 0);

  std::string big(2500000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + 7);
  write(path("big"), big);
  EXPECT_EQ(qel_copy_file(path("big").c_str(), path("copy").c_str()), 1);
  EXPECT_EQ(read(path("copy")), big);
  EXPECT_EQ(qel_file_size(path("copy").c_str()), 2500000);
  EXPECT_EQ(qel_file_size(path("missing").c_str()), -1);
}

TEST_F(FilesTest, MoveReplacesDestinationAndKeepsSourceOnFailure) {
  write(path("src"), "new");
  write(path("dst"), "old");
  EXPECT_EQ(qel_move_file(path("src").c_str(), path("dst").c_str()), 1);
  EXPECT_EQ(read(path("dst")), "new");
  EXPECT_FALSE(qel_file_exists(path("src").c_str()));

  write(path("keep"), "data");
  EXPECT_EQ(qel_move_file(path("keep").c_str(), path("no/such/dir/x").c_str()), 0);
  EXPECT_EQ(read(path("keep")), "data");
}

TEST(Basename, AnswersTextAfterLastSeparator) {
  EXPECT_STREQ(qel_basename("/a/b/c.png"), "c.png");
  EXPECT_STREQ(qel_basename("plain"), "plain");
  EXPECT_STREQ(qel_basename("dir/"), "");
}
