// The exports for the host program beyond the script surface: its services
// handed over, what it reports of a control, the page counter, the tree
// dump, and the picture names of a local document that its file server
// publishes.
#include <strings.h>

#include <cstdio>
#include <memory>

#include "control/module/tessel_export.h"
#include "control/module/tessel_object.h"
#include "document/pdocdump.h"
#include "document/qelhtmlparser.h"
#include "platform/host_services.h"
#include "platform/stdio_file.h"

namespace {

// The control behind one of the module's objects; null for any other.
CTesselCtrl* control_of(IUnknown* object) {
  if (object == nullptr) return nullptr;
  ComPtr<ITesselCtrl> control = ComPtr<IUnknown>(object).query<ITesselCtrl>();
  auto* ours = dynamic_cast<TesselControlObject*>(control.get());
  return ours != nullptr ? &ours->control() : nullptr;
}

struct PictureNameSink {
  TesselPictureNameFn each;
  void* user;
};

// The src of every IMG tag, as written.
void hand_on_picture_name(void* user, const char* name, const char** attributes) {
  if (name == nullptr || strcasecmp(name, "img") != 0 || attributes == nullptr) return;
  const auto* sink = static_cast<const PictureNameSink*>(user);
  for (const char** a = attributes; a[0] != nullptr && a[1] != nullptr; a += 2)
    if (strcasecmp(a[0], "src") == 0) sink->each(sink->user, a[1]);
}

}  // namespace

TESSEL_EXPORT void TesselAdoptHostServices(const HostServices* services) {
  adopt_host_services(services);
}

TESSEL_EXPORT bool TesselReportControl(IUnknown* object, TesselControlReport* report) {
  const CTesselCtrl* control = control_of(object);
  if (control == nullptr || report == nullptr) return false;
  report->current_page = control->m_nCurrentPage;
  report->load_failed = control->m_bLoadFailed;
  report->last_print = control->m_lastPrint;
  report->last_sync = control->m_lastSync;
  report->left_out_elements = control->m_leftOut.elements;
  report->left_out_first_page = control->m_leftOut.first_page;
  return true;
}

TESSEL_EXPORT bool TesselOnPageDrawn(IUnknown* object, TesselPageDrawnFn drawn, void* user) {
  CTesselCtrl* control = control_of(object);
  if (control == nullptr) return false;
  if (drawn == nullptr)
    control->on_page_drawn = nullptr;
  else
    control->on_page_drawn = [drawn, user](int page) { drawn(user, page); };
  return true;
}

TESSEL_EXPORT bool TesselGoToPage(IUnknown* object, int page) {
  CTesselCtrl* control = control_of(object);
  if (control == nullptr || page < 0) return false;
  control->m_nCurrentPage = page;
  return true;
}

TESSEL_EXPORT bool TesselDumpTree(IUnknown* object, std::FILE* out) {
  const CTesselCtrl* control = control_of(object);
  if (control == nullptr || out == nullptr || !control->m_pDocument) return false;
  pdoc_dump(out, control->m_pDocument.get(), true);
  return true;
}

TESSEL_EXPORT bool TesselPictureNames(const char* file, TesselPictureNameFn each, void* user) {
  if (file == nullptr || each == nullptr) return false;
  qelhtmlparser_ptr parser(qelhtmlparser_create(4096));
  FilePtr in(std::fopen(file, "rb"));
  if (!parser || !in) return false;
  PictureNameSink sink{each, user};
  qelhtmlparser_set_user_data(parser.get(), &sink);
  qelhtmlparser_set_start_element_handler(parser.get(), hand_on_picture_name);
  qelhtmlparser_parse_file(parser.get(), in.get());
  return true;
}
