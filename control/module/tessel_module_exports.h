// The module's exports resolved from a loaded library, for hosts.
#pragma once

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
    TesselPictureNamesFn picture_names = nullptr;

    // Resolves every export; false (and all null) when one is missing.
    bool resolve(SharedLibraryHandle* library)
    {
        auto symbol = [library](const char* name) { return shared_library_symbol(library, name); };
        can_unload_now = reinterpret_cast<DllCanUnloadNowFn>(symbol(kDllCanUnloadNow));
        get_class_object = reinterpret_cast<DllGetClassObjectFn>(symbol(kDllGetClassObject));
        register_server = reinterpret_cast<DllRegisterServerFn>(symbol(kDllRegisterServer));
        unregister_server = reinterpret_cast<DllUnregisterServerFn>(symbol(kDllUnregisterServer));
        adopt_host_services = reinterpret_cast<TesselAdoptHostServicesFn>(symbol(kTesselAdoptHostServices));
        report_control = reinterpret_cast<TesselReportControlFn>(symbol(kTesselReportControl));
        go_to_page = reinterpret_cast<TesselGoToPageFn>(symbol(kTesselGoToPage));
        dump_tree = reinterpret_cast<TesselDumpTreeFn>(symbol(kTesselDumpTree));
        picture_names = reinterpret_cast<TesselPictureNamesFn>(symbol(kTesselPictureNames));
        if (can_unload_now && get_class_object && register_server && unregister_server && adopt_host_services &&
            report_control && go_to_page && dump_tree && picture_names)
            return true;
        *this = {};
        return false;
    }
};
