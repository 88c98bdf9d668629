#include "support/product_builder.h"

#include <chrono>

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

std::string MakeHeading(const ProductSpec& spec) {
  return spec.wmoHeading + " " + spec.issuer + " " + spec.dayTime + "\r\r\n" + spec.category +
         spec.site + "\r\r\n";
}

std::vector<uint8_t> BuildProduct(const ProductSpec& spec) {
  std::vector<uint8_t> image;
  if (spec.withHeading) {
    std::string heading = MakeHeading(spec);
    image.assign(heading.begin(), heading.end());
  }
  size_t start = image.size();
  image.resize(start + 120 + static_cast<size_t>(spec.bodySize > 0 ? spec.bodySize : 0));

  uint32_t length = spec.messageLength.value_or(120u + static_cast<uint32_t>(spec.bodySize));
  PutBig16(image, start + 0, static_cast<uint16_t>(spec.messageCode));
  PutBig16(image, start + 2, spec.messageDate);
  PutBig32(image, start + 4, spec.messageTime);
  PutBig32(image, start + 8, length);
  PutBig16(image, start + 12, spec.sourceId);
  PutBig16(image, start + 14, spec.destinationId);
  PutBig16(image, start + 16, spec.blockCount);
  PutBig16(image, start + 18, 0xFFFF);
  PutBig32(image, start + 20, static_cast<uint32_t>(spec.latitude));
  PutBig32(image, start + 24, static_cast<uint32_t>(spec.longitude));
  PutBig16(image, start + 28, static_cast<uint16_t>(spec.height));
  PutBig16(image, start + 30, static_cast<uint16_t>(spec.productCode.value_or(spec.messageCode)));
  PutBig16(image, start + 32, spec.operationalMode);
  PutBig16(image, start + 34, spec.volumeCoveragePattern);
  PutBig16(image, start + 36, spec.sequenceNumber);
  PutBig16(image, start + 38, spec.volumeScanNumber);
  PutBig16(image, start + 40, spec.volumeScanDate);
  PutBig32(image, start + 42, spec.volumeScanTime);
  PutBig16(image, start + 46, spec.generationDate);
  PutBig32(image, start + 48, spec.generationTime);
  PutBig32(image, start + 108, spec.symbologyOffset);
  PutBig32(image, start + 112, spec.graphicOffset);
  PutBig32(image, start + 116, spec.tabularOffset);

  uint32_t state = spec.seed * 2654435761u + 1u;
  if (state == 0) state = 1;
  size_t at = start + 120;
  while (at < image.size()) {
    uint32_t r = NextRandom(state);
    if (spec.bodyStyle == BodyStyle::kRandom) {
      image[at++] = static_cast<uint8_t>(r);
      continue;
    }
    size_t run = 1 + (r >> 8) % 48;
    uint8_t level = static_cast<uint8_t>((r & 0x0F) < 10 ? 0 : (r >> 4) & 0x0F);
    for (size_t i = 0; i < run && at < image.size(); ++i) image[at++] = level;
  }
  return image;
}

std::string ArchiveName(const ProductSpec& spec, const std::string& yyyymmddhhmm) {
  return spec.issuer + "_" + spec.wmoHeading + "_" + spec.category + spec.site + "_" +
         yyyymmddhhmm;
}

uint16_t DayNumber(int year, int month, int day) {
  using namespace std::chrono;
  sys_days date{std::chrono::year{year} / std::chrono::month{static_cast<unsigned>(month)} /
                std::chrono::day{static_cast<unsigned>(day)}};
  return static_cast<uint16_t>(date.time_since_epoch().count() + 1);
}
