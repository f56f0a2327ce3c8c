#include "platform/cups_library.h"

#include "platform/shared_library.h"

namespace {

void bind(SharedLibraryHandle* l, CupsLibrary* a, std::string* missing) {
  shared_library_bind(l, "cupsGetNamedDest", &a->get_named_dest, missing);
  shared_library_bind(l, "cupsGetDests2", &a->get_dests2, missing);
  shared_library_bind(l, "cupsFreeDests", &a->free_dests, missing);
  shared_library_bind(l, "cupsCopyDestInfo", &a->copy_dest_info, missing);
  shared_library_bind(l, "cupsFreeDestInfo", &a->free_dest_info, missing);
  shared_library_bind(l, "cupsFindDestDefault", &a->find_dest_default, missing);
  shared_library_bind(l, "ippGetString", &a->ipp_get_string, missing);
  shared_library_bind(l, "cupsGetDestMediaByName", &a->get_dest_media_by_name, missing);
  shared_library_bind(l, "cupsGetDestMediaDefault", &a->get_dest_media_default, missing);
  shared_library_bind(l, "cupsLastErrorString", &a->last_error_string, missing);
  shared_library_bind(l, "cupsAddOption", &a->add_option, missing);
  shared_library_bind(l, "cupsAddIntegerOption", &a->add_integer_option, missing);
  shared_library_bind(l, "cupsPrintFile", &a->print_file, missing);
  shared_library_bind(l, "cupsFreeOptions", &a->free_options, missing);
  shared_library_bind(l, "cupsServer", &a->server, missing);
  shared_library_bind(l, "ippPort", &a->port, missing);
  shared_library_bind(l, "cupsEncryption", &a->encryption, missing);
  shared_library_bind(l, "httpConnect2", &a->connect, missing);
  shared_library_bind(l, "httpClose", &a->close, missing);
}

}  // namespace

const CupsLibrary* cups_library(std::string* why) {
  return shared_library_load_once<CupsLibrary>("libcups.so.2", bind, why);
}
