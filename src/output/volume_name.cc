#include "output/volume_name.h"

#include <cstring>
#include <ctime>
#include <iterator>

#include "platform/clock.h"
#include "products/archive_name.h"

namespace nimbrel {

namespace {

constexpr const char* kLayoutNames[] = {"flat", "station", "station/year", "station/year/month",
                                        "station/year/month/day"};
static_assert(std::size(kLayoutNames) == static_cast<size_t>(VolumeLayout::kCount));

// Writes `value` (0 or more) as exactly `width` decimal digits.
char* PutDigits(char* at, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    at[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return at + width;
}

bool AllDigits(const std::string& text, size_t at, size_t count) {
  if (at + count > text.size()) return false;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

}  // namespace

const char* LayoutName(VolumeLayout layout) {
  size_t at = static_cast<size_t>(layout);
  return at < std::size(kLayoutNames) ? kLayoutNames[at] : kLayoutNames[0];
}

bool ParseLayout(const char* text, VolumeLayout* layout) {
  for (size_t i = 0; i < std::size(kLayoutNames); ++i) {
    if (std::strcmp(text, kLayoutNames[i]) == 0) {
      *layout = static_cast<VolumeLayout>(i);
      return true;
    }
  }
  return false;
}

bool MakeVolumeFileName(char* buffer, const char* station, int32_t volumeTime) {
  return MakeVolumePath(buffer, station, volumeTime, VolumeLayout::kFlat, 1);
}

bool MakeVolumePath(char* buffer, const char* station, int32_t volumeTime, VolumeLayout layout,
                    int32_t part) {
  std::tm fields;
  if (volumeTime < 0 || part < 1 || part > kMaxVolumeParts || !UtcCalendar(volumeTime, &fields)) {
    return false;
  }
  const int year = fields.tm_year + 1900, month = fields.tm_mon + 1, day = fields.tm_mday;
  // Room for the fields: 16 bytes of date and time, ".jx4" and its zero
  // (and 3 to spare, as the first files were always named),
  // "_N" or "_NN", and with folders the station again and 12 bytes.
  const size_t fixed = 24 + (part > 1 ? 3 : 0);
  const size_t room = layout == VolumeLayout::kFlat ? kPathBufferSize - fixed
                                                    : (kPathBufferSize - fixed - 12) / 2;
  size_t length = strnlen(station, room);
  char* at = buffer;
  if (layout != VolumeLayout::kFlat) {
    std::memcpy(at, station, length);
    at += length;
    *at++ = kPathSeparator;
    if (layout >= VolumeLayout::kStationYear) at = PutDigits(at, year, 4), *at++ = kPathSeparator;
    if (layout >= VolumeLayout::kStationYearMonth) at = PutDigits(at, month, 2), *at++ = kPathSeparator;
    if (layout >= VolumeLayout::kStationYearMonthDay) at = PutDigits(at, day, 2), *at++ = kPathSeparator;
  }
  std::memcpy(at, station, length);
  at += length;
  *at++ = '_';
  at = PutDigits(at, year, 4);
  at = PutDigits(at, month, 2);
  at = PutDigits(at, day, 2);
  *at++ = '_';
  at = PutDigits(at, fields.tm_hour, 2);
  at = PutDigits(at, fields.tm_min, 2);
  at = PutDigits(at, fields.tm_sec, 2);
  if (part > 1) {
    *at++ = '_';
    at = PutDigits(at, part, part >= 10 ? 2 : 1);
  }
  std::memcpy(at, kVolumeSuffix, sizeof kVolumeSuffix);
  return true;
}

int32_t VolumePart(const std::string& name, std::string* firstName) {
  const size_t suffix = sizeof kVolumeSuffix - 1;
  if (name.size() <= suffix || name.compare(name.size() - suffix, suffix, kVolumeSuffix) != 0) return 0;
  std::string stem = name.substr(0, name.size() - suffix);
  int32_t part = 1;
  size_t underscore = stem.rfind('_');
  // "_N" after the time: the time's field is 6 digits, a part at most 2
  // with no leading zero.
  if (underscore != std::string::npos && stem.size() - underscore - 1 <= 2 &&
      AllDigits(stem, underscore + 1, stem.size() - underscore - 1) && stem[underscore + 1] != '0') {
    part = 0;
    for (size_t i = underscore + 1; i < stem.size(); ++i) part = part * 10 + (stem[i] - '0');
    if (part < 2) return 0;
    stem.resize(underscore);
  }
  // "<station>_<8 digits>_<6 digits>", a station of 1 to 7 characters.
  const size_t tail = 1 + 8 + 1 + 6;
  if (stem.size() <= tail || stem.size() > tail + 7) return 0;
  size_t date = stem.size() - tail;
  if (stem[date] != '_' || !AllDigits(stem, date + 1, 8) || stem[date + 9] != '_' ||
      !AllDigits(stem, date + 10, 6)) {
    return 0;
  }
  if (firstName != nullptr) *firstName = stem + kVolumeSuffix;
  return part;
}

std::string FurtherFileName(const std::string& firstName, int32_t part) {
  const size_t suffix = sizeof kVolumeSuffix - 1;
  std::string stem = firstName.size() > suffix ? firstName.substr(0, firstName.size() - suffix) : firstName;
  return stem + "_" + std::to_string(part) + kVolumeSuffix;
}

std::string StoredProductName(const std::string& volumeFile, int32_t volumeTime, uint32_t productId,
                              const uint8_t* image, int32_t imageLength, bool* fromHeading) {
  char name[kArchiveNameSize];
  *fromHeading = MakeArchiveName(image, imageLength, volumeTime, name);
  if (*fromHeading) return name;
  std::string stem;
  if (VolumePart(volumeFile, &stem) == 0) stem = volumeFile;
  const size_t suffix = sizeof kVolumeSuffix - 1;
  if (stem.size() > suffix && stem.ends_with(kVolumeSuffix)) stem.resize(stem.size() - suffix);
  return stem + "_" + std::to_string(productId);
}

}  // namespace nimbrel
