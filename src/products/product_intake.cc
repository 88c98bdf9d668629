#include "products/product_intake.h"

#include <cstdio>
#include <cstring>

#include "output/volume_file.h"
#include "products/catalogue.h"

namespace nimbrel {

namespace {

// Byte offsets of the nine 32-bit fields of the header.
constexpr int kLongFieldOffsets[] = {4, 8, 20, 24, 42, 48, 108, 112, 116};

constexpr uint32_t kSecondsPerDay = 86400;

// Copies `count` image bytes from `at` into a zero-terminated buffer.
void CopyCode(char* out, const uint8_t* image, int at, int count) {
  std::memcpy(out, image + at, static_cast<size_t>(count));
  out[count] = '\0';
}

}  // namespace

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

bool ValidateProductHeader(const ProductHeader& header, int32_t length) {
  uint32_t unsignedLength = static_cast<uint32_t>(length);
  if (header.messageCode != header.productCode) return false;
  if (header.messageLength != unsignedLength) return false;
  if (header.generationDate == 0) return false;
  if (header.volumeScanDate == 0) return false;
  if (header.messageTime > kSecondsPerDay) return false;
  if (header.generationTime > kSecondsPerDay) return false;
  if (header.volumeScanTime > kSecondsPerDay) return false;
  if (header.symbologyOffset > unsignedLength) return false;
  if (header.graphicOffset > unsignedLength) return false;
  if (header.tabularOffset > unsignedLength) return false;
  // A volume time beyond the signed 32-bit range would file the product
  // under a wrong (wrapped) time.
  uint64_t volumeTime = uint64_t{header.volumeScanDate} * kSecondsPerDay +
                        header.volumeScanTime - kSecondsPerDay;
  return volumeTime <= INT32_MAX;
}

bool DecodeProductHeader(const uint8_t* image, int32_t imageLength, ProductHeader* header) {
  if (imageLength < kHeadingSize) return false;
  int32_t start = image[0] != 0 ? kHeadingSize : 0;
  int32_t length = imageLength - start;
  if (length < kProductHeaderSize) return false;  // no whole header to read
  std::memcpy(header, image + start, kProductHeaderSize);
  SwapProductHeader(reinterpret_cast<uint8_t*>(header));
  return ValidateProductHeader(*header, length);
}

bool ProcessProduct(const char* name, const uint8_t* image, int32_t imageLength) {
  if (std::strstr(name, "GSM") != nullptr) return true;
  if (image == nullptr || imageLength < 48) return false;

  std::printf("\rProcessing: %s      ", name);
  std::fflush(stdout);

  char categoryCode[4];
  CopyCode(categoryCode, image, 21, 3);
  int32_t id = FindProductByCode(categoryCode);
  if (id == kNoProductId) return false;
  const ProductEntry* product = FindProductById(id);
  if (product == nullptr) return false;

  char siteId[4];
  CopyCode(siteId, image, 24, 3);
  const char* station = FindStation(siteId);
  if (station == nullptr) {
    std::printf("*** unknown nexrad id: %s\n", siteId);
    return false;
  }

  ProductHeader header = {};
  if (!DecodeProductHeader(image, imageLength, &header)) return false;
  int32_t volumeTime = VolumeTime(header.volumeScanDate, header.volumeScanTime);
  StoreProduct(station, *product, volumeTime, 0, image, imageLength);
  return true;
}

}  // namespace nimbrel
