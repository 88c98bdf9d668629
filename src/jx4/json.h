// Writing JSON text: strings escaped so that any bytes (names from archives
// are not always UTF-8) give valid JSON, and times in ISO 8601 UTC.
#ifndef NIMBREL_JX4_JSON_H_
#define NIMBREL_JX4_JSON_H_

#include <cstdint>
#include <string>

namespace nimbrel {

// Appends `text` as a JSON string, quotes included. Valid UTF-8 passes as
// it is; any other byte is taken as Latin-1 and escaped (\u00XX), as are
// control characters, quotes and backslashes.
void AppendJsonString(std::string* out, const char* text);

// "2005-07-03T12:03:12Z"; "" for a time the calendar cannot hold.
std::string IsoTime(int64_t secondsSince1970);

}  // namespace nimbrel

#endif  // NIMBREL_JX4_JSON_H_
