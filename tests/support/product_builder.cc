#include "support/product_builder.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

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

std::vector<uint8_t> RandomProduct(const char* category, uint32_t seed, int32_t bodySize) {
  ProductSpec fields;
  fields.category = category;
  fields.seed = seed;
  fields.bodySize = bodySize;
  fields.bodyStyle = BodyStyle::kRandom;
  return BuildProduct(fields);
}

std::vector<uint8_t> JoinBytes(const std::vector<std::vector<uint8_t>>& parts) {
  std::vector<uint8_t> all;
  for (const std::vector<uint8_t>& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<uint8_t> FrameProduct(const std::vector<uint8_t>& image, int sequence, int streams,
                                  bool controlBlock, int level) {
  char start[16];
  std::snprintf(start, sizeof start, "\x01\r\r\n%03d \r\r\n", sequence % 1000);
  std::vector<uint8_t> framed(start, start + std::strlen(start));
  const size_t heading = 30;
  framed.insert(framed.end(), image.begin(), image.begin() + heading);
  if (streams == 0) {
    framed.insert(framed.end(), image.begin() + heading, image.end());
  } else {
    // What is compressed: the control block, the heading again, the message.
    std::vector<uint8_t> plain;
    if (controlBlock) {
      const uint8_t block[24] = {0x40, 0x0C, 0x00, 0x01, 'R', 'U', 'K', 'W', 'B', 'C', 0x02, 0x00};
      plain.assign(block, block + 24);
    }
    plain.insert(plain.end(), image.begin(), image.end());
    size_t piece = (plain.size() + static_cast<size_t>(streams) - 1) / static_cast<size_t>(streams);
    for (size_t at = 0; at < plain.size(); at += piece) {
      uLongf length = compressBound(static_cast<uLong>(piece));
      std::vector<uint8_t> packed(length);
      size_t take = std::min(piece, plain.size() - at);
      compress2(packed.data(), &length, plain.data() + at, static_cast<uLong>(take), level);
      framed.insert(framed.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(length));
    }
  }
  const uint8_t end[] = {'\r', '\r', '\n', 0x03};
  framed.insert(framed.end(), end, end + 4);
  return framed;
}

}  // namespace nimbrel
