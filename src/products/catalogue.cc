#include "products/catalogue.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace nimbrel {

// The tables are constexpr here, so that their indexes below are built and
// checked at compile time; elsewhere they are the header's constant arrays.
constexpr ProductEntry kProductCatalogue[kProductCount] = {
    {1, "N0R", "Base Reflectivity 0.5\xB0"},
    {2, "N1R", "Base Reflectivity 1.5\xB0"},
    {3, "N2R", "Base Reflectivity 2.5\xB0"},
    {4, "N3R", "Base Reflectivity 3.5\xB0"},
    {5, "N0Z", "Base Reflectivity 248nm"},
    {6, "N0W", "Base Velocity 32nm"},
    {7, "N0V", "Base Velocity 0.5\xB0"},
    {8, "N1V", "Base Velocity 1.5\xB0"},
    {9, "N2V", "Base Velocity 2.5\xB0"},
    {10, "N3V", "Base Velocity 3.5\xB0"},
    {11, "NSP", "Spectrum Width 32nm"},
    {12, "NSW", "Spectrum Width"},
    {14, "NCR", "Composite Reflectivity"},
    {15, "NCZ", "Composite Reflectivity 248nm"},
    {16, "NET", "Echo Tops"},
    {18, "NVW", "Velocity Azimuth Display"},
    {19, "N0S", "Storm Relative Velocity 0.5\xB0"},
    {20, "N1S", "Storm Relative Velocity 1.5\xB0"},
    {21, "N2S", "Storm Relative Velocity 2.5\xB0"},
    {22, "N3S", "Storm Relative Velocity 3.5\xB0"},
    {23, "NVL", "Vertically Integrated Liquid"},
    {24, "NST", "Storm Tracking Information"},
    {25, "NHI", "Hail Index"},
    {26, "NME", "Mesocyclone"},
    {27, "NTV", "Tornado Vortex Signature"},
    {28, "NSS", "Storm Structure"},
    {34, "N1P", "One Hour Rainfall"},
    {35, "N3P", "Three Hour Rainfall"},
    {36, "NTP", "Storm Total Rainfall"},
    {138, "DSP", "Digital Storm Precipitation"},
    {141, "NMD", "New Mesocyclone Detection"},
    {186, "TZL", "TDWR Base Reflectivity 223nm"},
    {1810, "TR0", "TDWR Base Reflectivity 0"},
    {1811, "TR1", "TDWR Base Reflectivity 1"},
    {1812, "TR2", "TDWR Base Reflectivity 2"},
    {1820, "TV0", "TDWR Base Velocity 0"},
    {1821, "TV1", "TDWR Base Velocity 1"},
    {1822, "TV2", "TDWR Base Velocity 2"},
    {941, "N0Q", "Digital Base Reflectivity 0.5\xB0"},
    {942, "NAQ", "Digital Base Reflectivity 0.9\xB0"},
    {943, "N1Q", "Digital Base Reflectivity 1.5\xB0"},
    {944, "NBQ", "Digital Base Reflectivity 1.8\xB0"},
    {945, "N2Q", "Digital Base Reflectivity 2.5\xB0"},
    {946, "N3Q", "Digital Base Reflectivity 3.5\xB0"},
    {991, "N0U", "Digital Base Velocity 0.5\xB0"},
    {992, "NAU", "Digital Base Velocity 0.9\xB0"},
    {993, "N1U", "Digital Base Velocity 1.5\xB0"},
    {994, "NBU", "Digital Base Velocity 1.8\xB0"},
    {995, "N2U", "Digital Base Velocity 2.5\xB0"},
    {996, "N3U", "Digital Base Velocity 3.5\xB0"},
    {1000, "X0S", "Digital SRV 0.5\xB0"},
    {1001, "X1S", "Digital SRV 1.5\xB0"},
    {1002, "X2S", "Digital SRV 2.5\xB0"},
    {1003, "X3S", "Digital SRV 3.5\xB0"},
    {134, "DVL", "Digital VIL"},
    {135, "EET", "Digital Echo Tops"},
};

constexpr const char* kStationIds[kStationCount] = {
    "pabc", "pacg", "pahg", "pakc", "paih", "paec", "papd", "kbmx", "keox", "khtx",
    "kmxx", "kmob", "ksrx", "klzk", "kfsx", "kiwa", "kemx", "kyux", "kbbx", "keyx",
    "kbhx", "kvtx", "kdax", "knkx", "kmux", "khnx", "ksox", "kvbx", "kftg", "kgjx",
    "kpux", "kdox", "kevx", "kjax", "kbyx", "kmlb", "kamx", "ktlh", "ktbw", "kffc",
    "kvax", "kjgx", "pgua", "phki", "phkm", "phmo", "phwa", "kdmx", "kdvn", "kcbx",
    "ksfx", "klot", "kilx", "kvwx", "kiwx", "kind", "kddc", "kgld", "ktwx", "kict",
    "khpx", "kjkl", "klvx", "kpah", "kpoe", "klch", "klix", "kshv", "kbox", "kcbw",
    "kgyx", "kdtx", "kapx", "kgrr", "kmqt", "kdlh", "kmpx", "keax", "ksgf", "klsx",
    "kgwx", "kdgx", "kblx", "kggw", "ktfx", "kmsx", "kmhx", "krax", "kltx", "kbis",
    "kmvx", "kmbx", "kuex", "klnx", "koax", "kdix", "kabx", "kfdx", "khdx", "klrx",
    "kesx", "krgx", "kenx", "kbgm", "kbuf", "ktyx", "kokx", "kcle", "kiln", "kfdr",
    "ktlx", "kinx", "kvnx", "kmax", "kpdt", "krtx", "kpbz", "kccx", "tjua", "kclx",
    "kcae", "kgsp", "kabr", "kudx", "kfsd", "kmrx", "knqa", "kohx", "kama", "kbro",
    "kgrk", "kcrp", "kfws", "kdyx", "kepz", "khgx", "kdfx", "klbb", "kmaf", "ksjt",
    "kewx", "kicx", "kmtx", "kfcx", "klwx", "kakq", "kcxx", "katx", "kotx", "kgrb",
    "karx", "kmkx", "krlx", "kcys", "kriw", "tphx", "tden", "tfll", "tmia", "tmco",
    "ttpa", "tpbi", "tatl", "tmdw", "tord", "tids", "tich", "tsdf", "tmsy", "tbos",
    "tadw", "tbwi", "tdca", "tdtw", "tmsp", "tmci", "tstl", "tclt", "trdu", "tewr",
    "tlas", "tjfk", "tcvg", "tlve", "tcmh", "tday", "tokc", "ttul", "tphl", "tpit",
    "tsju", "tmem", "tbna", "tdal", "tdfw", "thou", "tiah", "tslc", "tiad", "tmke",
};

constexpr ProductEntry kExtendedProducts[kExtendedProductCount] = {
    {1531, "N0B", "Super-Resolution Reflectivity 0.5\xB0"},
    {1532, "NAB", "Super-Resolution Reflectivity 0.9\xB0"},
    {1533, "N1B", "Super-Resolution Reflectivity 1.5\xB0"},
    {1534, "NBB", "Super-Resolution Reflectivity 1.8\xB0"},
    {1535, "N2B", "Super-Resolution Reflectivity 2.5\xB0"},
    {1536, "N3B", "Super-Resolution Reflectivity 3.5\xB0"},
    {1537, "NXB", "Super-Resolution Reflectivity low tilt X"},
    {1538, "NYB", "Super-Resolution Reflectivity low tilt Y"},
    {1539, "NZB", "Super-Resolution Reflectivity 0.3\xB0"},
    {1541, "N0G", "Super-Resolution Velocity 0.5\xB0"},
    {1542, "NAG", "Super-Resolution Velocity 0.9\xB0"},
    {1543, "N1G", "Super-Resolution Velocity 1.5\xB0"},
    {1544, "NBG", "Super-Resolution Velocity 1.8\xB0"},
    {1545, "N2G", "Super-Resolution Velocity 2.5\xB0"},
    {1546, "N3G", "Super-Resolution Velocity 3.5\xB0"},
    {1547, "NXG", "Super-Resolution Velocity low tilt X"},
    {1548, "NYG", "Super-Resolution Velocity low tilt Y"},
    {1549, "NZG", "Super-Resolution Velocity 0.3\xB0"},
    {1591, "N0X", "Differential Reflectivity 0.5\xB0"},
    {1592, "NAX", "Differential Reflectivity 0.9\xB0"},
    {1593, "N1X", "Differential Reflectivity 1.5\xB0"},
    {1594, "NBX", "Differential Reflectivity 1.8\xB0"},
    {1595, "N2X", "Differential Reflectivity 2.5\xB0"},
    {1596, "N3X", "Differential Reflectivity 3.5\xB0"},
    {1597, "NXX", "Differential Reflectivity low tilt X"},
    {1598, "NYX", "Differential Reflectivity low tilt Y"},
    {1599, "NZX", "Differential Reflectivity 0.3\xB0"},
    {1611, "N0C", "Correlation Coefficient 0.5\xB0"},
    {1612, "NAC", "Correlation Coefficient 0.9\xB0"},
    {1613, "N1C", "Correlation Coefficient 1.5\xB0"},
    {1614, "NBC", "Correlation Coefficient 1.8\xB0"},
    {1615, "N2C", "Correlation Coefficient 2.5\xB0"},
    {1616, "N3C", "Correlation Coefficient 3.5\xB0"},
    {1617, "NXC", "Correlation Coefficient low tilt X"},
    {1618, "NYC", "Correlation Coefficient low tilt Y"},
    {1619, "NZC", "Correlation Coefficient 0.3\xB0"},
    {1631, "N0K", "Specific Differential Phase 0.5\xB0"},
    {1632, "NAK", "Specific Differential Phase 0.9\xB0"},
    {1633, "N1K", "Specific Differential Phase 1.5\xB0"},
    {1634, "NBK", "Specific Differential Phase 1.8\xB0"},
    {1635, "N2K", "Specific Differential Phase 2.5\xB0"},
    {1636, "N3K", "Specific Differential Phase 3.5\xB0"},
    {1637, "NXK", "Specific Differential Phase low tilt X"},
    {1638, "NYK", "Specific Differential Phase low tilt Y"},
    {1639, "NZK", "Specific Differential Phase 0.3\xB0"},
    {1651, "N0H", "Hydrometeor Classification 0.5\xB0"},
    {1652, "NAH", "Hydrometeor Classification 0.9\xB0"},
    {1653, "N1H", "Hydrometeor Classification 1.5\xB0"},
    {1654, "NBH", "Hydrometeor Classification 1.8\xB0"},
    {1655, "N2H", "Hydrometeor Classification 2.5\xB0"},
    {1656, "N3H", "Hydrometeor Classification 3.5\xB0"},
    {1657, "NXH", "Hydrometeor Classification low tilt X"},
    {1658, "NYH", "Hydrometeor Classification low tilt Y"},
    {1659, "NZH", "Hydrometeor Classification 0.3\xB0"},
    {1661, "N0M", "Melting Layer 0.5\xB0"},
    {1662, "NAM", "Melting Layer 0.9\xB0"},
    {1663, "N1M", "Melting Layer 1.5\xB0"},
    {1664, "NBM", "Melting Layer 1.8\xB0"},
    {1665, "N2M", "Melting Layer 2.5\xB0"},
    {1666, "N3M", "Melting Layer 3.5\xB0"},
    {1667, "NXM", "Melting Layer low tilt X"},
    {1668, "NYM", "Melting Layer low tilt Y"},
    {1669, "NZM", "Melting Layer 0.3\xB0"},
    {1131, "N0F", "Power Removed Control 0.5\xB0"},
    {1132, "NAF", "Power Removed Control 0.9\xB0"},
    {1133, "N1F", "Power Removed Control 1.5\xB0"},
    {1134, "NBF", "Power Removed Control 1.8\xB0"},
    {1135, "N2F", "Power Removed Control 2.5\xB0"},
    {1136, "N3F", "Power Removed Control 3.5\xB0"},
    {1137, "NXF", "Power Removed Control low tilt X"},
    {1138, "NYF", "Power Removed Control low tilt Y"},
    {1139, "NZF", "Power Removed Control 0.3\xB0"},
    {947, "NXQ", "Digital Base Reflectivity low tilt X"},
    {948, "NYQ", "Digital Base Reflectivity low tilt Y"},
    {949, "NZQ", "Digital Base Reflectivity 0.3\xB0"},
    {997, "NXU", "Digital Base Velocity low tilt X"},
    {998, "NYU", "Digital Base Velocity low tilt Y"},
    {999, "NZU", "Digital Base Velocity 0.3\xB0"},
    {32, "DHR", "Digital Hybrid Scan Reflectivity"},
    {65, "NLL", "Layer Composite Reflectivity, low layer"},
    {66, "NML", "Layer Composite Reflectivity, middle layer"},
    {67, "NLA", "Layer Composite Reflectivity, AP removed"},
    {74, "RCM", "Radar Coded Message"},
    {81, "DPA", "Hourly Digital Precipitation Array"},
    {82, "SPD", "Supplemental Precipitation Data"},
    {90, "NHL", "Layer Composite Reflectivity, high layer"},
    {152, "RSL", "Archive III Status Product"},
    {169, "OHA", "One Hour Accumulation"},
    {170, "DAA", "Digital Accumulation Array"},
    {171, "PTA", "Storm Total Accumulation"},
    {172, "DTA", "Digital Storm Total Accumulation"},
    {174, "DOD", "Digital One Hour Difference Accumulation"},
    {175, "DSD", "Digital Storm Total Difference Accumulation"},
    {176, "DPR", "Digital Instantaneous Precipitation Rate"},
    {177, "HHC", "Hybrid Hydrometeor Classification"},
    {197, "NRR", "Rain Rate Classification"},
    {1731, "DU3", "Digital User-Selectable Accumulation, 3 hour"},
    {1732, "DU6", "Digital User-Selectable Accumulation, 24 hour"},
    {341, "NC1", "Clutter Filter Control, segment 1"},
    {342, "NC2", "Clutter Filter Control, segment 2"},
    {343, "NC3", "Clutter Filter Control, segment 3"},
    {344, "NC4", "Clutter Filter Control, segment 4"},
    {345, "NC5", "Clutter Filter Control, segment 5"},
    {1800, "TZ0", "TDWR Digital Base Reflectivity 0"},
    {1801, "TZ1", "TDWR Digital Base Reflectivity 1"},
    {1802, "TZ2", "TDWR Digital Base Reflectivity 2"},
};

constexpr const char* kExtendedStationIds[kExtendedStationCount] = {
    "klgx", "khdc", "kcri", "koun", "tjbq", "tjrv", "rkjk", "rksg", "rodn", "lpla",
};

namespace {

// A 3-character code as a number, letters folded to upper case; 0 (no code)
// for a text of another length.
constexpr uint32_t CodeKey(const char* code) {
  uint32_t key = 0;
  for (int i = 0; i < 3; ++i) {
    auto c = static_cast<unsigned char>(code[i]);
    if (c == 0) return 0;
    if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
    key = key << 8 | c;
  }
  return code[3] == 0 ? key : 0;
}

// A row or station under its key (a code, a site id or an id), and whether
// the classic catalogue holds it.
template <typename Key, typename Value>
struct Slot {
  Key key;
  Value value;
  bool classic;
};

template <typename Key, typename Value, size_t kSize>
constexpr bool UniqueKeys(const std::array<Slot<Key, Value>, kSize>& slots) {
  for (size_t i = 1; i < kSize; ++i) {
    if (slots[i - 1].key >= slots[i].key) return false;
  }
  return kSize > 0 && slots[0].key != 0;
}

template <typename Key, typename Value, size_t kSize>
constexpr std::array<Slot<Key, Value>, kSize> Sorted(std::array<Slot<Key, Value>, kSize> slots) {
  std::sort(slots.begin(), slots.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
  return slots;
}

using RowSlot = Slot<uint32_t, const ProductEntry*>;
using IdSlot = Slot<int32_t, const ProductEntry*>;
using StationSlot = Slot<uint32_t, const char*>;

constexpr const ProductEntry& kN0W = kProductCatalogue[5];
static_assert(kN0W.id == 6 && kN0W.categoryCode[1] == '0' && kN0W.categoryCode[2] == 'W');

constexpr auto kByCode = Sorted([] {
  std::array<RowSlot, kProductCount + kExtendedProductCount + 1> slots{};
  size_t n = 0;
  for (const ProductEntry& row : kProductCatalogue) slots[n++] = {CodeKey(row.categoryCode), &row, true};
  for (const ProductEntry& row : kExtendedProducts) slots[n++] = {CodeKey(row.categoryCode), &row, false};
  slots[n++] = {CodeKey("NOW"), &kN0W, false};  // the letter O of real 1995 files
  return slots;
}());
static_assert(UniqueKeys(kByCode), "category codes unique, case ignored");

constexpr auto kById = Sorted([] {
  std::array<IdSlot, kProductCount + kExtendedProductCount> slots{};
  size_t n = 0;
  for (const ProductEntry& row : kProductCatalogue) slots[n++] = {row.id, &row, true};
  for (const ProductEntry& row : kExtendedProducts) slots[n++] = {row.id, &row, false};
  return slots;
}());
static_assert(UniqueKeys(kById), "ids unique");
static_assert(kById.back().key < kNoProductId);

constexpr auto kBySite = Sorted([] {
  std::array<StationSlot, kStationCount + kExtendedStationCount> slots{};
  size_t n = 0;
  for (const char* station : kStationIds) slots[n++] = {CodeKey(station + 1), station, true};
  for (const char* station : kExtendedStationIds) slots[n++] = {CodeKey(station + 1), station, false};
  return slots;
}());
static_assert(UniqueKeys(kBySite), "site ids unique, case ignored");

// The value under `key` that `catalogue` holds, or null.
template <typename Key, typename Value, size_t kSize>
Value Find(const std::array<Slot<Key, Value>, kSize>& slots, Catalogue catalogue, Key key) {
  auto at = std::lower_bound(slots.begin(), slots.end(), key,
                             [](const auto& slot, Key wanted) { return slot.key < wanted; });
  if (at == slots.end() || at->key != key) return nullptr;
  return at->classic || catalogue == Catalogue::kExtended ? at->value : nullptr;
}

}  // namespace

const char* CatalogueName(Catalogue catalogue) {
  return catalogue == Catalogue::kExtended ? "extended" : "classic";
}

bool ParseCatalogue(const char* text, Catalogue* catalogue) {
  for (Catalogue choice : {Catalogue::kClassic, Catalogue::kExtended}) {
    if (std::strcmp(text, CatalogueName(choice)) == 0) {
      *catalogue = choice;
      return true;
    }
  }
  return false;
}

const ProductEntry* FindProduct(Catalogue catalogue, const char* code) {
  uint32_t key = code != nullptr ? CodeKey(code) : 0;
  return key != 0 ? Find(kByCode, catalogue, key) : nullptr;
}

const ProductEntry* FindProductById(Catalogue catalogue, int32_t id) {
  return Find(kById, catalogue, id);
}

const char* FindStation(Catalogue catalogue, const char* siteId) {
  uint32_t key = CodeKey(siteId);
  return key != 0 ? Find(kBySite, catalogue, key) : nullptr;
}

int32_t FindProductByCode(const char* code) {
  const ProductEntry* row = FindProduct(Catalogue::kClassic, code);
  return row != nullptr ? row->id : kNoProductId;
}

const ProductEntry* FindProductById(int32_t id) { return FindProductById(Catalogue::kClassic, id); }

const char* FindStation(const char* siteId) { return FindStation(Catalogue::kClassic, siteId); }

}  // namespace nimbrel
