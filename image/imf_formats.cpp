// Format numbers and their file extensions and MIME types, both ways.
#include <strings.h>

#include <cstring>

#include "image/imgfilter.h"

namespace {

struct name_entry {
  const char* name;
  int format;
};

// Extensions recognised on input ("jpeg" is deliberately not one of them).
constexpr name_entry kExtensions[] = {
    {"png", IMF_FMT_PNG},  {"gif", IMF_FMT_GIF}, {"tif", IMF_FMT_TIFF},  {"tiff", IMF_FMT_TIFF},
    {"jpg", IMF_FMT_JPEG}, {"bmp", IMF_FMT_BMP}, {"dcm", IMF_FMT_DICOM}, {"gd", IMF_FMT_GD},
    {"gd2", IMF_FMT_GD2},  {"pcl", IMF_FMT_PCL}, {"pdf", IMF_FMT_PDF},
};

constexpr name_entry kMimeTypes[] = {
    {"image/png", IMF_FMT_PNG},         {"image/gif", IMF_FMT_GIF},
    {"image/tiff", IMF_FMT_TIFF},       {"image/x-tiff", IMF_FMT_TIFF},
    {"image/jpeg", IMF_FMT_JPEG},       {"image/bmp", IMF_FMT_BMP},
    {"image/x-bmp", IMF_FMT_BMP},       {"application/dicom", IMF_FMT_DICOM},
    {"image/jp2", IMF_FMT_JP2},         {"application/vnd.hp-pcl", IMF_FMT_PCL},
    {"application/x-pcl", IMF_FMT_PCL}, {"application/pdf", IMF_FMT_PDF},
};

template <size_t N>
int lookup(const name_entry (&table)[N], const char* name) {
  for (const name_entry& entry : table)
    if (strcasecmp(entry.name, name) == 0) return entry.format;
  return 0;
}

}  // namespace

int imf_format_from_extension(const char* name) {
  if (!name) return 0;
  const char* base = name;
  for (const char* p = name; *p; ++p)
    if (*p == '/' || *p == '\\') base = p + 1;
  const char* dot = strrchr(base, '.');
  return lookup(kExtensions, dot ? dot + 1 : base);
}

int imf_format_from_mime(const char* type) {
  return type ? lookup(kMimeTypes, type) : 0;
}

const char* imf_format_mime(int format) {
  switch (format) {
    case IMF_FMT_PNG: return "image/png";
    case IMF_FMT_GIF: return "image/gif";
    case IMF_FMT_TIFF: return "image/tiff";
    case IMF_FMT_JPEG: return "image/jpeg";
    case IMF_FMT_BMP: return "image/x-bmp";
    case IMF_FMT_DICOM: return "application/dicom";
    case IMF_FMT_JP2: return "image/jp2";
    case IMF_FMT_PCL: return "application/vnd.hp-pcl";
    case IMF_FMT_PDF: return "application/pdf";
    default: return "image/x-unknown";
  }
}

const char* imf_format_extension(int format) {
  switch (format) {
    case IMF_FMT_PNG: return "png";
    case IMF_FMT_GIF: return "gif";
    case IMF_FMT_TIFF: return "tif";
    case IMF_FMT_JPEG: return "jpg";
    case IMF_FMT_BMP: return "bmp";
    case IMF_FMT_DICOM: return "dcm";
    case IMF_FMT_JP2: return "jp2";
    case IMF_FMT_PCL: return "pcl";
    case IMF_FMT_PDF: return "pdf";
    default: return "img";
  }
}
