// The control's transfer of every page into the USB display device.
#include <cstdio>

#include "control/tessel_ctrl.h"
#include "device/sync.h"
#include "platform/picture_cache.h"

// Answers success whatever became of the transfer, as pages expect; the
// outcome stays in m_lastSync.
long CTesselCtrl::Sync() {
  // Pictures are decoded once for all the pages they appear on.
  PictureCacheScope pictures;
  const ShowMessageFn show = [this](const char* text, const char* title, int buttons) {
    return ShowMessage(text, title, buttons);
  };
  LeftOutScope left_out;
  m_lastSync = sync_device(m_pDocument ? m_pDocument->root : nullptr, show, stdout);
  m_leftOut = left_out.report();
  return S_OK;
}
