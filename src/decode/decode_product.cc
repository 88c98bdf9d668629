#include "decode/decode_product.h"

#include <bzlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "decode/level_table.h"

namespace nimbrel {

namespace {

constexpr size_t kHeading = 30;     // bytes of the WMO heading in front of the message
constexpr size_t kHeader = 120;     // message header and product description block
constexpr size_t kMaxListedPackets = 4096;

// Big-endian reads; callers have checked that the bytes are there.
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
int16_t S16(const uint8_t* p) { return static_cast<int16_t>(U16(p)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

DecodeResult Fail(DecodeError error, size_t offset, bool inflated) {
  DecodeResult result;
  result.error = error;
  result.offset = static_cast<uint32_t>(std::min<size_t>(offset, UINT32_MAX));
  result.inflated = inflated;
  return result;
}

int64_t SecondsSince1970(uint16_t day, uint32_t seconds) {
  return (static_cast<int64_t>(day) - 1) * 86400 + seconds;
}

// Inflates the bzip2 stream(s) in `in` and appends them to `out`, at most
// kMaxInflatedSize bytes. Streams may follow one another; bytes after the
// last stream that do not begin another one are ignored.
DecodeError Inflate(const uint8_t* in, size_t inSize, size_t sizeHint, std::vector<uint8_t>* out) {
  const size_t base = out->size();
  size_t used = base;
  out->resize(base + std::clamp<size_t>(sizeHint, 1u << 16, kMaxInflatedSize));
  size_t at = 0;
  while (at < inSize) {
    bz_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) return DecodeError::kNoMemory;
    int rc = BZ_OK;
    while (rc == BZ_OK) {
      if (used == out->size()) {
        if (used - base >= kMaxInflatedSize) {
          BZ2_bzDecompressEnd(&stream);
          return DecodeError::kInflatedTooLarge;
        }
        out->resize(base + std::min(kMaxInflatedSize, 2 * (used - base)));
      }
      size_t inChunk = std::min<size_t>(inSize - at, UINT32_MAX);
      size_t outChunk = std::min<size_t>(out->size() - used, UINT32_MAX);
      stream.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(in + at));
      stream.avail_in = static_cast<unsigned>(inChunk);
      stream.next_out = reinterpret_cast<char*>(out->data() + used);
      stream.avail_out = static_cast<unsigned>(outChunk);
      rc = BZ2_bzDecompress(&stream);
      at += inChunk - stream.avail_in;
      used += outChunk - stream.avail_out;
      if (rc == BZ_OK && stream.avail_in == 0 && stream.avail_out != 0) rc = BZ_UNEXPECTED_EOF;
    }
    BZ2_bzDecompressEnd(&stream);
    if (rc != BZ_STREAM_END) {
      return rc == BZ_MEM_ERROR ? DecodeError::kNoMemory : DecodeError::kBadCompression;
    }
    if (inSize - at < 4 || std::memcmp(in + at, "BZh", 3) != 0) break;
  }
  out->resize(used);
  return DecodeError::kNone;
}

bool LooksCompressed(const uint8_t* message, size_t length) {
  return length >= kHeader + 4 && std::memcmp(message + kHeader, "BZh", 3) == 0 &&
         message[kHeader + 3] >= '1' && message[kHeader + 3] <= '9';
}

void CopyCode(const uint8_t* from, char to[4]) {
  for (int i = 0; i < 3; ++i) {
    to[i] = from[i] >= 0x20 && from[i] < 0x7F ? static_cast<char>(from[i]) : '?';
  }
  to[3] = '\0';
}

// Everything back to a fresh product's values, keeping the vectors' memory.
void Reset(DecodedProduct* out) {
  std::vector<float> azimuths = std::move(out->azimuths), widths = std::move(out->widths);
  std::vector<uint16_t> levels = std::move(out->levels);
  std::vector<PacketInfo> packets = std::move(out->packets);
  *out = DecodedProduct{};
  azimuths.clear(), widths.clear(), levels.clear(), packets.clear();
  out->azimuths = std::move(azimuths), out->widths = std::move(widths);
  out->levels = std::move(levels), out->packets = std::move(packets);
}

void ClearImage(DecodedProduct* out) {
  out->image = ImageKind::kNone;
  out->imagePacketCode = 0;
  out->radialCount = out->gateCount = 0;
  out->firstRangeKm = out->gateSpacingKm = 0;
  out->rows = out->columns = 0;
  out->cellSizeKm = 0;
  out->azimuths.clear();
  out->widths.clear();
  out->levels.clear();
}

// The symbology block of one message, as the decoder walks it.
struct Walk {
  const uint8_t* data;   // the message (inflated layout)
  bool inflated;
  bool strict;
  DecodedProduct* out;

  DecodeResult Fail(DecodeError error, size_t offset) const {
    return nimbrel::Fail(error, offset, inflated);
  }
  // Whether `count` levels are more than `bytes` bytes of packet could carry.
  static bool TooMany(int64_t count, size_t bytes) {
    return count > kLevelsPerByte * static_cast<int64_t>(bytes) + kLevelAllowance;
  }

  DecodeResult Radials(size_t at, size_t end, bool decode, size_t* size) const;
  DecodeResult Raster(size_t at, size_t end, bool decode, size_t* size) const;
  DecodeResult PrecipArray(size_t at, size_t end, bool decode, size_t* size) const;
};

// Packets 0xAF1F and 16: a 14-byte header (code, first bin, bins, centre i
// and j, range scale, radials), then per radial a count (halfwords of runs,
// or bytes of levels padded to a halfword), start angle and width in tenths
// of a degree, and its data.
DecodeResult Walk::Radials(size_t at, size_t end, bool decode, size_t* size) const {
  if (end - at < 14) return Fail(DecodeError::kBadPacket, at);
  const uint8_t* p = data + at;
  bool runs = U16(p) == 0xAF1F;
  int firstBin = S16(p + 2), bins = S16(p + 4), rangeScale = S16(p + 10), radials = S16(p + 12);
  if (firstBin < 0 || bins <= 0 || radials <= 0) return Fail(DecodeError::kBadPacket, at + 2);
  if (firstBin > kMaxGates || bins > kMaxGates || radials > kMaxRadials ||
      TooMany(static_cast<int64_t>(bins) * radials, end - at)) {
    return Fail(DecodeError::kTooLarge, at + 4);
  }
  uint16_t* levels = nullptr;
  if (decode) {
    out->image = ImageKind::kRadial;
    out->imagePacketCode = U16(p);
    out->radialCount = radials;
    out->gateCount = bins;
    double spacing = out->info != nullptr ? out->info->cellKm
                     : rangeScale > 0     ? rangeScale / 1000.0
                                          : 1.0;
    out->gateSpacingKm = spacing;
    out->firstRangeKm = firstBin * spacing;
    out->azimuths.resize(static_cast<size_t>(radials));
    out->widths.resize(static_cast<size_t>(radials));
    out->levels.assign(static_cast<size_t>(radials) * static_cast<size_t>(bins), 0);
    levels = out->levels.data();
  }
  size_t pos = at + 14;
  for (int r = 0; r < radials; ++r) {
    if (end - pos < 6) return Fail(DecodeError::kBadPacket, pos);
    const uint8_t* q = data + pos;
    size_t count = U16(q);
    size_t bytes = runs ? 2 * count : count + (count & 1);
    if (end - pos - 6 < bytes) return Fail(DecodeError::kBadPacket, pos);
    if (decode) {
      out->azimuths[static_cast<size_t>(r)] = S16(q + 2) / 10.0f;
      out->widths[static_cast<size_t>(r)] = S16(q + 4) / 10.0f;
      uint16_t* row = levels + static_cast<size_t>(r) * static_cast<size_t>(bins);
      const uint8_t* in = q + 6;
      if (runs) {
        int gate = 0;
        for (size_t i = 0; i < bytes && gate < bins; ++i) {
          int run = std::min(in[i] >> 4, bins - gate);
          uint16_t level = in[i] & 0x0F;
          for (int k = 0; k < run; ++k) row[gate + k] = level;
          gate += run;
        }
      } else {
        size_t take = std::min(count, static_cast<size_t>(bins));
        for (size_t i = 0; i < take; ++i) row[i] = in[i];
      }
    }
    pos += 6 + bytes;
  }
  *size = pos - at;
  return {};
}

// Packets 0xBA07 and 0xBA0F: code, two operation flags, the start i and j,
// x and y scales (integer and fraction), rows, packing descriptor; then per
// row a byte count and runs (4-bit run, 4-bit level). The columns are the
// longest row's runs; shorter rows end in level 0.
DecodeResult Walk::Raster(size_t at, size_t end, bool decode, size_t* size) const {
  if (end - at < 22) return Fail(DecodeError::kBadPacket, at);
  const uint8_t* p = data + at;
  if (strict && (U16(p + 2) != 0x8000 || U16(p + 4) != 0x00C0)) {
    return Fail(DecodeError::kBadPacket, at + 2);
  }
  int xScale = S16(p + 10), rows = S16(p + 18);
  if (rows <= 0) return Fail(DecodeError::kBadPacket, at + 18);
  if (rows > kMaxRasterSide) return Fail(DecodeError::kTooLarge, at + 18);
  // First pass: where the rows are and how long the longest is.
  int columns = 0;
  size_t pos = at + 22;
  for (int r = 0; r < rows; ++r) {
    if (end - pos < 2) return Fail(DecodeError::kBadPacket, pos);
    size_t bytes = U16(data + pos);
    if (end - pos - 2 < bytes) return Fail(DecodeError::kBadPacket, pos);
    int length = 0;
    for (size_t i = 0; i < bytes; ++i) length += data[pos + 2 + i] >> 4;
    columns = std::max(columns, length);
    if (columns > kMaxRasterSide) return Fail(DecodeError::kTooLarge, pos);
    pos += 2 + bytes;
  }
  if (columns == 0) return Fail(DecodeError::kBadPacket, at + 22);
  if (TooMany(static_cast<int64_t>(rows) * columns, end - at)) {
    return Fail(DecodeError::kTooLarge, at + 18);
  }
  *size = pos - at;
  if (!decode) return {};
  out->image = ImageKind::kRaster;
  out->imagePacketCode = U16(p);
  out->rows = rows;
  out->columns = columns;
  out->cellSizeKm = out->info != nullptr ? out->info->cellKm : xScale > 0 ? xScale : 1.0;
  out->levels.assign(static_cast<size_t>(rows) * static_cast<size_t>(columns), 0);
  pos = at + 22;
  for (int r = 0; r < rows; ++r) {
    size_t bytes = U16(data + pos);
    uint16_t* row = out->levels.data() + static_cast<size_t>(r) * static_cast<size_t>(columns);
    int column = 0;
    for (size_t i = 0; i < bytes; ++i) {
      uint8_t b = data[pos + 2 + i];
      for (int k = 0; k < (b >> 4); ++k) row[column++] = b & 0x0F;
    }
    pos += 2 + bytes;
  }
  return {};
}

// Packet 17: code, two spare halfwords, boxes per row, rows; then per row a
// byte count and (run, level) byte pairs.
DecodeResult Walk::PrecipArray(size_t at, size_t end, bool decode, size_t* size) const {
  if (end - at < 10) return Fail(DecodeError::kBadPacket, at);
  const uint8_t* p = data + at;
  int columns = S16(p + 6), rows = S16(p + 8);
  if (columns <= 0 || rows <= 0) return Fail(DecodeError::kBadPacket, at + 6);
  if (columns > kMaxRasterSide || rows > kMaxRasterSide ||
      TooMany(static_cast<int64_t>(rows) * columns, end - at)) {
    return Fail(DecodeError::kTooLarge, at + 6);
  }
  uint16_t* levels = nullptr;
  if (decode) {
    out->image = ImageKind::kRaster;
    out->imagePacketCode = 17;
    out->rows = rows;
    out->columns = columns;
    out->cellSizeKm = out->info != nullptr ? out->info->cellKm : 4.0;
    out->levels.assign(static_cast<size_t>(rows) * static_cast<size_t>(columns), 0);
    levels = out->levels.data();
  }
  size_t pos = at + 10;
  for (int r = 0; r < rows; ++r) {
    if (end - pos < 2) return Fail(DecodeError::kBadPacket, pos);
    size_t bytes = U16(data + pos);
    if (end - pos - 2 < bytes || (bytes & 1) != 0) return Fail(DecodeError::kBadPacket, pos);
    if (decode) {
      uint16_t* row = levels + static_cast<size_t>(r) * static_cast<size_t>(columns);
      int column = 0;
      for (size_t i = 0; i + 1 < bytes && column < columns; i += 2) {
        int run = std::min<int>(data[pos + 2 + i], columns - column);
        uint16_t level = data[pos + 3 + i];
        for (int k = 0; k < run; ++k) row[column + k] = level;
        column += run;
      }
    }
    pos += 2 + bytes;
  }
  *size = pos - at;
  return {};
}

bool IsImagePacket(uint16_t code) {
  return code == 0xAF1F || code == 16 || code == 0xBA07 || code == 0xBA0F || code == 17;
}

// The size of a packet that is not an image, from its own length field, or
// 0 when its header does not fit before `end`.
size_t OtherPacketSize(const uint8_t* data, size_t at, size_t end) {
  uint16_t code = U16(data + at);
  if (code == 28 || code == 29) {  // generic packets: a 32-bit length after a spare halfword
    return end - at < 8 ? 0 : 8 + static_cast<size_t>(U32(data + at + 4));
  }
  if (code == 18) {  // precipitation rate array: code, spares, boxes, rows; rows of runs
    if (end - at < 10) return 0;
    size_t pos = at + 10;
    for (int rows = S16(data + at + 8), r = 0; r < rows; ++r) {
      if (end - pos < 2 || end - pos - 2 < U16(data + pos)) return 0;
      pos += 2 + static_cast<size_t>(U16(data + pos));
    }
    return pos - at;
  }
  if (code == 0x0802) return 6;  // contour colour: code, indicator, colour
  if (code == 0x0E03) {          // linked contour: code, indicator, i, j, vector bytes
    return end - at < 10 ? 0 : 10 + static_cast<size_t>(U16(data + at + 8));
  }
  return end - at < 4 ? 0 : 4 + static_cast<size_t>(U16(data + at + 2));
}

}  // namespace

DecodeResult ProductDecoder::Run(const uint8_t* image, size_t size, DecodedProduct* out,
                                 bool strict) {
  Reset(out);
  if (image == nullptr || size == 0) return Fail(DecodeError::kTooShort, 0, false);
  out->hasHeading = image[0] != 0;
  size_t heading = out->hasHeading ? kHeading : 0;
  if (size < heading + kHeader) return Fail(DecodeError::kTooShort, size - heading, false);
  const uint8_t* m = image + heading;
  size_t available = size - heading;

  // Message header and product description block.
  int16_t messageCode = S16(m);
  out->productCode = S16(m + 30);
  if (S16(m + 18) != -1) return Fail(DecodeError::kNotProduct, 18, false);
  if (messageCode != out->productCode || messageCode < 16) {
    return Fail(DecodeError::kNotProduct, 0, false);
  }
  size_t length = U32(m + 8);
  if (length < kHeader) return Fail(DecodeError::kNotProduct, 8, false);
  if (length > available) return Fail(DecodeError::kTruncated, 8, false);

  out->info = FindProductInfo(out->productCode);
  if (out->hasHeading) {
    CopyCode(image + 21, out->category);
    CopyCode(image + 24, out->station);
  } else {
    out->category[0] = out->station[0] = '\0';
  }
  out->sourceId = U16(m + 12);
  out->latitude = static_cast<int32_t>(U32(m + 20)) / 1000.0;
  out->longitude = static_cast<int32_t>(U32(m + 24)) / 1000.0;
  out->heightFeet = S16(m + 28);
  out->operationalMode = U16(m + 32);
  out->volumeCoveragePattern = U16(m + 34);
  out->volumeTime = SecondsSince1970(U16(m + 40), U32(m + 42));
  out->generationTime = SecondsSince1970(U16(m + 46), U32(m + 48));
  out->parameters[0] = U16(m + 52);
  out->parameters[1] = U16(m + 54);
  out->elevationNumber = U16(m + 56);
  out->parameters[2] = U16(m + 58);
  for (int i = 0; i < 16; ++i) out->thresholds[static_cast<size_t>(i)] = U16(m + 60 + 2 * i);
  for (int i = 0; i < 7; ++i) out->parameters[static_cast<size_t>(3 + i)] = U16(m + 92 + 2 * i);
  out->hasElevation = out->info != nullptr && out->info->elevationBased;
  out->elevationDegrees = out->hasElevation ? static_cast<int16_t>(out->parameters[2]) / 10.0f : 0;
  out->units = out->info != nullptr ? out->info->units : "";
  out->mapping = out->info != nullptr ? out->info->mapping : LevelMapping::kLevelIsValue;
  BuildLevelTable(out->mapping, out->thresholds, &out->levelTable);

  // The message as it reads once inflated.
  const uint8_t* data = m;
  size_t dataSize = length;
  out->compressed = LooksCompressed(m, length);
  out->inflatedSize = 0;
  if (out->compressed) {
    message_.assign(m, m + kHeader);
    size_t hint = static_cast<size_t>(out->parameters[8]) << 16 | out->parameters[9];
    DecodeError error = Inflate(m + kHeader, length - kHeader, hint, &message_);
    if (error != DecodeError::kNone) return Fail(error, kHeader, false);
    data = message_.data();
    dataSize = message_.size();
    out->inflatedSize = static_cast<uint32_t>(dataSize - kHeader);
  }
  bool inflated = out->compressed;

  if (strict) {
    for (size_t field : {size_t{112}, size_t{116}}) {  // graphic and tabular blocks
      uint64_t offset = 2 * static_cast<uint64_t>(U32(m + field));
      if (offset != 0 && (offset < kHeader || offset >= dataSize)) {
        return Fail(DecodeError::kBadOffset, field, false);
      }
    }
  }

  // The symbology block: divider, id 1, length, layers; each layer a
  // divider, a length and packets.
  uint64_t symbology = 2 * static_cast<uint64_t>(U32(m + 108));
  if (symbology == 0) {
    out->noImageReason = "the product has no symbology block";
    return {};
  }
  if (symbology < kHeader || symbology + 10 > dataSize) {
    return Fail(DecodeError::kBadOffset, 108, false);
  }
  const uint8_t* block = data + symbology;
  if (S16(block) != -1 || U16(block + 2) != 1) {
    if (out->mapping == LevelMapping::kNone) {  // tabular products point here at their text
      out->noImageReason = "a tabular or text product: no symbology block";
      return {};
    }
    return Fail(DecodeError::kBadBlock, symbology, inflated);
  }
  uint64_t blockLength = U32(block + 4);
  if (blockLength < 10 || symbology + blockLength > dataSize) {
    return Fail(DecodeError::kBadBlock, symbology + 4, inflated);
  }
  size_t blockEnd = static_cast<size_t>(symbology + blockLength);
  int layers = U16(block + 8);
  Walk walk{data, inflated, strict, out};
  bool haveImage = false, haveGeneric = false;
  size_t pos = static_cast<size_t>(symbology) + 10;
  for (int layer = 0; layer < layers; ++layer) {
    if (blockEnd - pos < 6 || S16(data + pos) != -1) return walk.Fail(DecodeError::kBadLayer, pos);
    size_t layerLength = U32(data + pos + 2);
    if (blockEnd - pos - 6 < layerLength) return walk.Fail(DecodeError::kBadLayer, pos + 2);
    size_t at = pos + 6, layerEnd = pos + 6 + layerLength;
    while (layerEnd - at >= 2) {
      uint16_t code = U16(data + at);
      size_t packetSize = 0;
      if (IsImagePacket(code)) {
        bool decode = !haveImage;
        DecodeResult result =
            code == 17 ? walk.PrecipArray(at, layerEnd, decode, &packetSize)
            : code == 0xBA07 || code == 0xBA0F ? walk.Raster(at, layerEnd, decode, &packetSize)
                                               : walk.Radials(at, layerEnd, decode, &packetSize);
        if (!result.ok()) return result;
        haveImage = true;
      } else {
        packetSize = OtherPacketSize(data, at, layerEnd);
        haveGeneric = haveGeneric || code == 28 || code == 29;
        if (packetSize == 0 || packetSize > layerEnd - at) {
          if (strict) return walk.Fail(DecodeError::kBadPacket, at);
          packetSize = layerEnd - at;  // the rest of the layer, unread
        }
      }
      if (out->packets.size() < kMaxListedPackets) {
        out->packets.push_back({code, static_cast<uint16_t>(layer), static_cast<uint32_t>(at),
                                static_cast<uint32_t>(packetSize)});
      }
      at += packetSize;
    }
    if (strict && at != layerEnd) return walk.Fail(DecodeError::kBadPacket, at);
    pos = layerEnd;
  }
  if (!haveImage) {
    out->noImageReason = haveGeneric
                             ? "its data are in a generic data packet (28), which is not decoded"
                             : "the symbology block holds no image packet";
  }
  return {};
}

DecodeResult ProductDecoder::Decode(const uint8_t* image, size_t size, DecodedProduct* out) {
  DecodeResult result = Run(image, size, out, false);
  if (!result.ok()) ClearImage(out);
  return result;
}

DecodeResult ProductDecoder::Check(const uint8_t* image, size_t size, bool requireImage) {
  DecodeResult result = Run(image, size, &checked_, true);
  if (!result.ok()) ClearImage(&checked_);
  if (result.ok() && requireImage && checked_.image == ImageKind::kNone) {
    return Fail(DecodeError::kNoImage, 108, false);
  }
  return result;
}

DecodeResult DecodeProduct(const uint8_t* image, size_t size, DecodedProduct* out) {
  ProductDecoder decoder;
  return decoder.Decode(image, size, out);
}

DecodeResult CheckProductImage(const uint8_t* image, size_t size, bool requireImage) {
  ProductDecoder decoder;
  return decoder.Check(image, size, requireImage);
}

float LevelValue(const DecodedProduct& product, uint16_t level) {
  if (level >= kLevelCount) return std::numeric_limits<float>::quiet_NaN();
  const LevelInfo& info = product.levelTable[level];
  return info.kind == LevelKind::kValue || info.kind == LevelKind::kClass
             ? info.value
             : std::numeric_limits<float>::quiet_NaN();
}

void PhysicalValues(const DecodedProduct& product, std::vector<float>* values) {
  float table[kLevelCount];
  for (int level = 0; level < kLevelCount; ++level) {
    table[level] = LevelValue(product, static_cast<uint16_t>(level));
  }
  values->resize(product.levels.size());
  float* to = values->data();
  for (uint16_t level : product.levels) {
    *to++ = level < kLevelCount ? table[level] : std::numeric_limits<float>::quiet_NaN();
  }
}

const char* PacketKind(uint16_t code) {
  switch (code) {
    case 1: return "text";
    case 2: return "special symbol";
    case 3: case 11: return "mesocyclone";
    case 4: return "wind barb";
    case 6: case 9: return "linked vectors";
    case 7: case 10: return "unlinked vectors";
    case 8: return "text with value";
    case 12: case 26: return "tornado vortex signature";
    case 15: return "storm id";
    case 16: return "digital radials";
    case 17: return "precipitation array";
    case 18: return "precipitation rate array";
    case 19: return "hail";
    case 20: return "point feature";
    case 23: case 24: return "storm track";
    case 25: return "storm circle";
    case 28: case 29: return "generic data";
    case 0x0802: return "contour colour";
    case 0x0E03: return "linked contour";
    case 0x3501: return "unlinked contour";
    case 0xAF1F: return "run-length radials";
    case 0xBA07: case 0xBA0F: return "run-length raster";
    default: return "other";
  }
}

const char* DecodeErrorText(DecodeError error) {
  switch (error) {
    case DecodeError::kNone: return "ok";
    case DecodeError::kTooShort: return "image too short for a product header";
    case DecodeError::kNotProduct: return "not a product: no product description block";
    case DecodeError::kTruncated: return "message length runs past the end of the image";
    case DecodeError::kBadCompression: return "compressed symbology does not inflate";
    case DecodeError::kInflatedTooLarge: return "compressed symbology inflates past 16 MiB";
    case DecodeError::kNoMemory: return "no memory to inflate the symbology";
    case DecodeError::kBadOffset: return "block offset points outside the message";
    case DecodeError::kBadBlock: return "bad symbology block header";
    case DecodeError::kBadLayer: return "bad symbology layer header";
    case DecodeError::kBadPacket: return "bad packet";
    case DecodeError::kTooLarge: return "image larger than its bytes can hold";
    case DecodeError::kNoImage: return "the product has no image";
  }
  return "unknown decode error";
}

std::string DescribeDecodeResult(const DecodeResult& result) {
  std::string text = DecodeErrorText(result.error);
  if (result.ok()) return text;
  text += " at message byte ";
  text += std::to_string(result.offset);
  if (result.inflated) text += " (inflated)";
  return text;
}

}  // namespace nimbrel
