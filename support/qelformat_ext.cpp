// The %p extensions of the formatting engine: IPv4 addresses and text
// escaped for HTML, URLs, XML, quoting and JavaScript strings.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstring>

#include "support/qelformat_internal.h"

namespace qelformat {
namespace {

const char kUpperHex[] = "0123456789ABCDEF";

bool is_url_safe(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

// The entity for the four characters every HTML escape handles, or null.
const char* html_entity(char c) {
  switch (c) {
    case '"': return "&quot;";
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    default: return nullptr;
  }
}

// A backslash sequence for a JavaScript string in the given quotes, or null.
const char* js_escape(char c, char quote) {
  if (c == quote) return quote == '"' ? "\\\"" : "\\'";
  switch (c) {
    case '\r': return "\\r";
    case '\n': return "\\n";
    case '\\': return "\\\\";
    default: return nullptr;
  }
}

bool put_text(Writer& w, const char* text) {
  return w.write(text, std::strlen(text));
}

bool put_hex_byte(Writer& w, const char* before, unsigned char c, const char* after) {
  char hex[2] = {kUpperHex[c >> 4], kUpperHex[c & 15]};
  return put_text(w, before) && w.write(hex, 2) && put_text(w, after);
}

bool escape_text(Writer& w, char letter, char sub, const char* s, size_t n, char& previous) {
  for (size_t i = 0; i < n; ++i) {
    char c = s[i];
    auto u = static_cast<unsigned char>(c);
    const char* e = nullptr;
    bool ok = true;
    switch (letter) {
      case 'l':
      case 'L':
        e = html_entity(c);
        ok = e ? put_text(w, e) : w.put(c);
        break;
      case 'r':
      case 'R':
        if (c == '\n')
          ok = put_text(w, "<br>");
        else if (c == ' ' && previous == ' ')
          ok = put_text(w, "&nbsp;");
        else if ((e = html_entity(c)))
          ok = put_text(w, e);
        else
          ok = w.put(c);
        // After "&nbsp;" the next space is written as a space again.
        previous = (c == ' ' && previous == ' ') ? ';' : c;
        break;
      case 'e':
        if (is_url_safe(u))
          ok = w.put(c);
        else if (c == ' ')
          ok = w.put('+');
        else
          ok = put_hex_byte(w, "%", u, "");
        break;
      case 'x':
        if (c == '\'')
          ok = put_text(w, "&apos;");
        else if ((e = html_entity(c)))
          ok = put_text(w, e);
        else if (u >= 0x20 && u < 0x7f)
          ok = w.put(c);
        else
          ok = put_hex_byte(w, "&#x", u, ";");
        break;
      case 'q':
        if (c == quote_character())
          ok = w.put(escape_character()) && w.put(c);
        else if (c == escape_character())
          ok = w.put(escape_escape_character()) && w.put(c);
        else
          ok = w.put(c);
        break;
      case 'j':
        if (sub == 'S' || sub == 's') {
          e = js_escape(c, sub == 'S' ? '"' : '\'');
          ok = e ? put_text(w, e) : w.put(c);
        } else if (sub == 'e') {
          if (is_url_safe(u))
            ok = w.put(c);
          else if (c == ' ')
            ok = w.put('+');
          else if (c == '\'')
            ok = put_text(w, "\\'");
          else
            ok = put_hex_byte(w, "\\x25", u, "");
        } else if (sub == 'l') {
          if ((e = html_entity(c)) || (e = js_escape(c, '\'')))
            ok = put_text(w, e);
          else
            ok = w.put(c);
        }
        break;
      default: break;
    }
    if (!ok) return false;
  }
  return true;
}

// "a.b.c.d" (and ":port") into buf; answers its length.
size_t format_address(char* buf, size_t size, const unsigned char* a, const unsigned short* port) {
  int n = port ? std::snprintf(buf, size, "%u.%u.%u.%u:%u", a[0], a[1], a[2], a[3], *port)
               : std::snprintf(buf, size, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
  return n < 0 ? 0 : static_cast<size_t>(n);
}

}  // namespace

bool is_extension_letter(char letter) {
  return std::strchr("AIlLrRexqj", letter) != nullptr;
}

bool write_extension(Writer& w, const Directive& d, char letter, char sub, const void* argument, char& html_previous) {
  char buf[32];
  const char* text = nullptr;
  size_t length = 0;
  bool escaped = true;
  if (!argument) {
    text = "(null)";
    length = 6;
    escaped = false;
  } else if (letter == 'A' || letter == 'I') {
    unsigned char a[4];
    unsigned short port = 0;
    if (letter == 'A') {
      std::memcpy(a, argument, 4);
    } else {
      sockaddr_in address;
      std::memcpy(&address, argument, sizeof address);
      std::memcpy(a, &address.sin_addr, 4);
      port = ntohs(address.sin_port);
    }
    text = buf;
    length = format_address(buf, sizeof buf, a, letter == 'I' ? &port : nullptr);
    escaped = false;
  } else {
    // Never look further than the precision: the text need not be terminated.
    text = static_cast<const char*>(argument);
    length = d.precision >= 0 ? strnlen(text, static_cast<size_t>(d.precision)) : std::strlen(text);
  }
  if (d.precision >= 0 && length > static_cast<size_t>(d.precision)) length = static_cast<size_t>(d.precision);
  if (escaped && length == 0 && (letter == 'L' || letter == 'R')) {
    text = "&nbsp;";
    length = 6;
    escaped = false;
  }

  // The width counts source characters, before escaping.
  long long pad = static_cast<long long>(d.width) - static_cast<long long>(length);
  if (!d.left && !w.repeat(' ', pad)) return false;
  bool ok = escaped ? escape_text(w, letter, sub, text, length, html_previous) : w.write(text, length);
  if (!ok) return false;
  return !d.left || w.repeat(' ', pad);
}

}  // namespace qelformat
