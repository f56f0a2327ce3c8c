// Completing an image element when it ends: its local file and its size.
// Pictures come from web addresses, from names relative to the document's
// base, or from base64 text inside the document.
#pragma once

#include <cstddef>

#include "document/pdoc.h"

// Size of the temporary name pdoc_fetch_image answers, terminator included.
inline constexpr size_t PDOC_IMAGE_NAME_SIZE = 255;

// Image type classes announced by a download's Content-Type.
enum : int {
  PDOC_IMAGE_UNSUPPORTED = 0,
  PDOC_IMAGE_BMP = 1,
  PDOC_IMAGE_JPEG = 2,
  PDOC_IMAGE_PNG = 3,
  PDOC_IMAGE_TIFF = 4,
};

// A picture download stops once its body has grown past this many bytes;
// nothing a page shows needs more, and the decoders load whole files.
inline constexpr long PDOC_IMAGE_MAX_BYTES = 64L * 1024 * 1024;

// Called when an IMG element ends (also when the input ends with it open):
// turns the source into a local file and completes width and height.
void pdoc_image_finish(pdoc_builder* builder, pdoc_element* image);

// Downloads address into a new temporary file in directory (the system's
// temporary directory when null), sending extra_headers (may be null), with
// the certificate check and time-out of settings (the defaults when null).
// On success answers 1 with the file's name in name (PDOC_IMAGE_NAME_SIZE
// bytes) and the announced type in *image_class. On failure prints a report,
// removes whatever was written, clears name and answers 0.
int pdoc_fetch_image(const char* address, char* name, int* image_class, const char* directory,
                     const char* extra_headers, const pdoc_fetch_settings* settings = nullptr);

// Header handler of the picture download; user is the int receiving the
// class. Always answers 1 (continue).
int pdoc_image_type_header(void* user, const char* name, const char* value);

// The type class of a Content-Type value (whole value, any case).
int pdoc_image_class(const char* content_type);

// 1 when address names the same host and port as the document's base
// address, so that the document's own request headers (its session) may go
// with it; 0 for any other host and when the base is no web address.
int pdoc_image_same_origin(const char* base_url, const char* address);

// Collects inline picture text (base64) of an image in a side file of its
// own under the builder's temporary directory.
void pdoc_image_append_inline(const pdoc_builder* builder, pdoc_element* image, const char* bytes, int length);

// Decodes the collected inline text, as one base64 text, into a new
// temporary picture file, which becomes the image's src, and removes the side
// file. Without text, or with text that is not base64 (reported), the image
// has no src.
void pdoc_image_decode_inline(const pdoc_builder* builder, pdoc_element* image);

// Removes and forgets the side file of an image, if it still has one.
void pdoc_image_drop_side_file(pdoc_element* image);
