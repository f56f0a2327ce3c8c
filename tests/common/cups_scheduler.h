// A private CUPS scheduler for tests: cupsd from Debian's cups package on a
// free 127.0.0.1 port, with its own server root in a temporary directory and
// one queue whose device is a file. The queue's driver passes documents
// through unchanged, offers A4 (default, margins 1/4 inch left and right,
// 1/2 inch top and bottom) and Letter. libcups in this process is pointed at
// it while it lives, and CUPS_SERVER is set for child processes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tessel_testing {

struct CupsJobRecord {
  int id = 0;
  std::string name;
  int copies = 1;
  int state = 0;  // IPP job state, 9 completed
};

class CupsScheduler {
 public:
  // Starts the scheduler and waits (at most 5 s) until the queue answers;
  // the test fails with a clear message when cupsd is missing or silent.
  explicit CupsScheduler(const std::string& queue = "testq");
  // Stops the scheduler and removes its directory.
  ~CupsScheduler();
  CupsScheduler(const CupsScheduler&) = delete;
  CupsScheduler& operator=(const CupsScheduler&) = delete;

  bool running() const { return ready_; }
  const std::string& queue() const { return queue_; }
  // "127.0.0.1:PORT".
  std::string server() const;
  // The file the queue's device writes.
  std::string output_path() const { return dir_ + "/out/job.pdf"; }
  // Every job the scheduler knows, oldest first.
  std::vector<CupsJobRecord> jobs() const;
  // Waits until `count` jobs are completed (at most timeout_ms).
  bool wait_for_completed(size_t count, int timeout_ms) const;
  // The end of the scheduler's error log, for failure messages.
  std::string log_tail() const;

 private:
  bool write_configuration();
  void stop();

  std::string queue_;
  std::string dir_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool ready_ = false;
};

}  // namespace tessel_testing
