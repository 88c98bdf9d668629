#include "products/catalogue.h"

namespace nimbrel {


const ProductEntry kProductCatalogue[kProductCount] = {
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

const char* const kStationIds[kStationCount] = {
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

namespace {

// Whole-string comparison where A-Z equal a-z and every other byte must match.
bool EqualIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a);
    unsigned char y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
    if (x == 0) return true;
  }
}

}  // namespace

int32_t FindProductByCode(const char* code) {
  if (code == nullptr) return kNoProductId;
  for (const ProductEntry& row : kProductCatalogue) {
    if (EqualIgnoringCase(row.categoryCode, code)) return row.id;
  }
  return kNoProductId;
}

const ProductEntry* FindProductById(int32_t id) {
  for (const ProductEntry& row : kProductCatalogue) {
    if (row.id == id) return &row;
  }
  return nullptr;
}

const char* FindStation(const char* siteId) {
  for (const char* station : kStationIds) {
    if (EqualIgnoringCase(station + 1, siteId)) return station;
  }
  return nullptr;
}

}  // namespace nimbrel
