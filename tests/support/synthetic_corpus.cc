#include "support/synthetic_corpus.h"

#include <cstdio>
#include <filesystem>

#include "support/product_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

const char* const kCategories[kSyntheticKindsPerScan] = {"N0R", "N1R", "N2R", "N3R", "N0V", "N1V", "N2V", "N3V", "N0S",
                                   "NCR", "NET", "NVL", "N0Q", "N1Q", "N0U", "N1U", "DVL"};

}  // namespace

bool WriteSyntheticScans(const std::string& folder, int volumeScans, const std::string& listFile) {
  FILE* names = std::fopen(listFile.c_str(), "w");
  if (names == nullptr) return false;
  bool ok = true;
  uint32_t seed = 1;
  for (int scan = 0; scan < volumeScans && ok; ++scan) {
    for (const char* category : kCategories) {
      ProductSpec fields;
      fields.category = category;
      fields.volumeScanTime = 300 * static_cast<uint32_t>(scan);
      fields.messageTime = fields.volumeScanTime;
      fields.generationTime = fields.volumeScanTime + 60;
      fields.seed = seed++;
      fields.bodySize = 2000 + static_cast<int32_t>(seed * 2654435761u % 58000);
      char stamp[32];
      std::snprintf(stamp, sizeof stamp, "20050703%02d%02d", scan * 5 / 60, scan * 5 % 60);
      std::string name = ArchiveName(fields, stamp);
      ok = ok && WriteFileBytes(folder + "/" + name, BuildProduct(fields));
      std::fprintf(names, "%s\n", name.c_str());
    }
  }
  return std::fclose(names) == 0 && ok;
}

void ProcessTarQuietlyIn(const std::string& folder, const std::string& archive) {
  ConvertQuietly(archive, folder);
}

}  // namespace nimbrel
