// The print dialog over the host's callback; see print_dialog.h.
#include "platform/print_dialog.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

PrintDialogHandler& installed_handler() {
  static PrintDialogHandler handler;
  return handler;
}

}  // namespace

PrintDialogHandler set_print_dialog_handler(PrintDialogHandler handler) {
  return std::exchange(installed_handler(), std::move(handler));
}

int print_dialog(PrintDlgRecord* record) {
  if (!record || record->struct_size != PRINTDLG_RECORD_SIZE) return 0;
  const PrintDialogHandler& handler = installed_handler();
  if (!handler) return 0;

  PrintDialogRequest request;
  request.preselected = devnames_device(record->dev_names);
  request.flags = record->flags;
  request.copies = std::max<int>(record->copies, 1);
  PrintDialogChoice choice;
  choice.dev_mode.copies = static_cast<int16_t>(std::min(request.copies, DM_MAX_COPIES));
  if (!handler(request, &choice) || choice.printer.empty()) return 0;

  const bool file = print_is_pdf_destination(choice.printer);
  const bool driver_copies = choice.driver_copies && !file && (record->flags & PD_USEDEVMODECOPIESANDCOLLATE);
  const int copies = std::clamp<int>(choice.dev_mode.copies, 1, DM_MAX_COPIES);

  auto dev_mode = std::make_unique<DevModeRecord>(choice.dev_mode);
  dev_mode->fields = DM_ORIENTATION | DM_COPIES | (dev_mode->paper_size ? DM_PAPERSIZE : 0);
  if (dev_mode->orientation != DMORIENT_LANDSCAPE) dev_mode->orientation = DMORIENT_PORTRAIT;
  dev_mode->copies = static_cast<int16_t>(driver_copies ? copies : 1);

  // The output port of a pdf: destination is its file.
  const std::string output = file ? choice.printer.substr(std::strlen(PRINT_PDF_PREFIX)) : "";
  std::vector<unsigned char> names = devnames_make(file ? "PDF" : "CUPS", choice.printer, output);
  if (names.empty()) return 0;

  std::unique_ptr<PrinterDc> dc;
  if (record->flags & PD_RETURNDC) {
    dc = PrinterDc::create(choice.printer, *dev_mode);
    if (!dc) return 0;
  }
  record->dev_mode = std::move(dev_mode);
  record->dev_names = std::move(names);
  record->dc = std::move(dc);
  record->copies = static_cast<uint16_t>(driver_copies ? 1 : copies);
  return 1;
}
