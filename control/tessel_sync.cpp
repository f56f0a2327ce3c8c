// The control's transfer of every page into the USB display device.
#include <cstdio>

#include "control/tessel_ctrl.h"
#include "device/sync.h"

long CTesselCtrl::Sync()
{
    m_lastSync = sync_device(m_pDocument ? m_pDocument->root : nullptr,
                [this](const char* text, const char* title, int buttons) {
                    return ShowMessage(text, title, buttons);
                },
                stdout);
    return S_OK;
}
