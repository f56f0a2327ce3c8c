// Where finished print jobs go: a spooler answers a destination's default
// paper and takes a finished PDF. The system spooler writes "pdf:PATH"
// destinations to their file and hands every other one to CUPS; tests put a
// recording spooler in its place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A destination's default paper (DMPAPER_*, 0 when unknown) and the margins
// it cannot print on, in points of a portrait sheet.
struct PrintMedia {
  int16_t paper = 0;
  bool margins_known = false;
  double left = 0, top = 0, right = 0, bottom = 0;
};

// A finished job: the PDF at pdf_path holds `pages` sheets (possibly none);
// copies > 1 asks the destination to print each sheet that many times.
struct PrintSubmission {
  std::string destination;
  std::string job_name;
  std::string pdf_path;
  int pages = 0;
  int copies = 1;
};

class PrintSpooler {
 public:
  virtual ~PrintSpooler() = default;
  // False when the destination reports no default paper.
  virtual bool media_default(const std::string& destination, PrintMedia* media) = 0;
  // Takes the job; the file at pdf_path stays the caller's. Answers a value
  // greater than 0 (a job id where the destination has them) or 0 with a
  // reason in *error.
  virtual int submit(const PrintSubmission& job, std::string* error) = 0;
};

// The spooler printing goes to: the one installed, else the system's.
PrintSpooler& print_spooler();
// Installs a spooler (not owned; null restores the system's) and answers
// the one installed before, null for the system's.
PrintSpooler* set_print_spooler(PrintSpooler* spooler);
// The system spooler itself, for spoolers that pass some jobs on.
PrintSpooler& system_print_spooler();

// CUPS destinations as "name" or "name/instance", the default one
// flagged. Empty when there are none, or when libcups or the scheduler
// cannot be reached, which *error then says.
struct PrintDestination {
  std::string name;
  bool is_default = false;
};
std::vector<PrintDestination> print_destinations(std::string* error = nullptr);
// The CUPS default destination, "" when there is none; *error says why when
// libcups or the scheduler cannot be reached.
std::string print_default_destination(std::string* error = nullptr);
