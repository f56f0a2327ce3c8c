// The no_proxy list of the environment, matched by the rules users know
// from the common command-line download tools.
#pragma once

// Whether the comma-separated list names the host (and port, which may be
// null when unknown) as one to reach directly. An entry matches:
//   "*"                      every host;
//   a name, with or without a leading "." or "*."
//                            that name and every name below it, any case;
//   an IPv4 or IPv6 address  that address only; an IPv4 "ADDRESS/BITS" its
//                            network;
// each optionally followed by ":PORT" (an IPv6 address then in brackets),
// which limits it to that port.
bool qelproxy_bypassed(const char* list, const char* host, const char* port);
