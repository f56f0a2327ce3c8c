// Files as answers of the loopback servers: the media type a file's name
// stands for, and the answer that carries a file.
#pragma once

#include <string>

#include "bridge/http_server.h"

// The media type of a file by its extension (html, js, css, png, jpeg, bmp,
// gif; application/octet-stream for any other). Text types name `charset`
// when one is given.
std::string http_content_type(const std::string& path, const char* charset = nullptr);

// 200 with the file's bytes and its media type; 404 when the file cannot
// be opened, 500 when it cannot be read to its end.
HttpResponse http_file_response(const std::string& path, const char* charset = nullptr);
