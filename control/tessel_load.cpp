// The load sequence: what the control does with the parameters a host
// hands over — download the document, open the console, build the tree.
#include "control/tessel_ctrl.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "control/download.h"
#include "document/pdocbuild.h"
#include "platform/console.h"
#include "platform/message_box.h"
#include "platform/property_bag.h"
#include "platform/stdio_file.h"
#include "support/qelformat.h"
#include "support/qelstring.h"

namespace {

// The base address for relative picture names: the address up to and
// including its last '/', from its first 4999 characters.
void base_address(const char* src, char* base, size_t size) {
  qel_strlcpy(base, src, size);
  char* slash = std::strrchr(base, '/');
  if (slash != nullptr) slash[1] = '\0';
}

}  // namespace

long CTesselCtrl::Load(PropertyBag* bag, void* error_log) {
  m_bLoadFailed = false;
  if (!ReadBagString(bag, error_log, "src", m_szSrc, sizeof m_szSrc)) {
    m_bLoadFailed = true;
    ShowMessage("Failure to read Property URL", "Error", MB_OK);
  }

  char debug[15];
  qel_strlcpy(debug, "false", sizeof debug);
  ReadBagString(bag, error_log, "debughtml", debug, sizeof debug);
  if (std::tolower(static_cast<unsigned char>(debug[0])) == 't') console_open();

  char session[500] = "";
  ReadBagString(bag, error_log, "session", session, sizeof session);

  char verify[15] = "true";
  ReadBagString(bag, error_log, "tlsverify", verify, sizeof verify);
  m_bVerifyTls = std::tolower(static_cast<unsigned char>(verify[0])) != 'f';

  char timeout[32] = "";
  if (ReadBagString(bag, error_log, "timeout", timeout, sizeof timeout)) m_nTimeout = control_timeout_seconds(timeout);

  // The download writes into a file of our own, never through a name
  // someone else made in the shared temporary folder (the client refuses
  // a link; a name that could not be claimed fails the download).
  control_claim_file(m_szTempFile, sizeof m_szTempFile);
  const int received = DownloadToFile(m_szSrc, m_szTempFile);
  if (received <= 0) {
    m_bLoadFailed = true;
    ShowMessage("Error downloading information.  Click OK, then press the F5 key to try again.", "Error Downloading",
                MB_OK);
  }

  // A failed download leaves at most part of the document: nothing is
  // built from it. An empty answer still builds (an empty document).
  FilePtr file;
  if (received >= 0) file.reset(std::fopen(m_szTempFile, "r"));
  if (file) {
    char base[5000];
    base_address(m_szSrc, base, sizeof base);
    char cookie[600];
    QELSnprintf(cookie, sizeof cookie, "Cookie: %s\r\n", session);
    const pdoc_sources sources{base, nullptr, {m_bVerifyTls ? 1 : 0, m_nTimeout}};
    m_pDocument.reset(pdocbuild_file(file.get(), &sources, cookie));
    if (!m_pDocument) {
      m_bLoadFailed = true;
      ShowMessage("Problem parsing HTML print file", "Error", MB_OK);
      return S_OK;
    }
    file.reset();
  }
  std::remove(m_szTempFile);

  char orientation[100] = "";
  if (ReadBagString(bag, error_log, "orientation", orientation, sizeof orientation) &&
      strcasecmp(orientation, "landscape") == 0)
    m_nOrientation = 2;

  return LoadPersistedProperties(bag);
}

// The extent and FillColor, when the bag holds them.
long CTesselCtrl::LoadPersistedProperties(PropertyBag* bag) {
  if (bag == nullptr) return S_OK;
  auto number = [bag](const char* name, auto& field) {
    const auto value = bag->read(name);
    if (value && value->kind == PropertyValue::Kind::Integer)
      field = static_cast<std::remove_reference_t<decltype(field)>>(value->number);
    else if (value && value->kind == PropertyValue::Kind::String && !value->text.empty())
      field = static_cast<std::remove_reference_t<decltype(field)>>(std::strtol(value->text.c_str(), nullptr, 0));
  };
  number("_cx", m_cx);
  number("_cy", m_cy);
  number("FillColor", m_clrFillColor);
  return S_OK;
}

int CTesselCtrl::DownloadToFile(const char* url, const char* file) {
  return control_download(url, file, m_bVerifyTls ? DownloadTls::Verified : DownloadTls::Unchecked, m_nTimeout);
}
