// Temporary picture files: names made in the builder's temporary directory
// and created exclusively, so that no existing file (or link) is reused.
#pragma once

#include <cstddef>

// Makes a fresh name with qel_tempname and creates that file, empty, for
// the owner only. Answers its open descriptor (write only), or -1.
int pdoc_image_create_temp(char* name, size_t size, const char* directory, const char* prefix, const char* extension);

// 1 when text begins with "http://" or "https://" in any case.
int pdoc_image_is_web_address(const char* text);
