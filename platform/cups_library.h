// libcups, loaded the first time a CUPS queue is used rather than with every
// program: it pulls in some thirty libraries (TLS, Kerberos, D-Bus, ...),
// which cost a process about 9 ms to load, and most runs print to a PDF file
// or not at all.
#pragma once

#include <cups/cups.h>

#include <string>

struct CupsLibrary {
  decltype(&cupsGetNamedDest) get_named_dest;
  decltype(&cupsGetDests2) get_dests2;
  decltype(&cupsFreeDests) free_dests;
  decltype(&cupsCopyDestInfo) copy_dest_info;
  decltype(&cupsFreeDestInfo) free_dest_info;
  decltype(&cupsFindDestDefault) find_dest_default;
  decltype(&ippGetString) ipp_get_string;
  decltype(&cupsGetDestMediaByName) get_dest_media_by_name;
  decltype(&cupsGetDestMediaDefault) get_dest_media_default;
  decltype(&cupsLastErrorString) last_error_string;
  decltype(&cupsAddOption) add_option;
  decltype(&cupsAddIntegerOption) add_integer_option;
  decltype(&cupsPrintFile) print_file;
  decltype(&cupsFreeOptions) free_options;
  decltype(&cupsServer) server;
  decltype(&ippPort) port;
  decltype(&cupsEncryption) encryption;
  decltype(&httpConnect2) connect;
  decltype(&httpClose) close;
};

// The library's entry points, loaded on first call; null when libcups cannot
// be loaded or lacks one of them, with the reason in *why.
const CupsLibrary* cups_library(std::string* why = nullptr);
