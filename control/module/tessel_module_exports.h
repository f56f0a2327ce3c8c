// The module's exports resolved from a loaded library, for hosts.
#pragma once

#include <string>

#include "control/module/tessel_module.h"
#include "platform/shared_library.h"

struct TesselModuleExports {
  DllCanUnloadNowFn can_unload_now = nullptr;
  DllGetClassObjectFn get_class_object = nullptr;
  DllRegisterServerFn register_server = nullptr;
  DllUnregisterServerFn unregister_server = nullptr;
  TesselAdoptHostServicesFn adopt_host_services = nullptr;
  TesselReportControlFn report_control = nullptr;
  TesselGoToPageFn go_to_page = nullptr;
  TesselDumpTreeFn dump_tree = nullptr;
  TesselOnPageDrawnFn on_page_drawn = nullptr;
  TesselPictureNamesFn picture_names = nullptr;

  // Resolves every export; false (and all null) when one is missing.
  bool resolve(SharedLibraryHandle* library) {
    std::string missing;
    shared_library_bind(library, kDllCanUnloadNow, &can_unload_now, &missing);
    shared_library_bind(library, kDllGetClassObject, &get_class_object, &missing);
    shared_library_bind(library, kDllRegisterServer, &register_server, &missing);
    shared_library_bind(library, kDllUnregisterServer, &unregister_server, &missing);
    shared_library_bind(library, kTesselAdoptHostServices, &adopt_host_services, &missing);
    shared_library_bind(library, kTesselReportControl, &report_control, &missing);
    shared_library_bind(library, kTesselGoToPage, &go_to_page, &missing);
    shared_library_bind(library, kTesselDumpTree, &dump_tree, &missing);
    shared_library_bind(library, kTesselOnPageDrawn, &on_page_drawn, &missing);
    shared_library_bind(library, kTesselPictureNames, &picture_names, &missing);
    if (missing.empty()) return true;
    *this = {};
    return false;
  }
};
