// The tables of product kinds and radar stations, and their lookups.
//
// Two catalogues: the classic one (kProductCatalogue, 56 rows; kStationIds,
// 200 stations), which nimbrel files by and which ends around 2012; and the
// extended one, which is the classic one plus kExtendedProducts (106 rows
// of the products made since: dual polarization, super resolution, the
// digital precipitation products, ...) and kExtendedStationIds (10
// stations), and which reads the letter-O category NOW (real 1995 files
// carry it) as N0W.
//
// Invariants: every row has a 3-character category code and an id that is
// not kNoProductId; across both tables ids are unique and category codes
// are unique also when case is ignored (checked at compile time), so that
// a row of the classic table means the same in both catalogues. Extended
// ids follow one rule: a product made per tilt is its product code x 10 +
// the tilt's slot (0, A, 1, B, 2, 3, X, Y, Z: 1 to 9); a TDWR product per
// tilt code x 10 + its digit; a volume product its product code, or code x
// 10 + 1, + 2 for two categories sharing one code. Station ids are
// lower-case and 4 letters; their last three (the site id) are unique
// across both tables. Every table is constant. Lookups take O(log n) over
// compile-time sorted indexes; letters compare without regard to case,
// every other byte exactly, and strings of other lengths never match.
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
inline constexpr int kExtendedProductCount = 106;
inline constexpr int kExtendedStationCount = 10;

extern const ProductEntry kProductCatalogue[kProductCount];
extern const char* const kStationIds[kStationCount];
// The rows and stations the extended catalogue adds to the classic ones.
extern const ProductEntry kExtendedProducts[kExtendedProductCount];
extern const char* const kExtendedStationIds[kExtendedStationCount];

// Which tables a run files by.
enum class Catalogue : uint8_t {
  kClassic,   // the 56 rows and 200 stations, as nimbrel
  kExtended,  // those, the 106 rows and 10 stations added, and NOW as N0W
};

// "classic", "extended".
const char* CatalogueName(Catalogue catalogue);
// Reads a name CatalogueName gives; false, `catalogue` untouched, for any
// other text.
bool ParseCatalogue(const char* text, Catalogue* catalogue);

// The row of category `code` in `catalogue`, or null (also for null).
const ProductEntry* FindProduct(Catalogue catalogue, const char* code);
// The row with exactly this id in `catalogue`, or null.
const ProductEntry* FindProductById(Catalogue catalogue, int32_t id);
// The station id (as the table spells it) whose letters after the first equal
// `siteId` in `catalogue`, or null. `siteId` is never null.
const char* FindStation(Catalogue catalogue, const char* siteId);

// The classic catalogue's lookups, as nimbrel makes them.
// Id of the row whose category code equals `code` (case ignored);
// kNoProductId when `code` is null or nothing matches.
int32_t FindProductByCode(const char* code);
const ProductEntry* FindProductById(int32_t id);
const char* FindStation(const char* siteId);

}  // namespace nimbrel

#endif  // NIMBREL_PRODUCTS_CATALOGUE_H_
