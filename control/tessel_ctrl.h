// CTesselCtrl: one instance of the control as a host sees it — the document
// it built at load, the address it came from, the page shown, the paper
// orientation, and the message boxes through which it talks to the user.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "control/print_result.h"
#include "device/sync.h"
#include "document/pdoc.h"
#include "document/pdocbuild.h"
#include "layout/left_out.h"
#include "platform/com_result.h"
#include "platform/registry.h"

class DeviceContext;
class PropertyBag;
struct DcRect;

class CTesselCtrl {
 public:
  CTesselCtrl();
  ~CTesselCtrl();
  CTesselCtrl(const CTesselCtrl&) = delete;
  CTesselCtrl& operator=(const CTesselCtrl&) = delete;

  // The load sequence: reads the parameters from the host's bag, downloads
  // and builds the document, reads the orientation and the persisted
  // properties. Answers the result of the persisted-property load.
  long Load(PropertyBag* bag, void* error_log);

  // The `src` property (dispatch id 1).
  long get_src(std::string* value);
  long put_src(const char* value);

  // The modal message box; answers the button code (1 OK, 2 Cancel, 4 Retry).
  int ShowMessage(const char* text, const char* title, int buttons);

  // Copies the named string value of the bag into buffer (cut to
  // capacity - 1 characters). Answers 1 when a non-null string was read,
  // else 0 with buffer untouched.
  int ReadBagString(PropertyBag* bag, void* error_log, const char* name, char* buffer, int capacity);

  // Downloads url into file over http or https within the time-out.
  // Answers the number of body bytes, 0 for an empty body, or a negative
  // code of the HTTP client.
  int DownloadToFile(const char* url, const char* file);

  // Page view: lays the document out on `dc` inside `bounds` (right and
  // bottom exclusive) up to the current page, which stays visible in a
  // one-pixel frame.
  void Draw(DeviceContext* dc, const DcRect& bounds);
  long NextPage();  // dispatch id 3
  long PrevPage();  // dispatch id 4

  // Printing on a printer chosen in the print dialog.
  long Print();  // dispatch id 2
  int PrintDocument(void* owner_window, const char* printer_key);
  int LoadPrinterSetting(RegRoot root, const char* value_name, char* buffer, int capacity);
  long SavePrinterSetting(RegRoot root, const char* value_name, const char* device_name);

  // Transfer of every page into the USB display device.
  long Sync();  // dispatch id 5

  // Host hooks: asked to repaint the control's area, and told when a
  // property changed (both may be empty).
  std::function<void()> on_repaint_request;
  // Told by Draw after each page it lays out, with the page drawn and
  // framed as it would be left if it were the current page, so a host can
  // take every page from one draw (with the counter past the end) instead
  // of laying out pages 1..n again for each page n. May be empty.
  std::function<void(int page)> on_page_drawn;

  // State, in the order and sizes the control has always kept.
  pdoc_document_ptr m_pDocument;
  char m_szSrc[10240] = {};
  char m_szTempFile[512] = {};
  int32_t m_nOrientation = 1;
  char m_szPrinterKey[2048] = {};
  int32_t m_nCurrentPage = 1;
  uint32_t m_clrFillColor = 0;
  // What the last job (a draw, the last printed copy, a transfer) left
  // out of its pages, for the host to tell the user.
  LeftOutReport m_leftOut;

  // The persisted extent (the platform base keeps it beside FillColor).
  long m_cx = 0;
  long m_cy = 0;

  // How the load and the last Print and Sync came out. The load and the
  // script members answer success whatever happened, as the pages that
  // embed the control expect; a host that reports outcomes reads them
  // through the module's TesselReportControl.
  bool m_bLoadFailed = false;  // a load message was shown; any document is not the one asked for
  PrintResult m_lastPrint;
  SyncResult m_lastSync;

  // Whether the control's own downloads check the server certificate;
  // the host parameter `tlsverify` starting with 'f' turns it off.
  bool m_bVerifyTls = true;

  // The pictures are checked as m_bVerifyTls says too. Seconds any one wait
  // of the document, `src` and picture downloads may take; the host
  // parameter `timeout` sets it (kDefaultDownloadTimeout at construction).
  int m_nTimeout = 0;

 private:
  long LoadPersistedProperties(PropertyBag* bag);
};
