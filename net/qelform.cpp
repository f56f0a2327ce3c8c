// Form field list, URL encoding and multipart bodies.
#include "net/qelform.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/stdio_file.h"

namespace {

constexpr long kMaxLength = INT32_MAX;

char* copy_text(const char* text) {
  return text ? strdup(text) : nullptr;
}

bool unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::strchr(",-./*_", c) != nullptr;
}

long encode_file(const char* path, QELFormSend send, void* context) {
  FilePtr f(path ? std::fopen(path, "rb") : nullptr);
  if (!f) return -1;
  char block[4096];
  long total = 0;
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, f.get())) > 0) {
    long r = QELFormEncode(block, static_cast<long>(n), send, context);
    if (r < 0) return -1;
    total += r;
    if (total > kMaxLength) return -1;
  }
  return std::ferror(f.get()) ? -1 : total;
}

long encode_text(const char* text, QELFormSend send, void* context) {
  return QELFormEncode(text ? text : "", text ? static_cast<long>(std::strlen(text)) : 0, send, context);
}

QELHTTPField* append(QELHTTPField** list, QELHTTPField* field) {
  while (*list) list = &(*list)->next;
  *list = field;
  return field;
}

void free_field(QELHTTPField* f) {
  if (f->owns_texts) {
    std::free(f->path);
    std::free(f->filename);
    std::free(f->content_type);
    std::free(f->name);
    std::free(f->value);
  }
  std::free(f);
}

}  // namespace

QELHTTPField* QELFormAddValue(QELHTTPField** list, const char* name, const char* value, int copy) {
  auto* f = static_cast<QELHTTPField*>(std::calloc(1, sizeof(QELHTTPField)));
  if (!f) return nullptr;
  f->owns_texts = copy == 1;
  f->name = copy == 1 ? copy_text(name) : const_cast<char*>(name);
  f->value = copy == 1 ? copy_text(value) : const_cast<char*>(value);
  if (copy == 1 && ((name && !f->name) || (value && !f->value))) {
    free_field(f);
    return nullptr;
  }
  return append(list, f);
}

QELHTTPField* QELFormAddFile(QELHTTPField** list, const char* path, const char* content_type, const char* name,
                             int copy) {
  auto* f = static_cast<QELHTTPField*>(std::calloc(1, sizeof(QELHTTPField)));
  if (!f) return nullptr;
  f->kind = 1;
  f->owns_texts = copy == 1;
  f->path = copy == 1 ? copy_text(path) : const_cast<char*>(path);
  f->content_type = copy == 1 ? copy_text(content_type) : const_cast<char*>(content_type);
  f->name = copy == 1 ? copy_text(name) : const_cast<char*>(name);
  if (copy == 1 && ((path && !f->path) || (content_type && !f->content_type) || (name && !f->name))) {
    free_field(f);
    return nullptr;
  }
  return append(list, f);
}

int QELFormSetFileName(QELHTTPField* field, const char* filename) {
  if (!field || field->kind != 1 || !filename) return -1;
  if (field->owns_texts) {
    char* c = strdup(filename);
    if (!c) return -1;
    std::free(field->filename);
    field->filename = c;
  } else {
    field->filename = const_cast<char*>(filename);
  }
  return 0;
}

void QELFormClear(QELHTTPField** list) {
  QELHTTPField* f = *list;
  while (f) {
    QELHTTPField* next = f->next;
    free_field(f);
    f = next;
  }
  *list = nullptr;
}

long QELFormEncode(const char* data, long length, QELFormSend send, void* context) {
  static const char hex[] = "0123456789ABCDEF";
  long total = 0;
  for (long i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(data[i]);
    char piece[3];
    int n = 1;
    if (unreserved(c)) {
      piece[0] = static_cast<char>(c);
    } else if (c == ' ') {
      piece[0] = '+';
    } else {
      piece[0] = '%';
      piece[1] = hex[c >> 4];
      piece[2] = hex[c & 15];
      n = 3;
    }
    if (send && send(context, piece, n) != 0) return -1;
    total += n;
  }
  return total;
}

long QELFormFieldText(const QELHTTPField* list, int skip_files, QELFormSend send, void* context) {
  long total = 0;
  for (const QELHTTPField* f = list; f; f = f->next) {
    if (skip_files && f->kind == 1) continue;
    long r = encode_text(f->name, send, context);
    if (r < 0 || (send && send(context, "=", 1) != 0)) return -1;
    long v = f->kind == 1 ? encode_file(f->path, send, context) : encode_text(f->value, send, context);
    if (v < 0) return -1;
    total += r + 1 + v;
    if (f->next) {
      if (send && send(context, "&", 1) != 0) return -1;
      ++total;
    }
    if (total > kMaxLength) return -1;
  }
  return total;
}

long QELFormEncodedLength(const QELHTTPField* list) {
  long total = 1;
  for (const QELHTTPField* f = list; f; f = f->next) {
    long n = encode_text(f->name, nullptr, nullptr);
    long v = f->kind == 1 ? encode_file(f->path, nullptr, nullptr) : encode_text(f->value, nullptr, nullptr);
    if (v < 0) return -1;
    total += n + v + (f != list ? 2 : 0);
    if (total > kMaxLength) return -1;
  }
  return total;
}

namespace {
int part_header(const QELHTTPField* f, const char* boundary, char* out, size_t size) {
  int n;
  if (f->kind == 1)
    n = std::snprintf(
        out, size, "--%s\r\nContent-Disposition: form-data; name=\"%s\"; filename=\"%s\"\r\nContent-Type: %s\r\n\r\n",
        boundary, f->name ? f->name : "", f->filename ? f->filename : (f->path ? f->path : ""),
        f->content_type ? f->content_type : "");
  else
    n = std::snprintf(out, size, "--%s\r\nContent-Disposition: form-data; name=\"%s\"\r\n\r\n%s\r\n", boundary,
                      f->name ? f->name : "", f->value ? f->value : "");
  // The header is cut to its buffer like every bounded format.
  if (n < 0) return -1;
  return n >= static_cast<int>(size) ? static_cast<int>(size) - 1 : n;
}
}  // namespace

long QELFormMultipartLength(const QELHTTPField* list, const char* boundary) {
  if (!list) return 0;
  char header[4096];
  long long total = 0;
  for (const QELHTTPField* f = list; f; f = f->next) {
    int n = part_header(f, boundary, header, sizeof header);
    if (n < 0) return -1;
    total += n;
    if (f->kind == 1) {
      struct stat st;
      if (!f->path || ::stat(f->path, &st) != 0) return -1;
      total += static_cast<long long>(st.st_size) + 2;
    }
    if (total > kMaxLength) return -1;
  }
  total += static_cast<long long>(std::strlen(boundary)) + 6;
  return total > kMaxLength ? -1 : static_cast<long>(total);
}

int QELFormMultipartBody(const QELHTTPField* list, const char* boundary, QELFormSend send, void* context) {
  if (!list) return 0;
  char header[4096];
  for (const QELHTTPField* f = list; f; f = f->next) {
    int n = part_header(f, boundary, header, sizeof header);
    if (n < 0 || send(context, header, n) != 0) return -1;
    if (f->kind != 1) continue;
    FilePtr file(f->path ? std::fopen(f->path, "rb") : nullptr);
    if (!file) return -1;
    char block[4096];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file.get())) > 0)
      if (send(context, block, static_cast<int>(got)) != 0) return -1;
    if (std::ferror(file.get()) || send(context, "\r\n", 2) != 0) return -1;
  }
  char closing[64];
  int n = std::snprintf(closing, sizeof closing, "--%s--\r\n", boundary);
  if (n < 0 || n >= static_cast<int>(sizeof closing)) return -1;
  return send(context, closing, n) != 0 ? -1 : 0;
}
