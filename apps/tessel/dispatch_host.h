// The host's side of the control module: it loads the shared library, makes
// the control through the class factory, loads it from the page's property
// bag and calls it through IDispatch by name, as a web page's script does.
#pragma once

#include <cstdio>
#include <string>

#include "control/module/tessel_module_exports.h"
#include "platform/com_ole.h"
#include "platform/shared_library.h"

class PropertyBag;

// The module's library and exports. The library stays mapped past the end
// when the module still answers for something (a reference someone lost
// track of); unloading it then would leave that reference pointing nowhere.
class ControlModule {
 public:
  ~ControlModule();

  // Loads the module: $TESSEL_MODULE when set, else lib/tessel/Tessel.so
  // of the installation or control/Tessel.so of the build this program
  // belongs to. False with a reason when the file or an export is missing.
  bool open(std::string* error);
  bool is_open() const { return static_cast<bool>(library_); }
  const std::string& path() const { return path_; }
  const TesselModuleExports& exports() const { return exports_; }

 private:
  SharedLibrary library_;
  std::string path_;
  TesselModuleExports exports_;
};

class ControlHost {
 public:
  ControlHost() = default;
  ~ControlHost();
  ControlHost(const ControlHost&) = delete;
  ControlHost& operator=(const ControlHost&) = delete;

  // Loads the module (see ControlModule::open) and hands the host's
  // platform services to it. False with a reason when it cannot.
  bool open_module(std::string* error);
  const std::string& module_path() const { return module_.path(); }

  // The module's own registration entry points.
  HRESULT register_module();
  HRESULT unregister_module();

  // Creates the control and runs its load from the bag. False with a reason
  // when the control cannot be made; the load's own result is the
  // control's business (it reports through message boxes).
  bool create_control(PropertyBag* bag, std::string* error);
  bool has_control() const { return static_cast<bool>(control_); }

  // Script calls by member name; a failed method call is reported on
  // standard error.
  HRESULT call(const char* method);
  HRESULT get(const char* property, VARIANT* result);
  HRESULT put(const char* property, const VARIANT& value);

  // Draws the control's area through its view.
  HRESULT draw(DeviceContext* dc, const DcRect& bounds);

  // What scripts cannot reach but the host needs, through the module's
  // host exports: the page counter and the outcomes (an empty report
  // without a control), going to a page without a repaint, and the
  // document tree (nothing without a document).
  TesselControlReport report() const;
  bool go_to_page(int page);
  // Hands each page a draw lays out to `drawn` (see TesselOnPageDrawnFn);
  // null stops it.
  bool on_page_drawn(TesselPageDrawnFn drawn, void* user);
  void dump_tree(std::FILE* out);

 private:
  HRESULT invoke(const char* name, WORD flags, VARIANT* args, UINT count, VARIANT* result);
  const TesselModuleExports& exports() const { return module_.exports(); }

  ControlModule module_;  // goes last, after everything the module made
  ComPtr<IDispatch> control_;
};
