// The control's transfer of every page into the USB display device.
#include <cstdio>

#include "control/tessel_ctrl.h"
#include "device/sync.h"
#include "platform/picture_cache.h"

long CTesselCtrl::Sync()
{
    // Pictures are decoded once for all the pages they appear on.
    PictureCacheScope pictures;
    sync_device(m_pDocument ? m_pDocument->root : nullptr,
                [this](const char* text, const char* title, int buttons) {
                    return ShowMessage(text, title, buttons);
                },
                stdout);
    return S_OK;
}
