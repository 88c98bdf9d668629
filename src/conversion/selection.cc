#include "conversion/selection.h"

#include <algorithm>
#include <cstring>

namespace nimbrel {

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysSince1970(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// Reads `width` digits at `at`; false when they are not all digits.
bool Digits(const std::string& text, size_t at, size_t width, int* value) {
  if (at + width > text.size()) return false;
  *value = 0;
  for (size_t i = at; i < at + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    *value = *value * 10 + (text[i] - '0');
  }
  return true;
}

// The items of comma-separated lists, blanks around each cut away; false
// (with the list in `bad`) when one is empty.
bool Items(const std::vector<std::string>& lists, std::vector<std::string>* items, std::string* bad) {
  for (const std::string& list : lists) {
    size_t at = 0;
    while (true) {
      size_t comma = std::min(list.find(',', at), list.size());
      size_t first = list.find_first_not_of(' ', at);
      size_t last = list.find_last_not_of(' ', comma == 0 ? 0 : comma - 1);
      if (first >= comma || last == std::string::npos || last < first) {
        *bad = list;
        return false;
      }
      items->push_back(list.substr(first, last - first + 1));
      if (comma == list.size()) break;
      at = comma + 1;
    }
  }
  return true;
}

template <typename Value>
void SortUnique(std::vector<Value>* values) {
  std::sort(values->begin(), values->end());
  values->erase(std::unique(values->begin(), values->end()), values->end());
}

// "category 'N0B' is only in the extended catalogue", or "unknown ...".
std::string NotIn(const char* what, const std::string& item, Catalogue catalogue, bool inExtended) {
  std::string text = std::string(what) + " '" + item + "'";
  if (catalogue == Catalogue::kClassic && inExtended) return text + " is only in the extended catalogue";
  return "unknown " + text;
}

// The station a user's 4-letter station id or 3-letter site id names, or null.
const char* StationNamed(Catalogue catalogue, const std::string& id) {
  if (id.size() == 3) return FindStation(catalogue, id.c_str());
  if (id.size() != 4) return nullptr;
  const char* station = FindStation(catalogue, id.c_str() + 1);
  char first = id[0] >= 'A' && id[0] <= 'Z' ? static_cast<char>(id[0] - 'A' + 'a') : id[0];
  return station != nullptr && station[0] == first ? station : nullptr;
}

}  // namespace

bool Selection::SelectsEverything() const {
  return productIds.empty() && stations.empty() && from == std::numeric_limits<int64_t>::min() &&
         to == std::numeric_limits<int64_t>::max();
}

bool Selection::SelectsProduct(int32_t productId) const {
  return productIds.empty() || std::binary_search(productIds.begin(), productIds.end(), productId);
}

bool Selection::SelectsStation(const char* station) const {
  if (stations.empty()) return true;
  auto before = [](const std::string& a, const char* b) { return std::strcmp(a.c_str(), b) < 0; };
  auto at = std::lower_bound(stations.begin(), stations.end(), station, before);
  return at != stations.end() && *at == station;
}

bool ParseUtcTime(const std::string& text, bool last, int64_t* seconds) {
  // YYYY-MM-DD[(T| )HH:MM[:SS]][Z]
  std::string rest = text;
  if (!rest.empty() && (rest.back() == 'Z' || rest.back() == 'z')) rest.pop_back();
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(rest, 0, 4, &year) || rest.size() < 10 || rest[4] != '-' || !Digits(rest, 5, 2, &month) ||
      rest[7] != '-' || !Digits(rest, 8, 2, &day)) {
    return false;
  }
  int64_t span = 86400;  // of the unit the text names last
  if (rest.size() > 10) {
    char t = rest[10];
    if ((t != 'T' && t != 't' && t != ' ') || rest.size() < 16 || !Digits(rest, 11, 2, &hour) ||
        rest[13] != ':' || !Digits(rest, 14, 2, &minute)) {
      return false;
    }
    span = 60;
    if (rest.size() > 16) {
      if (rest.size() != 19 || rest[16] != ':' || !Digits(rest, 17, 2, &second)) return false;
      span = 1;
    }
  }
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    return false;
  }
  *seconds = DaysSince1970(year, month, day) * 86400 + hour * 3600 + minute * 60 + second +
             (last ? span - 1 : 0);
  return true;
}

bool ParseSelection(const SelectionTexts& texts, Catalogue catalogue, Selection* selection,
                    std::string* error) {
  Selection made;
  std::vector<std::string> items;
  std::string bad;
  if (!Items(texts.categories, &items, &bad)) {
    *error = "an empty category in '" + bad + "'";
    return false;
  }
  for (const std::string& code : items) {
    const ProductEntry* row = FindProduct(catalogue, code.c_str());
    if (row == nullptr) {
      *error = NotIn("category", code, catalogue, FindProduct(Catalogue::kExtended, code.c_str()) != nullptr);
      return false;
    }
    made.productIds.push_back(row->id);
  }
  items.clear();
  if (!Items(texts.stations, &items, &bad)) {
    *error = "an empty station in '" + bad + "'";
    return false;
  }
  for (const std::string& id : items) {
    const char* station = StationNamed(catalogue, id);
    if (station == nullptr) {
      *error = NotIn("station", id, catalogue, StationNamed(Catalogue::kExtended, id) != nullptr);
      return false;
    }
    made.stations.push_back(station);
  }
  SortUnique(&made.productIds);
  SortUnique(&made.stations);
  const char* timeForm =
      "' is not a UTC date or time: write YYYY-MM-DD, YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS";
  if (!texts.from.empty() && !ParseUtcTime(texts.from, false, &made.from)) {
    *error = "the time '" + texts.from + timeForm;
    return false;
  }
  if (!texts.to.empty() && !ParseUtcTime(texts.to, true, &made.to)) {
    *error = "the time '" + texts.to + timeForm;
    return false;
  }
  if (made.from > made.to) {
    *error = "the time range is empty: '" + texts.from + "' is after '" + texts.to + "'";
    return false;
  }
  *selection = std::move(made);
  return true;
}

}  // namespace nimbrel
