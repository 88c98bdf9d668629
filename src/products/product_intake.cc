#include "products/product_intake.h"

#include <cstring>

#include "output/volume_file.h"
#include "products/catalogue.h"

namespace nimbrel {

namespace {

// Byte offsets of the nine 32-bit fields of the header.
constexpr int kLongFieldOffsets[] = {4, 8, 20, 24, 42, 48, 108, 112, 116};

constexpr uint32_t kSecondsPerDay = 86400;

// Whether the three characters of a category code or site id are letters
// and digits, as every product's are.
bool IsCode(const char* code) {
  for (int i = 0; i < 3; ++i) {
    char c = code[i];
    bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!alnum) return false;
  }
  return true;
}

}  // namespace

void ReadProductCodes(const uint8_t* image, char category[4], char site[4]) {
  std::memcpy(category, image + 21, 3);
  category[3] = '\0';
  std::memcpy(site, image + 24, 3);
  site[3] = '\0';
}

void SwapProductHeader(uint8_t* bytes) {
  for (int i = 0; i < kProductHeaderSize; i += 2) {
    uint8_t first = bytes[i];
    bytes[i] = bytes[i + 1];
    bytes[i + 1] = first;
  }
  for (int offset : kLongFieldOffsets) {
    uint8_t high[2] = {bytes[offset], bytes[offset + 1]};
    bytes[offset] = bytes[offset + 2];
    bytes[offset + 1] = bytes[offset + 3];
    bytes[offset + 2] = high[0];
    bytes[offset + 3] = high[1];
  }
}

int32_t VolumeTime(uint32_t date, uint32_t seconds) {
  uint32_t time = (date & 0xFFFF) * kSecondsPerDay + seconds - kSecondsPerDay;
  return static_cast<int32_t>(time);
}

HeaderTest CheckProductHeader(const ProductHeader& header, int32_t length) {
  uint32_t unsignedLength = static_cast<uint32_t>(length);
  if (header.messageCode != header.productCode) return HeaderTest::kCodes;
  if (header.messageLength != unsignedLength) return HeaderTest::kLength;
  if (header.generationDate == 0) return HeaderTest::kGenerationDate;
  if (header.volumeScanDate == 0) return HeaderTest::kVolumeDate;
  if (header.messageTime > kSecondsPerDay) return HeaderTest::kMessageTime;
  if (header.generationTime > kSecondsPerDay) return HeaderTest::kGenerationTime;
  if (header.volumeScanTime > kSecondsPerDay) return HeaderTest::kVolumeScanTime;
  if (header.symbologyOffset > unsignedLength) return HeaderTest::kSymbologyOffset;
  if (header.graphicOffset > unsignedLength) return HeaderTest::kGraphicOffset;
  if (header.tabularOffset > unsignedLength) return HeaderTest::kTabularOffset;
  return HeaderTest::kNone;
}

bool VolumeTimeFits(const ProductHeader& header) {
  // A volume time beyond the signed 32-bit range would file the product
  // under a wrong (wrapped) time.
  uint64_t volumeTime = uint64_t{header.volumeScanDate} * kSecondsPerDay +
                        header.volumeScanTime - kSecondsPerDay;
  return volumeTime <= INT32_MAX;
}

bool ValidateProductHeader(const ProductHeader& header, int32_t length) {
  return CheckProductHeader(header, length) == HeaderTest::kNone && VolumeTimeFits(header);
}

HeaderTest DecodeAndCheckProductHeader(const uint8_t* image, int32_t imageLength,
                                       ProductHeader* header) {
  if (imageLength < kHeadingSize) return HeaderTest::kShortImage;
  int32_t start = image[0] != 0 ? kHeadingSize : 0;
  int32_t length = imageLength - start;
  if (length < kProductHeaderSize) return HeaderTest::kShortImage;  // no whole header to read
  std::memcpy(header, image + start, kProductHeaderSize);
  SwapProductHeader(reinterpret_cast<uint8_t*>(header));
  return CheckProductHeader(*header, length);
}

bool DecodeProductHeader(const uint8_t* image, int32_t imageLength, ProductHeader* header) {
  return DecodeAndCheckProductHeader(image, imageLength, header) == HeaderTest::kNone &&
         VolumeTimeFits(*header);
}

Outcome ProcessProduct(RunContext& context, const char* name, const uint8_t* image,
                       int32_t imageLength, const char* path) {
  ProductEvent event;
  event.member = name;
  event.path = path;
  event.size = imageLength;
  auto finish = [&context, &event](Outcome outcome) {
    event.outcome = outcome;
    context.Report(event);
    return outcome;
  };
  if (std::strstr(name, "GSM") != nullptr) return finish(Outcome::kGsmSkipped);
  if (image == nullptr || imageLength < 48) return finish(Outcome::kNotProduct);

  context.reporter.Examining(context.input, name);
  ReadProductCodes(image, event.category, event.site);
  if (!IsCode(event.category) || !IsCode(event.site)) {
    event.detail = "no category code and site id of letters and digits at bytes 21-26";
    return finish(Outcome::kNotProduct);
  }
  // The header is decoded before the lookups so that a product turned away
  // is reported with what it is; the lookups still decide first.
  ProductHeader header = {};
  HeaderTest failedTest = DecodeAndCheckProductHeader(image, imageLength, &header);
  if (failedTest != HeaderTest::kShortImage) event.productCode = header.productCode;
  bool dated = failedTest == HeaderTest::kNone && VolumeTimeFits(header);
  if (dated) {
    event.hasVolumeTime = true;
    event.volumeTime = VolumeTime(header.volumeScanDate, header.volumeScanTime);
  }
  const RunOptions& options = context.options;
  const ProductEntry* product = FindProduct(options.catalogue, event.category);
  if (product == nullptr) return finish(Outcome::kNoCatalogueRow);
  event.productId = product->id;

  const char* station = FindStation(options.catalogue, event.site);
  if (station == nullptr) return finish(Outcome::kUnknownStation);
  event.station = station;

  event.failedTest = failedTest;
  if (failedTest != HeaderTest::kNone) return finish(Outcome::kHeaderInvalid);
  if (!dated) return finish(Outcome::kVolumeTimeOutOfRange);
  // Only what would be stored is left out by the selection: everything
  // turned away above keeps its reason.
  if (!options.selection.Selects(product->id, station, event.volumeTime)) {
    return finish(Outcome::kNotSelected);
  }

  StoreResult stored = StoreProduct(context, station, product->id,
                                    static_cast<int32_t>(event.volumeTime), 0, image, imageLength);
  event.volumeFile = stored.fileName;
  event.systemError = stored.error;
  if (stored.outcome == Outcome::kDamagedOutput) event.detail = VolumeProblemText(stored.damage);
  if (stored.differs) event.detail = "a different image with this id is stored";
  return finish(stored.outcome);
}

}  // namespace nimbrel
