// Loading the control module and calling the control through IDispatch.
#include "apps/tessel/dispatch_host.h"

#include <cstdio>
#include <cstdlib>

#include "apps/tessel/host.h"
#include "platform/host_services.h"

ControlModule::~ControlModule() {
  if (exports_.can_unload_now != nullptr && exports_.can_unload_now() != S_OK) (void)library_.release();
}

bool ControlModule::open(std::string* error) {
  if (library_) return true;
  // An installed host keeps the module in ../lib/tessel, the build tree in
  // ../control.
  const char* configured = std::getenv("TESSEL_MODULE");
  path_ = configured != nullptr && *configured != '\0'
              ? std::string(configured)
              : first_existing({from_program("../lib/tessel/Tessel.so"), from_program("../control/Tessel.so")});
  library_ = shared_library_open(path_.c_str());
  if (!library_) {
    *error = "cannot load the control module " + path_ + " (set TESSEL_MODULE to its file)";
    return false;
  }
  if (!exports_.resolve(library_.get())) {
    *error = path_ + " lacks the control module's exports";
    library_.reset();
    return false;
  }
  return true;
}

ControlHost::~ControlHost() {
  control_.reset();
  if (exports().adopt_host_services != nullptr) exports().adopt_host_services(nullptr);
}

bool ControlHost::open_module(std::string* error) {
  if (module_.is_open()) return true;
  if (!module_.open(error)) return false;
  const HostServices services = host_services();
  exports().adopt_host_services(&services);
  return true;
}

HRESULT ControlHost::register_module() {
  return exports().register_server != nullptr ? exports().register_server() : E_UNEXPECTED;
}

HRESULT ControlHost::unregister_module() {
  return exports().unregister_server != nullptr ? exports().unregister_server() : E_UNEXPECTED;
}

bool ControlHost::create_control(PropertyBag* bag, std::string* error) {
  if (exports().get_class_object == nullptr) {
    *error = "the control module is not loaded";
    return false;
  }
  ComPtr<IClassFactory> factory;
  HRESULT hr = exports().get_class_object(CLSID_TesselCtrl, IID_IClassFactory, factory.put_void());
  if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, IID_IDispatch, control_.put_void());
  if (FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    *error = std::string("the control module cannot make the control (") + code + ")";
    return false;
  }
  if (const ComPtr<IPersistPropertyBag> persist = control_.query<IPersistPropertyBag>()) persist->Load(bag, nullptr);
  return true;
}

HRESULT ControlHost::invoke(const char* name, WORD flags, VARIANT* args, UINT count, VARIANT* result) {
  if (!control_) return E_UNEXPECTED;
  BStr wide(name);
  OLECHAR* names[] = {wide.get()};
  DISPID id = DISPID_UNKNOWN;
  if (const HRESULT hr = control_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); FAILED(hr)) return hr;
  DISPID put = DISPID_PROPERTYPUT;
  const bool named = flags == DISPATCH_PROPERTYPUT;
  DISPPARAMS params{args, named ? &put : nullptr, count, named ? 1u : 0u};
  return control_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

HRESULT ControlHost::call(const char* method) {
  const HRESULT hr = invoke(method, DISPATCH_METHOD, nullptr, 0, nullptr);
  if (FAILED(hr)) std::fprintf(stderr, "tessel: %s failed (0x%08X)\n", method, static_cast<unsigned>(hr));
  return hr;
}

HRESULT ControlHost::get(const char* property, VARIANT* result) {
  return invoke(property, DISPATCH_PROPERTYGET, nullptr, 0, result);
}

HRESULT ControlHost::put(const char* property, const VARIANT& value) {
  VARIANT copy = value;  // Invoke only reads it
  return invoke(property, DISPATCH_PROPERTYPUT, &copy, 1, nullptr);
}

HRESULT ControlHost::draw(DeviceContext* dc, const DcRect& bounds) {
  const ComPtr<IViewObject> view = control_.query<IViewObject>();
  return view ? view->Draw(DVASPECT_CONTENT, dc, &bounds) : E_UNEXPECTED;
}

TesselControlReport ControlHost::report() const {
  TesselControlReport report;
  if (control_ && exports().report_control != nullptr) exports().report_control(control_.get(), &report);
  return report;
}

bool ControlHost::go_to_page(int page) {
  return control_ && exports().go_to_page != nullptr && exports().go_to_page(control_.get(), page);
}

bool ControlHost::on_page_drawn(TesselPageDrawnFn drawn, void* user) {
  return control_ && exports().on_page_drawn != nullptr && exports().on_page_drawn(control_.get(), drawn, user);
}

void ControlHost::dump_tree(std::FILE* out) {
  if (control_ && exports().dump_tree != nullptr) exports().dump_tree(control_.get(), out);
}
