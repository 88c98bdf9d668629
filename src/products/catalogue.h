// The fixed tables of product kinds and radar stations, and their lookups.
//
// Invariants: kProductCatalogue has 56 rows with unique ids and category
// codes unique also when case is ignored; no row has kNoProductId.
// kStationIds has 200 lower-case 4-letter ids whose last three letters (the
// site id) are unique. Both tables are constant. All lookups are linear scans
// in table order that stop at the first match; letters compare without
// regard to case, every other byte exactly, and strings of different lengths
// never match.
#ifndef NIMBREL_PRODUCTS_CATALOGUE_H_
#define NIMBREL_PRODUCTS_CATALOGUE_H_

#include <cstdint>

namespace nimbrel {

struct ProductEntry {
  int32_t id;               // stored as productId in the site-volume index
  const char* categoryCode; // 3 characters, e.g. "N0R"
  const char* name;         // descriptive; the degree sign is the byte 0xB0
};

inline constexpr int32_t kNoProductId = 2147483647;
inline constexpr int kProductCount = 56;
inline constexpr int kStationCount = 200;

extern const ProductEntry kProductCatalogue[kProductCount];
extern const char* const kStationIds[kStationCount];

// Id of the first row whose category code equals `code` (case ignored);
// kNoProductId when `code` is null or nothing matches.
int32_t FindProductByCode(const char* code);

// The first row with exactly this id, or null.
const ProductEntry* FindProductById(int32_t id);

// The station id (as the table spells it) whose letters after the first equal
// `siteId` (case ignored), or null. `siteId` is never null.
const char* FindStation(const char* siteId);

}  // namespace nimbrel

#endif  // NIMBREL_PRODUCTS_CATALOGUE_H_
