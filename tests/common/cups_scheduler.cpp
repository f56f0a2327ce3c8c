// The private CUPS scheduler; see cups_scheduler.h.
#include "cups_scheduler.h"

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace tessel_testing {

namespace {

constexpr const char* kCupsd = "/usr/sbin/cupsd";

int free_loopback_port() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

bool write_file(const std::string& path, const std::string& text, mode_t mode = 0644) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return out.good() && chmod(path.c_str(), mode) == 0;
}

struct HttpCloser {
  void operator()(http_t* http) const { httpClose(http); }
};

// A driver for a file device: PDF in, the same bytes out, two papers.
std::string ppd_text(const std::string& filter) {
  return "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
         "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \"TESTQ.PPD\"\n"
         "*Manufacturer: \"Tessel\"\n*Product: \"(Test queue)\"\n*ModelName: \"Test queue\"\n"
         "*ShortNickName: \"Test queue\"\n*NickName: \"Test queue\"\n"
         "*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: \"3\"\n*ColorDevice: True\n"
         "*DefaultColorSpace: RGB\n*FileSystem: False\n*Throughput: \"1\"\n"
         "*cupsFilter2: \"application/pdf application/vnd.cups-pdf 0 " +
         filter +
         "\"\n"
         "*OpenUI *PageSize/Media Size: PickOne\n*OrderDependency: 10 AnySetup *PageSize\n"
         "*DefaultPageSize: A4\n"
         "*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n"
         "*PageSize Letter/Letter: \"<</PageSize[612 792]>>setpagedevice\"\n"
         "*CloseUI: *PageSize\n"
         "*OpenUI *PageRegion: PickOne\n*OrderDependency: 10 AnySetup *PageRegion\n"
         "*DefaultPageRegion: A4\n"
         "*PageRegion A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n"
         "*PageRegion Letter/Letter: \"<</PageSize[612 792]>>setpagedevice\"\n"
         "*CloseUI: *PageRegion\n"
         "*DefaultImageableArea: A4\n*ImageableArea A4/A4: \"18 36 577 806\"\n"
         "*ImageableArea Letter/Letter: \"18 36 594 756\"\n"
         "*DefaultPaperDimension: A4\n*PaperDimension A4/A4: \"595 842\"\n"
         "*PaperDimension Letter/Letter: \"612 792\"\n";
}

}  // namespace

CupsScheduler::CupsScheduler(const std::string& queue) : queue_(queue) {
  if (access(kCupsd, X_OK) != 0) {
    ADD_FAILURE() << kCupsd << " is missing: install the cups package (.ci/deps.sh does)";
    return;
  }
  char pattern[] = "/tmp/tessel-cupsd-XXXXXX";
  if (!mkdtemp(pattern)) {
    ADD_FAILURE() << "cannot make a directory for cupsd";
    return;
  }
  dir_ = pattern;
  port_ = free_loopback_port();
  if (port_ == 0 || !write_configuration()) {
    ADD_FAILURE() << "cannot prepare cupsd's configuration in " << dir_;
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    // Quiet child: the scheduler logs into its own directory.
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    const std::string conf = dir_ + "/root/cupsd.conf", files = dir_ + "/root/cups-files.conf";
    execl(kCupsd, "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid_ < 0) {
    ADD_FAILURE() << "cannot start cupsd";
    return;
  }

  const std::string address = server();
  setenv("CUPS_SERVER", address.c_str(), 1);
  cupsSetServer(address.c_str());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::unique_ptr<http_t, HttpCloser> http(
        httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 200, nullptr));
    if (http) {
      ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
      const std::string uri = "ipp://localhost/printers/" + queue_;
      ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
      ippDelete(cupsDoRequest(http.get(), request, "/"));
      if (cupsLastError() <= IPP_STATUS_OK_CONFLICTING) {
        ready_ = true;
        return;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  ADD_FAILURE() << "cupsd did not answer on " << address << " within 5 s\n" << log_tail();
}

CupsScheduler::~CupsScheduler() {
  stop();
  cupsSetServer(nullptr);
  unsetenv("CUPS_SERVER");
  if (!dir_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
}

void CupsScheduler::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::string CupsScheduler::server() const {
  return "127.0.0.1:" + std::to_string(port_);
}

bool CupsScheduler::write_configuration() {
  namespace fs = std::filesystem;
  std::error_code error;
  for (const char* sub : {"root/ppd", "spool", "cache", "state", "log", "tmp", "out"})
    fs::create_directories(dir_ + "/" + sub, error);
  if (error) return false;
  // Filters run as the scheduler's unprivileged user: it must reach the
  // filter, its spool files and the output folder.
  chmod(dir_.c_str(), 0755);
  chmod((dir_ + "/out").c_str(), 0777);
  chmod((dir_ + "/tmp").c_str(), 01777);
  const std::string filter = dir_ + "/passthrough";
  return write_file(dir_ + "/root/cupsd.conf",
                    "Listen 127.0.0.1:" + std::to_string(port_) +
                        "\nLogLevel warn\nBrowsing No\nDefaultAuthType None\nWebInterface No\n"
                        "<Location />\nOrder allow,deny\nAllow all\n</Location>\n") &&
         write_file(dir_ + "/root/cups-files.conf",
                    "ServerRoot " + dir_ + "/root\nRequestRoot " + dir_ + "/spool\nCacheDir " + dir_ +
                        "/cache\nStateDir " + dir_ + "/state\nTempDir " + dir_ + "/tmp\nErrorLog " + dir_ +
                        "/log/error_log\nAccessLog " + dir_ + "/log/access_log\nPageLog " + dir_ +
                        "/log/page_log\nFileDevice Yes\nSystemGroup root\n") &&
         write_file(dir_ + "/root/printers.conf",
                    "<Printer " + queue_ + ">\nDeviceURI file://" + output_path() +
                        "\nState Idle\nAccepting Yes\n</Printer>\n",
                    0600) &&
         write_file(filter, "#!/bin/sh\nif [ -n \"$6\" ]; then exec cat \"$6\"; else exec cat; fi\n", 0755) &&
         write_file(dir_ + "/root/ppd/" + queue_ + ".ppd", ppd_text(filter));
}

std::vector<CupsJobRecord> CupsScheduler::jobs() const {
  std::vector<CupsJobRecord> list;
  std::unique_ptr<http_t, HttpCloser> http(
      httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 1000, nullptr));
  if (!http) return list;
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
  const std::string uri = "ipp://localhost/printers/" + queue_;
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
  // Job names are private to their owner.
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  static const char* const wanted[] = {"job-id", "job-name", "copies", "job-state"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr, wanted);
  ipp_t* response = cupsDoRequest(http.get(), request, "/");
  if (!response) return list;
  CupsJobRecord job;
  for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
    const char* name = ippGetName(a);
    if (!name) {
      if (job.id) list.push_back(job);
      job = CupsJobRecord{};
      continue;
    }
    const std::string n = name;
    if (n == "job-id")
      job.id = ippGetInteger(a, 0);
    else if (n == "job-name")
      job.name = ippGetString(a, 0, nullptr);
    else if (n == "copies")
      job.copies = ippGetInteger(a, 0);
    else if (n == "job-state")
      job.state = ippGetInteger(a, 0);
  }
  if (job.id) list.push_back(job);
  ippDelete(response);
  std::sort(list.begin(), list.end(), [](const CupsJobRecord& a, const CupsJobRecord& b) { return a.id < b.id; });
  return list;
}

bool CupsScheduler::wait_for_completed(size_t count, int timeout_ms) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  do {
    size_t completed = 0;
    for (const CupsJobRecord& job : jobs()) completed += job.state == IPP_JSTATE_COMPLETED;
    if (completed >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

std::string CupsScheduler::log_tail() const {
  std::ifstream in(dir_ + "/log/error_log");
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  return all.size() > 2000 ? all.substr(all.size() - 2000) : all;
}

}  // namespace tessel_testing
