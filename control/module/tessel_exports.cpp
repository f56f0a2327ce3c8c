// The module's entry points: the class factory, unloading, registration,
// start-up and shut-down. Those for the host program alone are in
// tessel_host_exports.cpp.
#include <atomic>

#include "control/module/tessel_export.h"
#include "control/module/tessel_object.h"
#include "control/module/tessel_registration.h"
#include "platform/host_services.h"

namespace {

// The one factory lives as long as the module; references a caller holds
// keep the module loaded like objects and locks do.
class ClassFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override {
    module_lock();
    return ++refs_;
  }
  ULONG Release() override {
    const ULONG left = --refs_;
    module_unlock();
    return left;
  }

  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return TesselControlObject::create(iid, object);
  }
  HRESULT LockServer(BOOL lock) override {
    if (lock)
      module_lock();
    else
      module_unlock();
    return S_OK;
  }

 private:
  std::atomic<ULONG> refs_{0};
};

ClassFactory factory;

}  // namespace

TESSEL_EXPORT HRESULT DllCanUnloadNow() {
  return module_usage() == 0 ? S_OK : S_FALSE;
}

TESSEL_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_TesselCtrl) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(iid, object);
}

TESSEL_EXPORT HRESULT DllRegisterServer() {
  return register_tessel_module();
}

TESSEL_EXPORT HRESULT DllUnregisterServer() {
  return unregister_tessel_module();
}

// Start-up and shut-down of the module: the type library is built when it
// loads and released when it unloads; the host's services go with it.
__attribute__((constructor)) static void tessel_module_start() {
  tessel_type_lib();
}

__attribute__((destructor)) static void tessel_module_stop() {
  release_tessel_type_lib();
  adopt_host_services(nullptr);
}
