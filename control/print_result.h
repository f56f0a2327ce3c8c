// What the last Print of a control came to: kept by the control, read by
// hosts through the module.
#pragma once

#include <string>

struct PrintResult {
  enum class Status {
    NotRun,
    Printed,    // the destination took the job
    Cancelled,  // the print dialog was not confirmed
    Failed,     // the job was not started, not finished or not taken
  };
  Status status = Status::NotRun;
  std::string destination;  // the printer chosen in the dialog
  int sheets = 0;           // sheets the destination took
  std::string failure;      // why, when Failed
};
