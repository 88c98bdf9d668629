// What a run files, or what a command that looks inside .jx4 files shows:
// the products of some categories, of some stations, of volume scans that
// began within a time range. The texts a user writes for it (lists of
// category codes and of station or site ids, ISO 8601 times) are read
// here, by one parser whose error messages every front end shows as they
// are.
//
// Invariants: an empty list selects every value; `productIds` and
// `stations` are sorted and hold no value twice; `stations` holds station
// ids as the station table spells them; from <= to unless the selection
// was built by hand.
#ifndef NIMBREL_CONVERSION_SELECTION_H_
#define NIMBREL_CONVERSION_SELECTION_H_

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "products/catalogue.h"

namespace nimbrel {

struct Selection {
  std::vector<int32_t> productIds;
  std::vector<std::string> stations;
  int64_t from = std::numeric_limits<int64_t>::min();  // seconds since 1970 UTC, inclusive
  int64_t to = std::numeric_limits<int64_t>::max();    // inclusive

  bool SelectsEverything() const;
  bool SelectsProduct(int32_t productId) const;
  bool SelectsStation(const char* station) const;
  bool SelectsTime(int64_t volumeTime) const { return volumeTime >= from && volumeTime <= to; }
  // A file of this station and volume time may hold selected products.
  bool SelectsVolume(const char* station, int64_t volumeTime) const {
    return SelectsStation(station) && SelectsTime(volumeTime);
  }
  bool Selects(int32_t productId, const char* station, int64_t volumeTime) const {
    return SelectsProduct(productId) && SelectsVolume(station, volumeTime);
  }
};

// The texts of a selection as a user gives them.
struct SelectionTexts {
  // Category codes (N0Q, any case), each text a comma-separated list.
  std::vector<std::string> categories;
  // 4-letter station ids (KTLX) or 3-letter site ids (TLX), any case, each
  // text a comma-separated list.
  std::vector<std::string> stations;
  // ISO 8601 UTC: YYYY-MM-DD, or with THH:MM or THH:MM:SS (a blank may
  // stand for the T; a Z may end it). "" for no bound. `to` takes in the
  // whole of the day, minute or second it names.
  std::string from;
  std::string to;
};

// Builds the selection `texts` describe, looking categories and stations
// up in `catalogue`. False, with `error` saying what is wrong (naming the
// text), when a category or station is not in it, a time is not one, or
// the range is empty.
bool ParseSelection(const SelectionTexts& texts, Catalogue catalogue, Selection* selection,
                    std::string* error);

// Seconds since 1970 UTC of an ISO 8601 date or date and time; `last`
// gives the last second of the day, minute or second named instead of the
// first. False when `text` is not one of the forms SelectionTexts takes.
bool ParseUtcTime(const std::string& text, bool last, int64_t* seconds);

}  // namespace nimbrel

#endif  // NIMBREL_CONVERSION_SELECTION_H_
