#include "products/archive_name.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/clock.h"

namespace nimbrel {

namespace {

bool IsAlphanumeric(uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool AllOf(const uint8_t* at, int count, bool (*test)(uint8_t)) {
  for (int i = 0; i < count; ++i) {
    if (!test(at[i])) return false;
  }
  return true;
}

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool IsLineEnd(uint8_t c) { return c == '\r' || c == '\n'; }

int TwoDigits(const uint8_t* at) { return (at[0] - '0') * 10 + (at[1] - '0'); }

}  // namespace

bool MakeArchiveName(const uint8_t* image, int32_t imageLength, int32_t volumeTime,
                     char (&buffer)[kArchiveNameSize]) {
  // TTAAII at 0, CCCC at 7, DDHHMM at 12, PPPSSS at 21.
  if (image == nullptr || imageLength < 30 || !AllOf(image, 6, IsAlphanumeric) ||
      image[6] != ' ' || !AllOf(image + 7, 4, IsAlphanumeric) || image[11] != ' ' ||
      !AllOf(image + 12, 6, IsDigit) || !AllOf(image + 18, 3, IsLineEnd) ||
      !AllOf(image + 21, 6, IsAlphanumeric) || !AllOf(image + 27, 3, IsLineEnd)) {
    return false;
  }
  int day = TwoDigits(image + 12);
  int hour = TwoDigits(image + 14);
  int minute = TwoDigits(image + 16);
  std::tm scan;
  if (day < 1 || day > 31 || hour > 23 || minute > 59 || !UtcCalendar(volumeTime, &scan)) {
    return false;
  }
  int year = scan.tm_year + 1900;
  int month = scan.tm_mon + 1;
  if (day < scan.tm_mday && ++month > 12) {
    month = 1;
    ++year;
  }
  const char* text = reinterpret_cast<const char*>(image);
  char name[64];  // room for any int, to keep the compiler's length check quiet
  int length = std::snprintf(name, sizeof name, "%.4s_%.6s_%.6s_%04d%02d%02d%02d%02d", text + 7,
                             text, text + 21, year, month, day, hour, minute);
  if (length != kArchiveNameSize - 1) return false;
  std::memcpy(buffer, name, kArchiveNameSize);
  return true;
}

}  // namespace nimbrel
