// Writing and removing the module's registry entries under the classes root.
#pragma once

#include "platform/com_result.h"

HRESULT register_tessel_module();
// Removes what registration wrote, never the shared roots ("CLSID",
// "AppID", "TypeLib", "Interface"); keys already gone are no error.
HRESULT unregister_tessel_module();
