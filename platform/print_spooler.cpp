// The system spooler: "pdf:PATH" destinations are files, all others are
// CUPS queues reached through libcups (CUPS_SERVER selects the scheduler),
// loaded when a queue is first used.
#include "platform/print_spooler.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include <sys/socket.h>
#include <unistd.h>

#include "platform/cups_library.h"
#include "platform/print_settings.h"
#include "platform/stdio_file.h"

namespace {

std::string errno_text(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// Where a pdf: file goes. A link is followed, so that the file it leads to
// is replaced and the link stays. A character device (/dev/full, say) is
// written into directly (*direct), since a rename would put a file in its
// place. Anything else that is not a file (a pipe, which could keep the
// print waiting for a reader forever, a socket, a folder) is refused: "" with
// the reason in *error.
std::string pdf_target(const std::string& target, bool* direct, std::string* error) {
  std::string path = target;
  *direct = false;
  struct stat info;
  // Links are followed one by one (a bounded number), also to a file that
  // does not exist yet.
  for (int hops = 0; hops < 40 && lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode); ++hops) {
    std::error_code failed;
    const std::filesystem::path next = std::filesystem::read_symlink(path, failed);
    if (failed) break;
    path = (next.is_absolute() ? next : std::filesystem::path(path).parent_path() / next).string();
  }
  if (stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return path;
  if (S_ISCHR(info.st_mode)) {
    *direct = true;
    return path;
  }
  *error = "cannot write " + target + ": it is not a file";
  return {};
}

// Copies `source` to `requested` through a temporary neighbour, so a reader
// never sees half a file; a device is written directly. The neighbour is
// named after the process, so that processes printing into the same file at
// once never write into each other's copy; the last one renamed wins.
bool write_pdf_file(const std::string& requested, const std::string& source, std::string* error) {
  bool direct = false;
  const std::string target = pdf_target(requested, &direct, error);
  if (target.empty()) return false;
  const std::string partial = direct ? target : target + ".partial-" + std::to_string(::getpid());
  {
    FilePtr out(std::fopen(partial.c_str(), "wb"));
    if (!out) {
      *error = errno_text("cannot create", partial);
      return false;
    }
    bool ok = true;
    FilePtr in(std::fopen(source.c_str(), "rb"));
    if (!in) {
      *error = errno_text("cannot read", source);
      ok = false;
    }
    char buffer[65536];
    size_t n;
    while (ok && (n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0)
      ok = std::fwrite(buffer, 1, n, out.get()) == n;
    if (ok && std::ferror(in.get())) ok = false;
    if (ok && std::fflush(out.get()) != 0) ok = false;
    if (ok && std::fclose(out.release()) != 0) ok = false;
    if (!ok) {
      if (error->empty()) *error = errno_text("cannot write", partial);
      out.reset();
      if (!direct) std::remove(partial.c_str());
      return false;
    }
  }
  if (!direct && std::rename(partial.c_str(), target.c_str()) != 0) {
    *error = errno_text("cannot replace", target);
    std::remove(partial.c_str());
    return false;
  }
  return true;
}

struct DestsDeleter {
  int count;
  void operator()(cups_dest_t* dests) const {
    // Destinations exist only where the library was loaded.
    if (const CupsLibrary* cups = cups_library()) cups->free_dests(count, dests);
  }
};
using DestPtr = std::unique_ptr<cups_dest_t, DestsDeleter>;

struct DestInfoDeleter {
  void operator()(cups_dinfo_t* info) const {
    if (const CupsLibrary* cups = cups_library()) cups->free_dest_info(info);
  }
};

// "name/instance" as CUPS names it.
DestPtr named_dest(const std::string& destination) {
  const CupsLibrary* cups = cups_library();
  if (!cups) return DestPtr(nullptr, DestsDeleter{0});
  const size_t slash = destination.find('/');
  const std::string name = destination.substr(0, slash);
  const std::string instance = slash == std::string::npos ? "" : destination.substr(slash + 1);
  cups_dest_t* dest = cups->get_named_dest(CUPS_HTTP_DEFAULT, name.empty() ? nullptr : name.c_str(),
                                           instance.empty() ? nullptr : instance.c_str());
  return DestPtr(dest, DestsDeleter{dest ? 1 : 0});
}

// libcups answers "does not exist" for every queue when it cannot reach the
// scheduler at all, so a lookup that found nothing asks once more whether
// anything answers there. Empty when it does, else what to tell the user.
constexpr int kSchedulerConnectMs = 3000;

std::string scheduler_unreachable(const CupsLibrary& cups) {
  const char* host = cups.server();
  if (!host || !*host) return {};
  const bool local_socket = host[0] == '/';
  const int port = cups.port();
  http_t* connection = cups.connect(host, port, nullptr, AF_UNSPEC, cups.encryption(), 1, kSchedulerConnectMs, nullptr);
  if (connection) {
    cups.close(connection);
    return {};
  }
  const std::string where = local_socket ? std::string(host) : std::string(host) + ":" + std::to_string(port);
  return "the CUPS scheduler at " + where + " cannot be reached";
}

// Sizes in hundredths of a millimetre.
int16_t paper_of(int width, int length) {
  auto near = [](int a, int b) { return std::abs(a - b) <= 200; };
  if (near(width, 21000) && near(length, 29700)) return DMPAPER_A4;
  if (near(width, 21590) && near(length, 27940)) return DMPAPER_LETTER;
  return 0;
}

double points_of(int hundredths_mm) {
  return hundredths_mm * 72.0 / 2540.0;
}

class SystemSpooler final : public PrintSpooler {
 public:
  bool media_default(const std::string& destination, PrintMedia* media) override {
    if (print_is_pdf_destination(destination) || destination.empty()) return false;
    DestPtr dest = named_dest(destination);
    if (!dest) return false;
    const CupsLibrary* cups = cups_library();
    std::unique_ptr<cups_dinfo_t, DestInfoDeleter> info(cups->copy_dest_info(CUPS_HTTP_DEFAULT, dest.get()));
    if (!info) return false;
    // The queue's own default ("media-default"); libcups' notion of a
    // default follows the locale instead, so it is only the fallback.
    cups_size_t size{};
    ipp_attribute_t* media_attribute = cups->find_dest_default(CUPS_HTTP_DEFAULT, dest.get(), info.get(), CUPS_MEDIA);
    const char* media_name = media_attribute ? cups->ipp_get_string(media_attribute, 0, nullptr) : nullptr;
    if (!(media_name &&
          cups->get_dest_media_by_name(CUPS_HTTP_DEFAULT, dest.get(), info.get(), media_name, 0, &size)) &&
        !cups->get_dest_media_default(CUPS_HTTP_DEFAULT, dest.get(), info.get(), 0, &size))
      return false;
    media->paper = paper_of(size.width, size.length);
    if (media->paper == 0) return false;
    media->margins_known = size.left > 0 || size.right > 0 || size.top > 0 || size.bottom > 0;
    media->left = points_of(size.left);
    media->right = points_of(size.right);
    media->top = points_of(size.top);
    media->bottom = points_of(size.bottom);
    return true;
  }

  int submit(const PrintSubmission& job, std::string* error) override {
    // A job without sheets has nothing to print: a queue cannot take an
    // empty document and a PDF needs a page, so nothing is sent and an
    // earlier file stays as it was.
    if (print_is_pdf_destination(job.destination)) {
      const std::string target = job.destination.substr(std::strlen(PRINT_PDF_PREFIX));
      if (target.empty()) {
        *error = "no file named after pdf:";
        return 0;
      }
      return job.pages <= 0 || write_pdf_file(target, job.pdf_path, error) ? 1 : 0;
    }
    if (job.pages <= 0) return 1;
    std::string why;
    const CupsLibrary* cups = cups_library(&why);
    if (!cups) {
      *error = "no CUPS destination " + job.destination + ": " + why;
      return 0;
    }
    DestPtr dest = named_dest(job.destination);
    if (!dest) {
      const std::string unreachable = scheduler_unreachable(*cups);
      *error = !unreachable.empty() ? unreachable
                                    : "no CUPS destination " + job.destination + ": " + cups->last_error_string();
      return 0;
    }
    cups_option_t* options = nullptr;
    int count = 0;
    for (int i = 0; i < dest->num_options; ++i)
      count = cups->add_option(dest->options[i].name, dest->options[i].value, count, &options);
    if (job.copies > 1) count = cups->add_integer_option("copies", job.copies, count, &options);
    const int id = cups->print_file(dest->name, job.pdf_path.c_str(), job.job_name.c_str(), count, options);
    cups->free_options(count, options);
    if (id <= 0) *error = std::string("CUPS refused the job: ") + cups->last_error_string();
    return id > 0 ? id : 0;
  }
};

PrintSpooler* installed_spooler = nullptr;

}  // namespace

PrintSpooler& system_print_spooler() {
  static SystemSpooler spooler;
  return spooler;
}

PrintSpooler& print_spooler() {
  return installed_spooler ? *installed_spooler : system_print_spooler();
}

PrintSpooler* set_print_spooler(PrintSpooler* spooler) {
  PrintSpooler* previous = installed_spooler;
  installed_spooler = spooler;
  return previous;
}

std::vector<PrintDestination> print_destinations(std::string* error) {
  std::string why;
  const CupsLibrary* cups = cups_library(&why);
  if (!cups) {
    if (error) *error = why;
    return {};
  }
  cups_dest_t* dests = nullptr;
  const int count = cups->get_dests2(CUPS_HTTP_DEFAULT, &dests);
  DestPtr owner(dests, DestsDeleter{count});
  if (count == 0 && error) *error = scheduler_unreachable(*cups);
  std::vector<PrintDestination> list;
  for (int i = 0; i < count; ++i) {
    std::string name = dests[i].name;
    if (dests[i].instance) name += std::string("/") + dests[i].instance;
    list.push_back({name, dests[i].is_default != 0});
  }
  return list;
}

std::string print_default_destination(std::string* error) {
  DestPtr dest = named_dest("");
  if (!dest) {
    if (error) {
      std::string why;
      const CupsLibrary* cups = cups_library(&why);
      *error = cups ? scheduler_unreachable(*cups) : why;
    }
    return {};
  }
  std::string name = dest->name;
  if (dest->instance) name += std::string("/") + dest->instance;
  return name;
}
