// Self-registration under the classes root, and when the module may unload.
#include <climits>
#include <cstdlib>

#include "common/http_fixture.h"
#include "module_fixture.h"
#include "platform/registry.h"

namespace {

using tessel_testing::ModuleTest;
using tessel_testing::TempDir;

// Points the classes root at a fresh folder for the length of a test.
class ClassesRoot {
 public:
  ClassesRoot() {
    const char* old = std::getenv("TESSEL_REGISTRY_CLASSES");
    had_ = old != nullptr;
    if (had_) previous_ = old;
    ::setenv("TESSEL_REGISTRY_CLASSES", dir_.path().c_str(), 1);
  }
  ~ClassesRoot() {
    if (had_)
      ::setenv("TESSEL_REGISTRY_CLASSES", previous_.c_str(), 1);
    else
      ::unsetenv("TESSEL_REGISTRY_CLASSES");
  }

 private:
  TempDir dir_;
  bool had_ = false;
  std::string previous_;
};

bool key_exists(const std::string& path) {
  RegKey* key = nullptr;
  if (RegOpenKey(RegRoot::ClassesRoot, path.c_str(), REG_ACCESS_READ, &key) != REG_OK) return false;
  RegCloseKey(key);
  return true;
}

// The string value, or "<missing>".
std::string value(const std::string& path, const char* name = nullptr) {
  RegKey* key = nullptr;
  if (RegOpenKey(RegRoot::ClassesRoot, path.c_str(), REG_ACCESS_READ, &key) != REG_OK) return "<missing>";
  char data[4096] = {};
  uint32_t size = sizeof data - 1;
  uint32_t type = 0;
  const long rc = RegQueryValue(key, name, &type, data, &size);
  RegCloseKey(key);
  return rc == REG_OK && type == REG_SZ ? std::string(data) : "<missing>";
}

void create_key(const std::string& path) {
  RegKey* key = nullptr;
  ASSERT_EQ(RegCreateKey(RegRoot::ClassesRoot, path.c_str(), REG_ACCESS_ALL, &key), REG_OK);
  RegCloseKey(key);
}

TEST_F(ModuleTest, RegistrationWritesTheClassAndUnregistrationKeepsTheRoots) {
  ClassesRoot root;
  const std::string clsid = guid_to_string(CLSID_TesselCtrl);
  const std::string appid = guid_to_string(APPID_Tessel);
  const std::string c = "CLSID\\" + clsid;
  // Left over from an earlier registration: removed before writing.
  create_key(c + "\\Control\\Stale");
  create_key(c + "\\Leftover");

  ASSERT_EQ(exports_.register_server(), S_OK);
  char module[PATH_MAX];
  ASSERT_NE(::realpath(tessel_testing::kModulePath.c_str(), module), nullptr);

  EXPECT_EQ(value("Tessel.TesselCtrl.1"), "CTesselCtrl Object");
  EXPECT_EQ(value("Tessel.TesselCtrl.1\\CLSID"), clsid);
  EXPECT_EQ(value("Tessel.TesselCtrl"), "CTesselCtrl Object");
  EXPECT_EQ(value("Tessel.TesselCtrl\\CLSID"), clsid);
  EXPECT_EQ(value("Tessel.TesselCtrl\\CurVer"), "Tessel.TesselCtrl.1");
  EXPECT_EQ(value(c), "CTesselCtrl Object");
  EXPECT_EQ(value(c, "AppID"), appid);
  EXPECT_EQ(value(c + "\\ProgID"), "Tessel.TesselCtrl.1");
  EXPECT_EQ(value(c + "\\VersionIndependentProgID"), "Tessel.TesselCtrl");
  EXPECT_EQ(value(c + "\\InprocServer32"), module);
  EXPECT_EQ(value(c + "\\InprocServer32", "ThreadingModel"), "apartment");
  EXPECT_TRUE(key_exists(c + "\\Control"));
  EXPECT_FALSE(key_exists(c + "\\Control\\Stale"));
  EXPECT_FALSE(key_exists(c + "\\Leftover"));
  EXPECT_EQ(value(c + "\\ToolboxBitmap32"), std::string(module) + ", 1");
  EXPECT_EQ(value(c + "\\MiscStatus"), "0");
  EXPECT_EQ(value(c + "\\MiscStatus\\1"), "131473");
  EXPECT_EQ(value(c + "\\TypeLib"), guid_to_string(LIBID_TesselLib));
  EXPECT_EQ(value(c + "\\Version"), "1.0");
  EXPECT_EQ(value("AppID\\" + appid), "Tessel");
  EXPECT_EQ(value("AppID\\Tessel.DLL", "AppID"), appid);
  EXPECT_EQ(value("TypeLib\\" + guid_to_string(LIBID_TesselLib) + "\\1.0"), "Tessel 1.0 Type Library");

  // Registering twice gives the same tree.
  ASSERT_EQ(exports_.register_server(), S_OK);
  EXPECT_EQ(value(c + "\\MiscStatus\\1"), "131473");

  // Another class's keys and the shared roots survive unregistration.
  create_key("CLSID\\{00000000-1111-2222-3333-444444444444}");
  ASSERT_EQ(exports_.unregister_server(), S_OK);
  EXPECT_TRUE(key_exists("CLSID"));
  EXPECT_TRUE(key_exists("AppID"));
  EXPECT_TRUE(key_exists("CLSID\\{00000000-1111-2222-3333-444444444444}"));
  for (const std::string& gone :
       {c, std::string("Tessel.TesselCtrl"), std::string("Tessel.TesselCtrl.1"), "AppID\\" + appid,
        std::string("AppID\\Tessel.DLL"), "TypeLib\\" + guid_to_string(LIBID_TesselLib),
        "Interface\\" + guid_to_string(IID_ITesselCtrl)})
    EXPECT_FALSE(key_exists(gone)) << gone;

  // Nothing left to remove is no failure, and the roots still stay.
  EXPECT_EQ(exports_.unregister_server(), S_OK);
  EXPECT_TRUE(key_exists("CLSID"));
  EXPECT_TRUE(key_exists("AppID"));
}

TEST_F(ModuleTest, UnloadableOnlyWithoutObjectsOrLocks) {
  EXPECT_EQ(exports_.can_unload_now(), S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(exports_.get_class_object(CLSID_TesselCtrl, IID_IClassFactory, factory.put_void()), S_OK);
  EXPECT_EQ(exports_.can_unload_now(), S_FALSE);  // the factory is held

  ComPtr<IUnknown> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()), S_OK);
  EXPECT_EQ(factory->LockServer(1), S_OK);
  factory.reset();
  EXPECT_EQ(exports_.can_unload_now(), S_FALSE);  // an object and a lock

  object.reset();
  EXPECT_EQ(exports_.can_unload_now(), S_FALSE);  // the lock
  ASSERT_EQ(exports_.get_class_object(CLSID_TesselCtrl, IID_IClassFactory, factory.put_void()), S_OK);
  EXPECT_EQ(factory->LockServer(0), S_OK);
  factory.reset();
  EXPECT_EQ(exports_.can_unload_now(), S_OK);

  // A request the factory cannot serve leaves nothing behind.
  ASSERT_EQ(exports_.get_class_object(CLSID_TesselCtrl, IID_IClassFactory, factory.put_void()), S_OK);
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  IUnknown* outer = reinterpret_cast<IUnknown*>(factory.get());
  EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
  factory.reset();
  EXPECT_EQ(exports_.can_unload_now(), S_OK);

  const CLSID other = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(exports_.get_class_object(other, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(p, nullptr);
}

}  // namespace
