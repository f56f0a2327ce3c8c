// The debug console. The component writes its trace lines to standard
// output; a host keeps them out of sight until the component opens the
// console, after which they appear unbuffered.
#pragma once

#include <cstdio>

// Called once by a host at start: standard output is pointed at the null
// device and the host keeps the real one for its own output. Answers false
// when the descriptors cannot be arranged (standard output stays as it is).
bool console_hide_stdout();

// The host's own output stream: the real standard output when it was hidden,
// else stdout itself.
std::FILE* console_host_output();

// Opens the console: standard output shows again (when a host hid it) and is
// made unbuffered. Answers true when the console is open afterwards.
bool console_open();

// True once console_open has run.
bool console_is_open();

// A module loaded by a host keeps its own copy of this layer: it hands the
// opening on to the host's copy, which holds the hidden standard output.
// Null opens in this copy again.
void console_forward_open(bool (*open)());
