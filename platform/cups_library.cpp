#include "platform/cups_library.h"

#include <mutex>

#include "platform/shared_library.h"

namespace {

constexpr const char* kCupsSoname = "libcups.so.2";

// The library stays loaded until the process ends: its own caches (and
// those of the libraries it pulls in) point into it, and unloading it at exit
// would leave them as unowned blocks.
struct Loaded {
  SharedLibraryHandle* library = nullptr;
  CupsLibrary api{};
  bool complete = false;
  std::string why;
};

Loaded load() {
  Loaded loaded;
  loaded.library = shared_library_open(kCupsSoname).release();
  if (!loaded.library) {
    loaded.why = std::string("cannot load ") + kCupsSoname;
    return loaded;
  }
  SharedLibraryHandle* l = loaded.library;
  CupsLibrary& a = loaded.api;
  std::string missing;
  shared_library_bind(l, "cupsGetNamedDest", &a.get_named_dest, &missing);
  shared_library_bind(l, "cupsGetDests2", &a.get_dests2, &missing);
  shared_library_bind(l, "cupsFreeDests", &a.free_dests, &missing);
  shared_library_bind(l, "cupsCopyDestInfo", &a.copy_dest_info, &missing);
  shared_library_bind(l, "cupsFreeDestInfo", &a.free_dest_info, &missing);
  shared_library_bind(l, "cupsFindDestDefault", &a.find_dest_default, &missing);
  shared_library_bind(l, "ippGetString", &a.ipp_get_string, &missing);
  shared_library_bind(l, "cupsGetDestMediaByName", &a.get_dest_media_by_name, &missing);
  shared_library_bind(l, "cupsGetDestMediaDefault", &a.get_dest_media_default, &missing);
  shared_library_bind(l, "cupsLastErrorString", &a.last_error_string, &missing);
  shared_library_bind(l, "cupsAddOption", &a.add_option, &missing);
  shared_library_bind(l, "cupsAddIntegerOption", &a.add_integer_option, &missing);
  shared_library_bind(l, "cupsPrintFile", &a.print_file, &missing);
  shared_library_bind(l, "cupsFreeOptions", &a.free_options, &missing);
  loaded.complete = missing.empty();
  if (!loaded.complete) loaded.why = std::string(kCupsSoname) + " has no " + missing;
  return loaded;
}

}  // namespace

const CupsLibrary* cups_library(std::string* why) {
  static std::once_flag once;
  static Loaded* loaded = nullptr;
  std::call_once(once, [] {
    static Loaded instance = load();
    loaded = &instance;
  });
  if (!loaded->complete) {
    if (why) *why = loaded->why;
    return nullptr;
  }
  return &loaded->api;
}
