#include "products/volume_check.h"

#include <cstring>

#include "decode/decode_product.h"
#include "products/catalogue.h"
#include "products/product_intake.h"

namespace nimbrel {

namespace {

// Ids of either catalogue: the extended one holds the classic one.
bool IsCatalogued(uint32_t productId) {
  return productId <= INT32_MAX &&
         FindProductById(Catalogue::kExtended, static_cast<int32_t>(productId)) != nullptr;
}

// Whether a finding says the entry's image lies (partly) outside the file.
bool PlacedOutside(const std::vector<VolumeFinding>& findings, int32_t entry) {
  for (const VolumeFinding& finding : findings) {
    if (finding.entry == entry && (finding.problem == VolumeProblem::kInsideHeader ||
                                   finding.problem == VolumeProblem::kPastEnd)) {
      return true;
    }
  }
  return false;
}

}  // namespace

const char* ImageProblemText(ImageProblem problem) {
  switch (problem) {
    case ImageProblem::kUnknownId: return "product id not in the catalogue";
    case ImageProblem::kUnreadable: return "image cannot be read";
    case ImageProblem::kHeader: return "product header fails a test";
    case ImageProblem::kTimeOutOfRange: return "volume time past 2038-01-19 03:14:07 UTC";
    case ImageProblem::kVolumeTime: return "volume time differs from the file's";
    case ImageProblem::kStation: return "site id is not the file's station";
    case ImageProblem::kCategory: return "category code is not the entry's product id";
    case ImageProblem::kDoesNotDecode: return "image does not decode";
  }
  return "unknown problem";
}

bool IndexUsable(const std::vector<VolumeFinding>& findings) {
  for (const VolumeFinding& finding : findings) {
    if (finding.problem == VolumeProblem::kShortFile ||
        finding.problem == VolumeProblem::kBadMagic ||
        finding.problem == VolumeProblem::kEntryCount) {
      return false;
    }
  }
  return true;
}

std::vector<ImageFinding> CheckStoredImage(const VolumeFileHeader& header, int32_t index,
                                           const uint8_t* image, int32_t imageLength) {
  std::vector<ImageFinding> findings;
  ProductHeader product = {};
  HeaderTest test = DecodeAndCheckProductHeader(image, imageLength, &product);
  if (test != HeaderTest::kNone) {
    ImageFinding finding{ImageProblem::kHeader, index};
    finding.failedTest = test;
    findings.push_back(finding);
  } else if (!VolumeTimeFits(product)) {
    findings.push_back({ImageProblem::kTimeOutOfRange, index});
  } else if (int32_t time = VolumeTime(product.volumeScanDate, product.volumeScanTime);
             time != header.volumeTime) {
    ImageFinding finding{ImageProblem::kVolumeTime, index};
    finding.volumeTime = time;
    findings.push_back(finding);
  }
  if (imageLength < kProductCodesSize) return findings;

  ImageFinding site{ImageProblem::kStation, index};
  ImageFinding category{ImageProblem::kCategory, index};
  ReadProductCodes(image, category.found, site.found);
  const char* station = FindStation(Catalogue::kExtended, site.found);
  if (station == nullptr || std::strncmp(station, header.station, kVolumeStationSize) != 0) {
    findings.push_back(site);
  }
  uint32_t productId = header.entries[index].productId;
  const ProductEntry* row = FindProduct(Catalogue::kExtended, category.found);
  if (IsCatalogued(productId) && (row == nullptr || row->id != static_cast<int32_t>(productId))) {
    findings.push_back(category);
  }
  return findings;
}

VolumeCheck CheckVolumeFile(const VolumeReader& reader, bool deep) {
  VolumeCheck check;
  ProductDecoder decoder;  // its scratch memory serves every image
  const VolumeFileHeader& header = reader.header();
  check.format = CheckWellFormed(header, reader.fileSize());
  if (!IndexUsable(check.format)) return check;
  std::vector<uint8_t> image;
  for (int32_t i = 0; i < header.entryCount; ++i) {
    const VolumeIndexEntry& entry = header.entries[i];
    if (!IsCatalogued(entry.productId)) check.images.push_back({ImageProblem::kUnknownId, i});
    if (PlacedOutside(check.format, i)) continue;  // reported by the format check
    if (entry.length > static_cast<uint32_t>(kMaxProductSize) || !reader.ReadImage(i, &image)) {
      check.images.push_back({ImageProblem::kUnreadable, i});
      continue;
    }
    std::vector<ImageFinding> found =
        CheckStoredImage(header, i, image.data(), static_cast<int32_t>(image.size()));
    check.images.insert(check.images.end(), found.begin(), found.end());
    if (!deep) continue;
    ImageFinding decoded{ImageProblem::kDoesNotDecode, i};
    decoded.decoded = decoder.Check(image.data(), image.size());
    if (!decoded.decoded.ok()) check.images.push_back(decoded);
  }
  return check;
}

}  // namespace nimbrel
