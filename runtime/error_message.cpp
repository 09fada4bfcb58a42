#include "runtime/error_message.h"

#include <algorithm>
#include <cstdio>

#include "runtime/last_error.h"

namespace qz {

namespace {

thread_local char t_message[256] = "";

void append_escaped(std::string& out, unsigned char c) {
  if (c == '\n') {
    out += "\\n";
  } else if (c == '\r') {
    out += "\\r";
  } else if (c == '\t') {
    out += "\\t";
  } else if (c < 0x20 || c == 0x7F) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += hex;
  } else {
    out += char(c);
  }
}

std::size_t escaped_size(unsigned char c) { return c == '\n' || c == '\r' || c == '\t' ? 2 : c < 0x20 || c == 0x7F ? 4 : 1; }

bool continues_character(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

void set_error_message(const char* text) {
  std::snprintf(t_message, sizeof t_message, "%s", text ? text : "");
}

const char* error_message() { return t_message; }

void fail_with(const char* text) {
  set_last_error(1);
  set_error_message(text);
}

std::string one_line(std::string_view text, std::size_t limit) {
  std::size_t whole = 0;
  for (unsigned char c : text) whole += escaped_size(c);
  std::size_t head = text.size(), tail = text.size();  // bytes kept from the start, where the end starts
  if (whole > limit) {
    // Half the room for each end, cut between characters, never inside one.
    const std::size_t half = limit > 3 ? (limit - 3) / 2 : 0;
    std::size_t used = 0;
    for (head = 0; head < text.size() && used + escaped_size(text[head]) <= half; ++head) used += escaped_size(text[head]);
    while (head > 0 && head < text.size() && continues_character(text[head])) --head;
    used = 0;
    for (tail = text.size(); tail > head && used + escaped_size(text[tail - 1]) <= half; --tail)
      used += escaped_size(text[tail - 1]);
    while (tail < text.size() && continues_character(text[tail])) ++tail;
  }
  std::string out;
  out.reserve(std::min(whole, limit));
  for (std::size_t i = 0; i < head; ++i) append_escaped(out, text[i]);
  if (head == text.size()) return out;
  out += "...";
  for (std::size_t i = tail; i < text.size(); ++i) append_escaped(out, text[i]);
  return out;
}

}  // namespace qz
