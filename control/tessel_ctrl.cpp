// Construction and destruction of the control, the src property, the
// message-box helper and reading strings from the host's property bag.
#include "control/tessel_ctrl.h"

#include <cstring>

#include "control/download.h"
#include "document/pdocbuild.h"
#include "platform/message_box.h"
#include "platform/property_bag.h"
#include "support/qelfile.h"
#include "support/qelstring.h"

CTesselCtrl::CTesselCtrl() : m_nTimeout(kDefaultDownloadTimeout) {
  qel_tempname(m_szTempFile, sizeof m_szTempFile, nullptr, "tessel", "html");
}

// The document is released here and nowhere else; the temporary file is left
// as it is (the load sequence already deleted it).
CTesselCtrl::~CTesselCtrl() = default;

long CTesselCtrl::get_src(std::string* value) {
  ShowMessage("GET SRC", m_szSrc, MB_OK);
  if (value != nullptr) value->clear();
  return S_OK;
}

// Setting the address downloads it again but does not rebuild the document;
// the download goes without TLS, as it always has, so an https address fails.
long CTesselCtrl::put_src(const char* value) {
  qel_strlcpy(m_szSrc, value != nullptr ? value : "", sizeof m_szSrc);
  ShowMessage("PUT SRC", m_szSrc, MB_OK);
  if (control_claim_file(m_szTempFile, sizeof m_szTempFile))
    control_download(m_szSrc, m_szTempFile, DownloadTls::Off, m_nTimeout);
  return S_OK;
}

int CTesselCtrl::ShowMessage(const char* text, const char* title, int buttons) {
  return message_box(text, title, buttons);
}

int CTesselCtrl::ReadBagString(PropertyBag* bag, void* /*error_log*/, const char* name, char* buffer, int capacity) {
  if (bag == nullptr || name == nullptr || buffer == nullptr || capacity <= 0) return 0;
  const auto value = bag->read(name);
  if (!value || value->kind != PropertyValue::Kind::String) return 0;
  qel_strlcpy(buffer, value->text.c_str(), static_cast<size_t>(capacity));
  return 1;
}
