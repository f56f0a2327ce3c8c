// Ready-made transfers: a GET into a file, the same with TLS settings and
// redirects, and a transfer on a thread of its own.
#include <pthread.h>

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "net/qelhttp_internal.h"

namespace {

template <typename Function>
void set_callback(QELHTTP* http, int option, Function function) {
  if (function) QELHTTPSetOptionInt(http, option, reinterpret_cast<intptr_t>(function));
}

// Successive "Location" values that QELHTTPDownloadEx follows; each one is
// a whole new download into the same file.
constexpr int kMaxRedirects = 5;

struct DownloadExArgs {
  const char* output_path;
  const QELSSLSettings* settings;
  QELHTTPBodyCallback body;
  QELHTTPStatusCallback status;
  QELSocketStatusCallback socket_status;
  QELHTTPHeaderLineCallback header_line;
  void* header_user;
  QELHTTPHeaderCallback header;
  QELSocketIOCallback socket_io;
};

// One attempt of QELHTTPDownloadEx; *location receives the answer's
// "Location" value, if any.
int download_once(const char* url, const DownloadExArgs& args, std::string* location) {
  location->clear();
  if (!url || !*url) return -17;
  QELHTTPPtr http(QELHTTPCreate());
  if (!http) return 0;
  QELHTTPEnableSSL(http.get());
  QELHTTPSetSSLSettings(http.get(), args.settings);
  if (QELHTTPSetOption(http.get(), QELHTTP_OPT_URL, url) != 0) return -19;
  if (!args.output_path) return -1;
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_METHOD, QELHTTP_GET);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_INCLUDE_HEADERS, 0);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_VERSION, 1);
  QELHTTPSetOption(http.get(), QELHTTP_OPT_OUTPUT_FILE, args.output_path);
  set_callback(http.get(), QELHTTP_OPT_BODY_CALLBACK, args.body);
  set_callback(http.get(), QELHTTP_OPT_HEADER_LINE_CALLBACK, args.header_line);
  set_callback(http.get(), QELHTTP_OPT_STATUS_CALLBACK, args.status);
  set_callback(http.get(), QELHTTP_OPT_SOCKET_STATUS_CALLBACK, args.socket_status);
  set_callback(http.get(), QELHTTP_OPT_SOCKET_IO_CALLBACK, args.socket_io);
  set_callback(http.get(), QELHTTP_OPT_HEADER_CALLBACK, args.header);
  QELHTTPSetOption(http.get(), QELHTTP_OPT_HEADER_USER_DATA, args.header_user);
  const int result = QELHTTPExecute(http.get());
  if (result < 0 && args.socket_status) {
    char description[1024];
    args.socket_status(nullptr, -1, QELHTTPErrorDescription(http.get(), description, sizeof description));
  }
  if (const char* next = QELHTTPLocation(http.get())) *location = next;
  return result;
}

struct AsyncJob {
  QELHTTP* http;
  QELHTTPAsyncCallback done;
  void* host;
  std::atomic<uintptr_t> handle{0};
};

void* run_async(void* argument) {
  std::unique_ptr<AsyncJob> job(static_cast<AsyncJob*>(argument));
  QELHTTPExecute(job->http);
  // The host learns the handle with the result; wait until it is known.
  while (job->handle.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (job->done) job->done(job->host, job->http, job->handle.load());
  return nullptr;
}

}  // namespace

int QELHTTPDownload(const char* url, const char* output_path, QELHTTPBodyCallback body, QELHTTPStatusCallback status,
                    QELSocketStatusCallback socket_status, QELHTTPHeaderLineCallback header_line,
                    QELSocketIOCallback socket_io) {
  if (!url || !*url) return -17;
  QELHTTPPtr http(QELHTTPCreate());
  if (!http) return 0;
  if (QELHTTPSetOption(http.get(), QELHTTP_OPT_URL, url) != 0) return -19;
  if (!output_path) return -1;
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_METHOD, QELHTTP_GET);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_INCLUDE_HEADERS, 0);
  QELHTTPSetOption(http.get(), QELHTTP_OPT_OUTPUT_FILE, output_path);
  set_callback(http.get(), QELHTTP_OPT_BODY_CALLBACK, body);
  set_callback(http.get(), QELHTTP_OPT_HEADER_LINE_CALLBACK, header_line);
  set_callback(http.get(), QELHTTP_OPT_STATUS_CALLBACK, status);
  set_callback(http.get(), QELHTTP_OPT_SOCKET_STATUS_CALLBACK, socket_status);
  set_callback(http.get(), QELHTTP_OPT_SOCKET_IO_CALLBACK, socket_io);
  return QELHTTPExecute(http.get());
}

int QELHTTPDownloadEx(const char* url, const char* output_path, const QELSSLSettings* settings,
                      QELHTTPBodyCallback body, QELHTTPStatusCallback status, QELSocketStatusCallback socket_status,
                      QELHTTPHeaderLineCallback header_line, void* header_user, QELHTTPHeaderCallback header,
                      void* header_user2, QELSocketIOCallback socket_io) {
  const DownloadExArgs args{
      output_path, settings, body, status, socket_status, header_line, header_user2 ? header_user2 : header_user,
      header,      socket_io};
  // The file holds what the last attempt fetched, so its result is the one
  // that tells whether the download succeeded.
  std::string location;
  int result = download_once(url, args, &location);
  for (int redirects = 0; !location.empty() && redirects < kMaxRedirects; ++redirects) {
    const std::string next = location;
    result = download_once(next.c_str(), args, &location);
  }
  return result;
}

uintptr_t QELHTTPExecuteAsync(QELHTTP* http, QELHTTPAsyncCallback done, void* host) {
  auto* job = new (std::nothrow) AsyncJob{http, done, host};
  if (!job) return 0;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const int started = pthread_create(&thread, &attributes, run_async, job);
  pthread_attr_destroy(&attributes);
  if (started != 0) {
    delete job;
    return 0;
  }
  // pthread_t is an opaque integer on this platform; never 0 for a live thread.
  const auto handle = static_cast<uintptr_t>(thread);
  job->handle.store(handle);
  return handle;
}
