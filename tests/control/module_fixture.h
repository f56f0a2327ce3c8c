// The control module loaded as a host loads it: the shared library, its
// exports, a control made by its class factory, and the test's own platform
// services handed to the module so that its message boxes are recorded here.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/module/tessel_module_exports.h"
#include "platform/com_ole.h"
#include "platform/host_services.h"
#include "platform/shared_library.h"

namespace tessel_testing {

inline const std::string kModulePath = std::string(TESSEL_BINARY_DIR) + "/control/Tessel.so";

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = shared_library_open(kModulePath.c_str());
    ASSERT_TRUE(library_) << "cannot load " << kModulePath;
    ASSERT_TRUE(exports_.resolve(library_.get())) << kModulePath << " lacks an export";
    const HostServices services = host_services();
    exports_.adopt_host_services(&services);
    previous_box_ = set_message_box_handler([this](const char* text, const char* title, int) {
      boxes.push_back(std::string(title) + ": " + text);
      return IDOK;
    });
  }

  void TearDown() override {
    if (exports_.adopt_host_services) exports_.adopt_host_services(nullptr);
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
  TesselModuleExports exports_;
  std::vector<std::string> boxes;

 private:
  MessageBoxHandler previous_box_;
};

}  // namespace tessel_testing
