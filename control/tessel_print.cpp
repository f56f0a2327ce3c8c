// Printing: the whole document on a printer chosen in the print dialog, once
// per copy, one render target per sheet, and the remembered printers.
#include "control/tessel_ctrl.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <strings.h>
#include <vector>

#include "layout/left_out.h"
#include "layout/paginate.h"
#include "layout/render_target.h"
#include "platform/message_box.h"
#include "platform/picture_cache.h"
#include "platform/print_dc.h"
#include "platform/print_dialog.h"
#include "platform/registry.h"
#include "support/qelstring.h"

namespace {

constexpr const char kPrintersKey[] = "SOFTWARE\\ORV\\Tessel\\Printers";
constexpr const char kJobName[] = "ORV Printer";
constexpr int kDeviceNameSize = 2048;

constexpr uint32_t kDialogFlags =
    PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION | PD_USEDEVMODECOPIESANDCOLLATE | PD_DISABLEPRINTTOFILE;
static_assert(kDialogFlags == 0xC010C);

// The device names block that preselects `name`: the device name right
// after the four offsets, the driver and output offsets on its terminating
// NUL (two empty strings). Empty when the memory cannot be had.
std::vector<unsigned char> preselection_block(const char* name) {
  const size_t length = std::strlen(name);
  const size_t nul_offset = DEVNAMES_HEADER_SIZE + length;
  if (nul_offset > 0xFFFF) return {};
  std::vector<unsigned char> block;
  try {
    block.assign(length + 9, 0);
  } catch (const std::bad_alloc&) {
    return {};
  }
  auto put = [&](size_t at, size_t value) {
    block[at] = static_cast<unsigned char>(value & 0xFF);
    block[at + 1] = static_cast<unsigned char>(value >> 8);
  };
  put(0, nul_offset);            // driver name
  put(2, DEVNAMES_HEADER_SIZE);  // device name
  put(4, nul_offset);            // output port
  put(6, 0);                     // default flags
  std::memcpy(block.data() + DEVNAMES_HEADER_SIZE, name, length);
  return block;
}

// The text of the document's TITLE, for the job's PDF; "" without one.
std::string document_title(const pdoc_element* root) {
  std::vector<const pdoc_element*> pending;
  for (const pdoc_element* e = root; e != nullptr; e = e->next) pending.push_back(e);
  std::reverse(pending.begin(), pending.end());
  while (!pending.empty()) {
    const pdoc_element* e = pending.back();
    pending.pop_back();
    if (e->tag == PDOC_TAG_TITLE)
      return e->data != nullptr && e->data_len > 0 ? std::string(e->data, static_cast<size_t>(e->data_len)) : "";
    const size_t first = pending.size();
    for (const pdoc_element* child = e->child; child != nullptr; child = child->next) pending.push_back(child);
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(first), pending.end());
  }
  return {};
}

// The sheets of one printed copy, each with its own target.
class SheetSink : public PageSink {
 public:
  SheetSink(CTesselCtrl& control, PrinterDc& dc, std::string* failure)
      : control_(control), dc_(dc), failure_(failure) {}

  // The printer's last result; 0 or less ends the job.
  int result() const { return result_; }

  RenderTarget* begin_page(int /*page*/) override {
    result_ = dc_.start_page() ? 1 : 0;
    if (result_ <= 0) {
      control_.ShowMessage("StartPage Error", "Error", MB_OK);
      *failure_ = "a sheet could not be started";
      return nullptr;
    }
    const RtRect page{0, 0, dc_.device_width() - 1, dc_.device_height() - 1};
    target_.reset(rt_create(&dc_, page, RT_VERSION));
    if (!target_) {
      // Without a target nothing more can be drawn: end the sheet and
      // the job rather than send blank sheets.
      dc_.end_page();
      *failure_ = "no memory to draw a sheet";
      result_ = 0;
    }
    return target_.get();
  }

  void no_progress(int /*page*/, pdoc_element* /*element*/) override {
    control_.ShowMessage("Cannot fit on a page", "Error", MB_OK);
  }

  bool end_page(int /*page*/, const PagePosition& /*start*/) override {
    target_.reset();
    if (!dc_.end_page()) {
      *failure_ = "a sheet could not be written";
      result_ = 0;
      return false;
    }
    return true;
  }

 private:
  CTesselCtrl& control_;
  PrinterDc& dc_;
  std::string* failure_;
  RenderTargetPtr target_;
  int result_ = 1;
};

// One printed copy of the document: a sheet per page. Answers the
// printer's last result; 0 or less ends the job, with the reason in
// *failure.
int print_copy(CTesselCtrl& control, PrinterDc& dc, pdoc_element* root, std::string* failure) {
  // Every copy is a job of its own: what it leaves out is counted afresh
  // and kept in the control however the copy ends.
  class CopyLeftOut {
   public:
    explicit CopyLeftOut(CTesselCtrl& control) : control_(control) {}
    ~CopyLeftOut() { control_.m_leftOut = scope_.report(); }

   private:
    CTesselCtrl& control_;
    LeftOutScope scope_;
  } left_out(control);
  SheetSink sheets(control, dc, failure);
  paginate(sheets, root);
  return sheets.result();
}

}  // namespace

long CTesselCtrl::Print() {
  PrintDocument(nullptr, m_szPrinterKey);
  return S_OK;
}

int CTesselCtrl::PrintDocument(void* owner_window, const char* printer_key) {
  const char* key = printer_key != nullptr ? printer_key : "";
  m_leftOut = {};

  // The printer remembered under the key, machine-wide first; the key
  // itself names the printer when neither root remembers one.
  char remembered[kDeviceNameSize] = "";
  PrintDlgRecord dialog;
  if (key[0] != '\0') {
    if (LoadPrinterSetting(RegRoot::LocalMachine, key, remembered, sizeof remembered) != 1 &&
        LoadPrinterSetting(RegRoot::CurrentUser, key, remembered, sizeof remembered) != 1)
      qel_strlcpy(remembered, key, sizeof remembered);
    dialog.dev_names = preselection_block(remembered);
  }

  dialog.struct_size = PRINTDLG_RECORD_SIZE;
  dialog.owner = owner_window;
  dialog.flags = kDialogFlags;
  dialog.from_page = 1;
  dialog.to_page = 1;
  dialog.min_page = 1;
  dialog.max_page = 65535;
  dialog.copies = 1;
  m_lastPrint = PrintResult{};
  if (print_dialog(&dialog) != 1 || !dialog.dc || !dialog.dev_mode) {
    m_lastPrint.status = PrintResult::Status::Cancelled;
    return 0;
  }

  PrinterDc& dc = *dialog.dc;
  int copies = dialog.copies;
  DevModeRecord& settings = *dialog.dev_mode;
  settings.orientation = static_cast<int16_t>(m_nOrientation);
  settings.fields = DM_ORIENTATION | DM_COPIES;
  dc.reset(settings);

  const std::string chosen = devnames_device(dialog.dev_names);
  if (strcasecmp(chosen.c_str(), remembered) != 0) {
    SavePrinterSetting(RegRoot::LocalMachine, key, chosen.c_str());
    SavePrinterSetting(RegRoot::CurrentUser, key, chosen.c_str());
  }

  PrintDocInfo info;
  info.struct_size = PRINT_DOCINFO_SIZE;
  info.doc_name = kJobName;
  m_lastPrint.destination = dc.destination();
  m_lastPrint.status = PrintResult::Status::Failed;
  int result = dc.start_doc(info);
  if (result <= 0) {
    m_lastPrint.failure = dc.last_error().empty() ? "the job could not be started" : dc.last_error();
  } else {
    pdoc_element* root = m_pDocument ? m_pDocument->root : nullptr;
    dc.set_document_title(document_title(root));
    // Every copy draws the same pictures.
    PictureCacheScope pictures;
    while (copies > 0 && result > 0) {
      result = print_copy(*this, dc, root, &m_lastPrint.failure);
      --copies;
    }
    // A job that stopped half way is dropped rather than delivered as if
    // it were the whole document.
    if (result <= 0) {
      dc.abort_doc();
    } else if (dc.end_doc() <= 0) {
      m_lastPrint.failure = dc.last_error().empty() ? "the job was not taken" : dc.last_error();
    } else {
      m_lastPrint.status = PrintResult::Status::Printed;
      m_lastPrint.sheets = dc.pages();
    }
  }
  // The context, the settings and the names go with `dialog`.
  return 0;
}

int CTesselCtrl::LoadPrinterSetting(RegRoot root, const char* value_name, char* buffer, int capacity) {
  if (buffer == nullptr || capacity <= 0) return -1;
  RegKey* opened = nullptr;
  if (RegOpenKey(root, kPrintersKey, REG_ACCESS_READ, &opened) != REG_OK) return -1;
  RegKeyPtr key(opened);
  uint32_t size = static_cast<uint32_t>(capacity);
  if (RegQueryValue(key.get(), value_name, nullptr, buffer, &size) != REG_OK) return -1;
  // The stored type is not checked, so the data need not end in a NUL:
  // terminate it inside the buffer before anyone reads it as a name.
  buffer[size < static_cast<uint32_t>(capacity) ? size : capacity - 1] = '\0';
  return 1;
}

long CTesselCtrl::SavePrinterSetting(RegRoot root, const char* value_name, const char* device_name) {
  RegKey* created = nullptr;
  const long opened = RegCreateKey(root, kPrintersKey, REG_ACCESS_WRITE, &created);
  if (opened != REG_OK) return opened;
  RegKeyPtr key(created);
  const char* name = device_name != nullptr ? device_name : "";
  return RegSetValue(key.get(), value_name, REG_SZ, name, static_cast<uint32_t>(std::strlen(name) + 1));
}
