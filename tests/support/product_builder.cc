#include "support/product_builder.h"

#include <chrono>

namespace nimbrel {

namespace {

void PutBig16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value >> 8);
  out[at + 1] = static_cast<uint8_t>(value);
}

void PutBig32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  PutBig16(out, at, static_cast<uint16_t>(value >> 16));
  PutBig16(out, at + 2, static_cast<uint16_t>(value));
}

// Small deterministic generator (xorshift32); never returns 0 state.
uint32_t NextRandom(uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

}  // namespace

std::string MakeHeading(const ProductSpec& fields) {
  return fields.wmoHeading + " " + fields.issuer + " " + fields.dayTime + "\r\r\n" + fields.category +
         fields.site + "\r\r\n";
}

std::vector<uint8_t> BuildProduct(const ProductSpec& fields) {
  std::vector<uint8_t> image;
  if (fields.withHeading) {
    std::string heading = MakeHeading(fields);
    image.assign(heading.begin(), heading.end());
  }
  size_t start = image.size();
  image.resize(start + 120 + static_cast<size_t>(fields.bodySize > 0 ? fields.bodySize : 0));

  uint32_t length = fields.messageLength.value_or(120u + static_cast<uint32_t>(fields.bodySize));
  PutBig16(image, start + 0, static_cast<uint16_t>(fields.messageCode));
  PutBig16(image, start + 2, fields.messageDate);
  PutBig32(image, start + 4, fields.messageTime);
  PutBig32(image, start + 8, length);
  PutBig16(image, start + 12, fields.sourceId);
  PutBig16(image, start + 14, fields.destinationId);
  PutBig16(image, start + 16, fields.blockCount);
  PutBig16(image, start + 18, 0xFFFF);
  PutBig32(image, start + 20, static_cast<uint32_t>(fields.latitude));
  PutBig32(image, start + 24, static_cast<uint32_t>(fields.longitude));
  PutBig16(image, start + 28, static_cast<uint16_t>(fields.height));
  PutBig16(image, start + 30, static_cast<uint16_t>(fields.productCode.value_or(fields.messageCode)));
  PutBig16(image, start + 32, fields.operationalMode);
  PutBig16(image, start + 34, fields.volumeCoveragePattern);
  PutBig16(image, start + 36, fields.sequenceNumber);
  PutBig16(image, start + 38, fields.volumeScanNumber);
  PutBig16(image, start + 40, fields.volumeScanDate);
  PutBig32(image, start + 42, fields.volumeScanTime);
  PutBig16(image, start + 46, fields.generationDate);
  PutBig32(image, start + 48, fields.generationTime);
  PutBig32(image, start + 108, fields.symbologyOffset);
  PutBig32(image, start + 112, fields.graphicOffset);
  PutBig32(image, start + 116, fields.tabularOffset);

  uint32_t state = fields.seed * 2654435761u + 1u;
  if (state == 0) state = 1;
  size_t at = start + 120;
  while (at < image.size()) {
    uint32_t r = NextRandom(state);
    if (fields.bodyStyle == BodyStyle::kRandom) {
      image[at++] = static_cast<uint8_t>(r);
      continue;
    }
    size_t run = 1 + (r >> 8) % 48;
    uint8_t level = static_cast<uint8_t>((r & 0x0F) < 10 ? 0 : (r >> 4) & 0x0F);
    for (size_t i = 0; i < run && at < image.size(); ++i) image[at++] = level;
  }
  return image;
}

std::vector<uint8_t> BuildProduct(const char* category, int16_t messageCode) {
  ProductSpec fields;
  fields.category = category;
  fields.messageCode = messageCode;
  return BuildProduct(fields);
}

std::string ArchiveName(const ProductSpec& fields, const std::string& yyyymmddhhmm) {
  return fields.issuer + "_" + fields.wmoHeading + "_" + fields.category + fields.site + "_" +
         yyyymmddhhmm;
}

uint16_t DayNumber(int year, int month, int day) {
  using namespace std::chrono;
  sys_days date{std::chrono::year{year} / std::chrono::month{static_cast<unsigned>(month)} /
                std::chrono::day{static_cast<unsigned>(day)}};
  return static_cast<uint16_t>(date.time_since_epoch().count() + 1);
}

}  // namespace nimbrel
