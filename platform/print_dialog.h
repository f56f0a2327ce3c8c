// The print dialog, supplied by the host: the component fills in a dialog
// record, the host's callback lets the user pick a printer, its settings
// and the number of copies, and the dialog returns the chosen settings, the
// printer's names and its device context.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/print_dc.h"
#include "platform/print_settings.h"

// Flags of PrintDlgRecord::flags.
inline constexpr uint32_t PD_NOSELECTION = 0x4;
inline constexpr uint32_t PD_NOPAGENUMS = 0x8;
inline constexpr uint32_t PD_RETURNDC = 0x100;
inline constexpr uint32_t PD_USEDEVMODECOPIESANDCOLLATE = 0x40000;
inline constexpr uint32_t PD_DISABLEPRINTTOFILE = 0x80000;

inline constexpr uint32_t PRINTDLG_RECORD_SIZE = 66;

struct PrintDlgRecord {
  uint32_t struct_size = 0;
  void* owner = nullptr;
  // Out: the chosen settings.
  std::unique_ptr<DevModeRecord> dev_mode;
  // In: the printer to preselect (empty for none); out: the chosen printer.
  std::vector<unsigned char> dev_names;
  // Out with PD_RETURNDC: the chosen printer's context.
  std::unique_ptr<PrinterDc> dc;
  uint32_t flags = 0;
  uint16_t from_page = 0, to_page = 0, min_page = 0, max_page = 0;
  // In: the copies first offered; out: the copies the caller must make.
  uint16_t copies = 0;
};

// What the host's dialog is shown.
struct PrintDialogRequest {
  std::string preselected;  // device name of the preselection, "" without one
  uint32_t flags = 0;
  int copies = 1;
};

// What the user chose. Destinations named "pdf:PATH" write a file and never
// make copies themselves.
struct PrintDialogChoice {
  std::string printer;
  DevModeRecord dev_mode;      // orientation, paper (0: the printer's default), copies
  bool driver_copies = false;  // the printer makes the copies itself
};

// Answers true when the user confirmed the choice, false to cancel.
using PrintDialogHandler = std::function<bool(const PrintDialogRequest& request, PrintDialogChoice* choice)>;

// Installs the process-wide handler and answers the previous one. With no
// handler the dialog is cancelled, so nothing waits on a user who is not
// there.
PrintDialogHandler set_print_dialog_handler(PrintDialogHandler handler);

// Shows the dialog. Answers 1 with the record's outputs filled in when the
// user confirmed; 0 when cancelled or when it failed (record size other
// than PRINTDLG_RECORD_SIZE, no printer named, its context not made), with
// the outputs left empty. With PD_USEDEVMODECOPIESANDCOLLATE and a printer
// that makes copies, the device mode carries the copies and `copies` is 1;
// otherwise `copies` carries them and the device mode asks for 1.
int print_dialog(PrintDlgRecord* record);
