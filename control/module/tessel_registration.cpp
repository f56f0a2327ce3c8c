// Self-registration: the class, its ProgIDs, the application id and the type
// library under the classes root, and their removal.
#include "control/module/tessel_registration.h"

#include <memory>
#include <string>
#include <vector>

#include "control/module/tessel_module.h"
#include "platform/registry.h"
#include "platform/shared_library.h"

namespace {

// One value to write; a null data writes the key alone.
struct Entry {
  std::string key;
  const char* name;
  std::string data;
  bool key_only = false;
};

std::string clsid_key() {
  return "CLSID\\" + guid_to_string(CLSID_TesselCtrl);
}

std::vector<Entry> entries(const std::string& module) {
  const std::string clsid = guid_to_string(CLSID_TesselCtrl);
  const std::string appid = guid_to_string(APPID_Tessel);
  const std::string libid = guid_to_string(LIBID_TesselLib);
  const std::string c = clsid_key();
  const std::string lib = "TypeLib\\" + libid + "\\1.0";
  const std::string itf = "Interface\\" + guid_to_string(IID_ITesselCtrl);
  const size_t slash = module.rfind('/');
  const std::string module_dir = slash == std::string::npos ? std::string() : module.substr(0, slash);
  return {
      {"Tessel.TesselCtrl.1", nullptr, "CTesselCtrl Object"},
      {"Tessel.TesselCtrl.1\\CLSID", nullptr, clsid},
      {"Tessel.TesselCtrl", nullptr, "CTesselCtrl Object"},
      {"Tessel.TesselCtrl\\CLSID", nullptr, clsid},
      {"Tessel.TesselCtrl\\CurVer", nullptr, "Tessel.TesselCtrl.1"},
      {c, nullptr, "CTesselCtrl Object"},
      {c + "\\ProgID", nullptr, "Tessel.TesselCtrl.1"},
      {c + "\\VersionIndependentProgID", nullptr, "Tessel.TesselCtrl"},
      {c + "\\InprocServer32", nullptr, module},
      {c + "\\InprocServer32", "ThreadingModel", "apartment"},
      {c + "\\Control", nullptr, {}, true},
      {c + "\\ToolboxBitmap32", nullptr, module + ", 1"},
      {c + "\\MiscStatus", nullptr, "0"},
      {c + "\\MiscStatus\\1", nullptr, "131473"},
      {c, "AppID", appid},
      {c + "\\TypeLib", nullptr, libid},
      {c + "\\Version", nullptr, "1.0"},
      {"AppID\\" + appid, nullptr, "Tessel"},
      {"AppID\\Tessel.DLL", "AppID", appid},
      // The type library's own registration.
      {lib, nullptr, "Tessel 1.0 Type Library"},
      {lib + "\\FLAGS", nullptr, "0"},
      {lib + "\\0\\linux", nullptr, module},
      {lib + "\\HELPDIR", nullptr, module_dir},
      {itf, nullptr, "ITesselCtrl"},
      {itf + "\\TypeLib", nullptr, libid},
      {itf + "\\TypeLib", "Version", "1.0"},
  };
}

long write_entry(const Entry& e) {
  RegKey* raw = nullptr;
  if (const long rc = RegCreateKey(RegRoot::ClassesRoot, e.key.c_str(), REG_ACCESS_ALL, &raw); rc != REG_OK) return rc;
  RegKeyPtr key(raw);
  return e.key_only ? REG_OK : RegSetString(key.get(), e.name, e.data.c_str());
}

long delete_tree(const std::string& path) {
  const long rc = RegDeleteTree(RegRoot::ClassesRoot, path.c_str());
  return rc == REG_NOT_FOUND ? REG_OK : rc;
}

// Every key that registration creates below a shared root, which itself stays.
std::vector<std::string> owned_trees() {
  return {
      "Tessel.TesselCtrl.1",
      "Tessel.TesselCtrl",
      clsid_key(),
      "AppID\\" + guid_to_string(APPID_Tessel),
      "AppID\\Tessel.DLL",
      "TypeLib\\" + guid_to_string(LIBID_TesselLib),
      "Interface\\" + guid_to_string(IID_ITesselCtrl),
  };
}

}  // namespace

HRESULT register_tessel_module() {
  const std::string module = code_file();
  if (module.empty()) return SELFREG_E_CLASS;
  const std::string c = clsid_key();
  // These start afresh, whatever an earlier registration left below them.
  for (const std::string& key : {c, c + "\\Control", c + "\\ToolboxBitmap32"})
    if (delete_tree(key) != REG_OK) return SELFREG_E_CLASS;
  for (const Entry& e : entries(module))
    if (write_entry(e) != REG_OK)
      return e.key.rfind("TypeLib\\", 0) == 0 || e.key.rfind("Interface\\", 0) == 0 ? SELFREG_E_TYPELIB
                                                                                    : SELFREG_E_CLASS;
  return S_OK;
}

HRESULT unregister_tessel_module() {
  HRESULT result = S_OK;
  for (const std::string& tree : owned_trees())
    if (delete_tree(tree) != REG_OK) result = SELFREG_E_CLASS;
  return result;
}
