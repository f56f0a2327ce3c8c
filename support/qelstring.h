// Bounded copy and concatenation for NUL-terminated byte strings; every
// fixed-size name and line buffer in Tessel is filled through these.
#pragma once

#include <cstddef>

// Copies at most size - 1 bytes and terminates when size > 0. Answers
// strlen(source): a result >= size means the copy was cut.
size_t qel_strlcpy(char* destination, const char* source, size_t size);

// Appends source to the string in destination within size bytes in total.
// Answers the length it tried to make; when destination holds no NUL within
// size bytes nothing is written and the answer is size + strlen(source).
size_t qel_strlcat(char* destination, const char* source, size_t size);
