// Settings store: values survive reopening, case-insensitive keys, size
// negotiation, deletion rules, damaged files, and proxy values from the
// environment.
#include "platform/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/temp_dir.h"

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TESSEL_REGISTRY_USER", (dir_.file("user")).c_str(), 1);
    setenv("TESSEL_REGISTRY_SYSTEM", (dir_.file("system")).c_str(), 1);
    setenv("TESSEL_REGISTRY_CLASSES", (dir_.file("classes")).c_str(), 1);
    for (const char* v : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "no_proxy", "NO_PROXY"})
      unsetenv(v);
  }
  void TearDown() override {
    for (const char* v : {"TESSEL_REGISTRY_USER", "TESSEL_REGISTRY_SYSTEM", "TESSEL_REGISTRY_CLASSES", "http_proxy",
                          "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "no_proxy", "NO_PROXY"})
      unsetenv(v);
  }
  std::string read_string(RegRoot root, const char* path, const char* name) {
    RegKey* key = nullptr;
    if (RegOpenKey(root, path, REG_ACCESS_READ, &key) != REG_OK) return "<no key>";
    char buf[1024] = {};
    uint32_t size = sizeof buf, type = 0;
    long rc = RegQueryValue(key, name, &type, buf, &size);
    RegCloseKey(key);
    if (rc != REG_OK) return "<no value>";
    return std::string(buf, size ? size - 1 : 0);
  }
  tessel_testing::TempDir dir_;
};

const char* kPrinters = "SOFTWARE\\ORV\\Tessel\\Printers";
const char* kInternet = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

TEST_F(RegistryTest, ValuesPersistAcrossHandlesAndIgnoreCase) {
  RegKey* key = nullptr;
  ASSERT_EQ(RegCreateKey(RegRoot::CurrentUser, kPrinters, REG_ACCESS_ALL, &key), REG_OK);
  EXPECT_EQ(RegSetString(key, "Default", "Office \"Laser\"\\2\n"), REG_OK);
  EXPECT_EQ(RegSetString(key, nullptr, "unnamed"), REG_OK);
  EXPECT_EQ(RegSetDword(key, "Copies", 0x01020304u), REG_OK);
  const unsigned char blob[] = {0, 1, 0xff, '"'};
  EXPECT_EQ(RegSetValue(key, "Blob", REG_BINARY, blob, sizeof blob), REG_OK);
  RegCloseKey(key);

  EXPECT_EQ(read_string(RegRoot::CurrentUser, "software\\orv\\TESSEL\\printers\\", "DEFAULT"), "Office \"Laser\"\\2\n");
  EXPECT_EQ(read_string(RegRoot::CurrentUser, kPrinters, ""), "unnamed");
  // Another root does not see it.
  EXPECT_EQ(read_string(RegRoot::LocalMachine, kPrinters, "Default"), "<no key>");

  ASSERT_EQ(RegOpenKey(RegRoot::CurrentUser, kPrinters, REG_ACCESS_READ, &key), REG_OK);
  unsigned char out[8] = {};
  uint32_t size = sizeof out, type = 0;
  ASSERT_EQ(RegQueryValue(key, "copies", &type, out, &size), REG_OK);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(out[3], 1);
  size = sizeof out;
  ASSERT_EQ(RegQueryValue(key, "Blob", &type, out, &size), REG_OK);
  EXPECT_EQ(type, REG_BINARY);
  ASSERT_EQ(size, sizeof blob);
  EXPECT_EQ(std::memcmp(out, blob, sizeof blob), 0);
  // Writing through a read-only handle is refused.
  EXPECT_EQ(RegSetDword(key, "Copies", 2), REG_ACCESS_DENIED);
  RegCloseKey(key);
}

// Every print stores its printer again; only a real change rewrites the
// file (each rewrite is a new file renamed into place).
TEST_F(RegistryTest, StoringWhatIsThereLeavesTheFileAlone) {
  const std::string file = dir_.file("user/registry.reg");
  auto inode = [&file]() -> ino_t {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
  };
  RegKey* key = nullptr;
  ASSERT_EQ(RegCreateKey(RegRoot::CurrentUser, kPrinters, REG_ACCESS_ALL, &key), REG_OK);
  ASSERT_EQ(RegSetString(key, nullptr, "pdf:/tmp/out.pdf"), REG_OK);
  const auto first = inode();
  ASSERT_NE(first, 0u);
  EXPECT_EQ(RegSetString(key, nullptr, "pdf:/tmp/out.pdf"), REG_OK);
  EXPECT_EQ(inode(), first);

  EXPECT_EQ(RegSetString(key, nullptr, "office"), REG_OK);
  EXPECT_NE(inode(), first);
  EXPECT_EQ(read_string(RegRoot::CurrentUser, kPrinters, ""), "office");
  // Same bytes under another type are a change too.
  const auto second = inode();
  EXPECT_EQ(RegSetValue(key, nullptr, REG_BINARY, "office", 7), REG_OK);
  EXPECT_NE(inode(), second);
  RegCloseKey(key);

  ASSERT_EQ(RegOpenKey(RegRoot::CurrentUser, kPrinters, REG_ACCESS_READ, &key), REG_OK);
  EXPECT_EQ(RegSetValue(key, nullptr, REG_BINARY, "office", 7), REG_ACCESS_DENIED);
  RegCloseKey(key);
}

TEST_F(RegistryTest, QueryNegotiatesSizeAndReportsMissing) {
  RegKey* key = nullptr;
  ASSERT_EQ(RegCreateKey(RegRoot::LocalMachine, kPrinters, REG_ACCESS_ALL, &key), REG_OK);
  ASSERT_EQ(RegSetString(key, "Name", "abcdefgh"), REG_OK);
  uint32_t size = 0;
  EXPECT_EQ(RegQueryValue(key, "Name", nullptr, nullptr, &size), REG_OK);
  EXPECT_EQ(size, 9u);
  char small[4] = {'x', 'x', 'x', 'x'};
  size = sizeof small;
  EXPECT_EQ(RegQueryValue(key, "Name", nullptr, small, &size), REG_MORE_DATA);
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(small[0], 'x');  // nothing written on a short buffer
  EXPECT_EQ(RegQueryValue(key, "Other", nullptr, nullptr, &size), REG_NOT_FOUND);
  EXPECT_EQ(RegDeleteValue(key, "Name"), REG_OK);
  EXPECT_EQ(RegQueryValue(key, "Name", nullptr, nullptr, &size), REG_NOT_FOUND);
  EXPECT_EQ(RegDeleteValue(key, "Name"), REG_NOT_FOUND);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKey(RegRoot::LocalMachine, "SOFTWARE\\Nothing", REG_ACCESS_READ, &key), REG_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
}

TEST_F(RegistryTest, EnumerationAndDeletion) {
  RegKey* key = nullptr;
  for (const char* p : {"SOFTWARE\\ORV\\Tessel\\Printers", "SOFTWARE\\ORV\\Tessel\\Device", "SOFTWARE\\ORV\\Other"}) {
    ASSERT_EQ(RegCreateKey(RegRoot::ClassesRoot, p, REG_ACCESS_ALL, &key), REG_OK);
    RegCloseKey(key);
  }
  ASSERT_EQ(RegOpenKey(RegRoot::ClassesRoot, "SOFTWARE\\ORV", REG_ACCESS_ALL, &key), REG_OK);
  char name[64];
  uint32_t name_size = sizeof name;
  ASSERT_EQ(RegEnumKey(key, 0, name, &name_size), REG_OK);
  EXPECT_STREQ(name, "Other");
  name_size = sizeof name;
  ASSERT_EQ(RegEnumKey(key, 1, name, &name_size), REG_OK);
  EXPECT_STREQ(name, "Tessel");
  name_size = sizeof name;
  EXPECT_EQ(RegEnumKey(key, 2, name, &name_size), REG_NO_MORE_ITEMS);
  ASSERT_EQ(RegSetString(key, "a", "1"), REG_OK);
  ASSERT_EQ(RegSetDword(key, "b", 2), REG_OK);
  ASSERT_EQ(RegSetString(key, "A", "3"), REG_OK);  // replaces "a"
  name_size = sizeof name;
  char data[8];
  uint32_t size = sizeof data, type = 0;
  ASSERT_EQ(RegEnumValue(key, 0, name, &name_size, &type, data, &size), REG_OK);
  EXPECT_STREQ(name, "a");
  EXPECT_STREQ(data, "3");
  name_size = sizeof name;
  EXPECT_EQ(RegEnumValue(key, 2, name, &name_size, &type, data, &size), REG_NO_MORE_ITEMS);

  EXPECT_EQ(RegDeleteKey(RegRoot::ClassesRoot, "SOFTWARE\\ORV\\Tessel"), REG_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteTree(RegRoot::ClassesRoot, "SOFTWARE\\ORV\\Tessel"), REG_OK);
  RegKey* gone = nullptr;
  EXPECT_EQ(RegOpenKey(RegRoot::ClassesRoot, kPrinters, REG_ACCESS_READ, &gone), REG_NOT_FOUND);
  EXPECT_EQ(RegDeleteKey(RegRoot::ClassesRoot, "SOFTWARE\\ORV\\Other"), REG_OK);
  // The open handle's key still exists; a deleted one reports so.
  EXPECT_EQ(RegSetDword(key, "c", 1), REG_OK);
  EXPECT_EQ(RegDeleteTree(RegRoot::ClassesRoot, "SOFTWARE"), REG_OK);
  EXPECT_EQ(RegSetDword(key, "c", 1), REG_KEY_DELETED);
  RegCloseKey(key);
}

TEST_F(RegistryTest, DamagedFileKeepsWhatParsesAndWritesAreAtomic) {
  std::filesystem::create_directories(dir_.file("user"));
  {
    std::ofstream f(dir_.file("user/registry.reg"));
    f << "[Good]\n\"ok\"=\"yes\"\n\"bad\"=dword:zz\n\"cut\"=\"open\ngarbage line\n\"n\"=hex(3):0a,0\n"
         "\"num\"=dword:0000002a\n";
  }
  EXPECT_EQ(read_string(RegRoot::CurrentUser, "Good", "ok"), "yes");
  EXPECT_EQ(read_string(RegRoot::CurrentUser, "Good", "bad"), "<no value>");
  EXPECT_EQ(read_string(RegRoot::CurrentUser, "Good", "n"), "<no value>");
  RegKey* key = nullptr;
  ASSERT_EQ(RegOpenKey(RegRoot::CurrentUser, "Good", REG_ACCESS_ALL, &key), REG_OK);
  ASSERT_EQ(RegSetString(key, "new", "v"), REG_OK);
  RegCloseKey(key);
  EXPECT_EQ(read_string(RegRoot::CurrentUser, "Good", "ok"), "yes");
  EXPECT_EQ(read_string(RegRoot::CurrentUser, "Good", "new"), "v");
  // No temporary files are left beside the tree.
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir_.file("user")))
    if (e.path().filename().string().rfind("registry.reg.", 0) == 0) ++files;
  EXPECT_EQ(files, 0);
}

TEST_F(RegistryTest, UnusableRootFailsCleanly) {
  // The root directory cannot be made because a file stands in its way.
  std::ofstream(dir_.file("plain-file")) << "x";
  setenv("TESSEL_REGISTRY_SYSTEM", (dir_.file("plain-file/system")).c_str(), 1);
  RegKey* key = nullptr;
  EXPECT_NE(RegCreateKey(RegRoot::LocalMachine, kPrinters, REG_ACCESS_ALL, &key), REG_OK);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKey(RegRoot::LocalMachine, kPrinters, REG_ACCESS_READ, &key), REG_NOT_FOUND);
}

TEST_F(RegistryTest, InternetSettingsFromEnvironment) {
  RegKey* key = nullptr;
  EXPECT_EQ(RegOpenKey(RegRoot::CurrentUser, kInternet, REG_ACCESS_READ, &key), REG_NOT_FOUND);

  setenv("http_proxy", "http://proxy.example:3128/", 1);
  setenv("HTTPS_PROXY", "https://secure.example:8443", 1);
  setenv("no_proxy", "localhost, 127.0.0.1,,.corp", 1);
  ASSERT_EQ(RegOpenKey(RegRoot::CurrentUser, kInternet, REG_ACCESS_READ, &key), REG_OK);
  unsigned char enable[10] = {};
  uint32_t size = sizeof enable;
  ASSERT_EQ(RegQueryValue(key, "ProxyEnable", nullptr, enable, &size), REG_OK);
  EXPECT_EQ(enable[0], 1);
  RegCloseKey(key);
  EXPECT_EQ(read_string(RegRoot::CurrentUser, kInternet, "ProxyServer"),
            "http=proxy.example:3128;https=secure.example:8443");
  EXPECT_EQ(read_string(RegRoot::CurrentUser, kInternet, "NoProxy"), "localhost,127.0.0.1,.corp");
  EXPECT_EQ(read_string(RegRoot::CurrentUser, kInternet, "ProxyOverride"), "<no value>");
  // Only the current user's tree shows them.
  EXPECT_EQ(read_string(RegRoot::LocalMachine, kInternet, "ProxyServer"), "<no key>");

  // Stored values win over the environment, one by one.
  ASSERT_EQ(RegCreateKey(RegRoot::CurrentUser, kInternet, REG_ACCESS_ALL, &key), REG_OK);
  ASSERT_EQ(RegSetDword(key, "ProxyEnable", 0), REG_OK);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKey(RegRoot::CurrentUser, kInternet, REG_ACCESS_READ, &key), REG_OK);
  size = sizeof enable;
  ASSERT_EQ(RegQueryValue(key, "ProxyEnable", nullptr, enable, &size), REG_OK);
  EXPECT_EQ(enable[0], 0);
  RegCloseKey(key);
  EXPECT_EQ(read_string(RegRoot::CurrentUser, kInternet, "ProxyServer"),
            "http=proxy.example:3128;https=secure.example:8443");
}

}  // namespace
