// The control's transfer of every page into the USB display device.
#include <cstdio>

#include "control/tessel_ctrl.h"
#include "device/sync.h"

long CTesselCtrl::Sync()
{
    LeftOutScope left_out;
    sync_device(m_pDocument ? m_pDocument->root : nullptr,
                [this](const char* text, const char* title, int buttons) {
                    return ShowMessage(text, title, buttons);
                },
                stdout);
    m_leftOut = left_out.report();
    return S_OK;
}
