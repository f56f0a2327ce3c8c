// Form fields of a request and the bytes they become: URL-encoded text for
// queries and bodies, multipart/form-data bodies, and their exact lengths.
#pragma once

#include "net/qelhttp.h"

// Every piece goes out through one call: 0 when the whole piece was sent.
using QELFormSend = int (*)(void* context, const char* data, int length);

// Field list kept in insertion order; null on allocation failure.
QELHTTPField* QELFormAddValue(QELHTTPField** list, const char* name, const char* value, int copy);
QELHTTPField* QELFormAddFile(QELHTTPField** list, const char* path, const char* content_type, const char* name,
                             int copy);
int QELFormSetFileName(QELHTTPField* field, const char* filename);
void QELFormClear(QELHTTPField** list);

// URL encoding of one byte run: counted (send null) or sent piece by piece.
// Answers the encoded length, or -1 at the first failed send.
long QELFormEncode(const char* data, long length, QELFormSend send, void* context);

// Field text: name=value joined by '&'; GET skips file fields. -1 on failure.
long QELFormFieldText(const QELHTTPField* list, int skip_files, QELFormSend send, void* context);
// Content-Length of a URL-encoded body; -1 when a file cannot be read or the
// length does not fit a signed 32-bit count.
long QELFormEncodedLength(const QELHTTPField* list);
long QELFormMultipartLength(const QELHTTPField* list, const char* boundary);
int QELFormMultipartBody(const QELHTTPField* list, const char* boundary, QELFormSend send, void* context);
