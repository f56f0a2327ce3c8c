// The control module loaded as a host loads it: the shared library, its
// exports, a control made by its class factory, and the test's own platform
// services handed to the module so that its message boxes are recorded here.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/module/tessel_module.h"
#include "platform/com_ole.h"
#include "platform/host_services.h"
#include "platform/shared_library.h"

namespace tessel_testing {

inline const std::string kModulePath = std::string(TESSEL_BINARY_DIR) + "/control/Tessel.so";

struct ModuleExports {
  DllCanUnloadNowFn can_unload = nullptr;
  DllGetClassObjectFn get_class_object = nullptr;
  DllRegisterServerFn register_server = nullptr;
  DllUnregisterServerFn unregister_server = nullptr;
  TesselAdoptHostServicesFn adopt_host = nullptr;
  TesselControlStateFn state = nullptr;
};

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = shared_library_open(kModulePath.c_str());
    ASSERT_TRUE(library_) << "cannot load " << kModulePath;
    auto symbol = [this](const char* name) { return shared_library_symbol(library_.get(), name); };
    exports_.can_unload = reinterpret_cast<DllCanUnloadNowFn>(symbol(kDllCanUnloadNow));
    exports_.get_class_object = reinterpret_cast<DllGetClassObjectFn>(symbol(kDllGetClassObject));
    exports_.register_server = reinterpret_cast<DllRegisterServerFn>(symbol(kDllRegisterServer));
    exports_.unregister_server = reinterpret_cast<DllUnregisterServerFn>(symbol(kDllUnregisterServer));
    exports_.adopt_host = reinterpret_cast<TesselAdoptHostServicesFn>(symbol(kTesselAdoptHostServices));
    exports_.state = reinterpret_cast<TesselControlStateFn>(symbol(kTesselControlState));
    ASSERT_TRUE(exports_.can_unload && exports_.get_class_object && exports_.register_server &&
                exports_.unregister_server && exports_.adopt_host && exports_.state);
    const HostServices services = host_services();
    exports_.adopt_host(&services);
    previous_box_ = set_message_box_handler([this](const char* text, const char* title, int) {
      boxes.push_back(std::string(title) + ": " + text);
      return IDOK;
    });
  }

  void TearDown() override {
    if (exports_.adopt_host) exports_.adopt_host(nullptr);
    set_message_box_handler(previous_box_);
  }

  // A new control from the class factory, answering `Interface`.
  template <class Interface>
  ComPtr<Interface> create() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(exports_.get_class_object(CLSID_TesselCtrl, IID_IClassFactory, factory.put_void()), S_OK);
    ComPtr<Interface> object;
    if (factory) {
      EXPECT_EQ(factory->CreateInstance(nullptr, InterfaceId<Interface>::value, object.put_void()), S_OK);
    }
    return object;
  }

  SharedLibrary library_;
  ModuleExports exports_;
  std::vector<std::string> boxes;

 private:
  MessageBoxHandler previous_box_;
};

}  // namespace tessel_testing
