// What a transfer of a document into the device came to: kept by the
// control, read by hosts through the module.
#pragma once

// Only Sent means the device lists every page of the document; the user
// has been told through a message box in every other case.
struct SyncResult {
  enum class Status {
    NotRun,       // no transfer yet
    Sent,         // every page and the directory reached the device
    LeftOut,      // the directory went out, but some pages had no room in it
    NoLibrary,    // the HID library could not be loaded or bound
    NoDevice,     // the user gave up looking for the device
    WriteFailed,  // the device stopped taking reports
  };
  Status status = Status::NotRun;
  int pages_sent = 0;
  int pages_left_out = 0;
};
