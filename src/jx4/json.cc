#include "jx4/json.h"

#include <cstdio>
#include <ctime>

#include "platform/clock.h"

namespace nimbrel {

namespace {

// Length of the valid UTF-8 sequence at `text` (2 to 4), or 0.
int Utf8Length(const unsigned char* text) {
  unsigned char c = text[0];
  int length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
  if (length == 0 || (length == 3 && c > 0xEF)) return 0;
  for (int i = 1; i < length; ++i) {
    if ((text[i] & 0xC0) != 0x80) return 0;
  }
  // No overlong forms, surrogates or values past U+10FFFF.
  if (c == 0xE0 && text[1] < 0xA0) return 0;
  if (c == 0xED && text[1] >= 0xA0) return 0;
  if (c == 0xF0 && text[1] < 0x90) return 0;
  if (c == 0xF4 && text[1] >= 0x90) return 0;
  return length;
}

}  // namespace

void AppendJsonString(std::string* out, const char* text) {
  out->push_back('"');
  const auto* at = reinterpret_cast<const unsigned char*>(text);
  while (*at != 0) {
    unsigned char c = *at;
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
      ++at;
    } else if (c >= 0x20 && c < 0x80) {
      out->push_back(static_cast<char>(c));
      ++at;
    } else if (int length = c >= 0x80 ? Utf8Length(at) : 0; length > 0) {
      out->append(reinterpret_cast<const char*>(at), static_cast<size_t>(length));
      at += length;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out->append(escaped);
      ++at;
    }
  }
  out->push_back('"');
}

std::string IsoTime(int64_t secondsSince1970) {
  std::tm fields;
  if (!UtcCalendar(secondsSince1970, &fields)) return "";
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", fields.tm_year + 1900,
                fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec);
  return text;
}

}  // namespace nimbrel
