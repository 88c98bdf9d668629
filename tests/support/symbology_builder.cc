#include "support/symbology_builder.h"

#include <bzlib.h>

#include <algorithm>
#include <cmath>

namespace nimbrel {

namespace {

void Append16(Bytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

void Append32(Bytes& out, uint32_t value) {
  Append16(out, static_cast<uint16_t>(value >> 16));
  Append16(out, static_cast<uint16_t>(value));
}

uint16_t Tenths(float degrees) { return static_cast<uint16_t>(std::lround(degrees * 10)); }

// 4-bit runs of 4-bit levels.
Bytes Runs(const std::vector<uint8_t>& levels) {
  Bytes runs;
  for (size_t i = 0; i < levels.size();) {
    size_t run = 1;
    while (i + run < levels.size() && run < 15 && levels[i + run] == levels[i]) ++run;
    runs.push_back(static_cast<uint8_t>(run << 4 | (levels[i] & 0x0F)));
    i += run;
  }
  return runs;
}

Bytes RadialHeader(uint16_t code, int gates, size_t radials, int firstBin) {
  Bytes out;
  Append16(out, code);
  Append16(out, static_cast<uint16_t>(firstBin));
  Append16(out, static_cast<uint16_t>(gates));
  Append16(out, 0);  // centre i
  Append16(out, 0);  // centre j
  Append16(out, 1000);
  Append16(out, static_cast<uint16_t>(radials));
  return out;
}

}  // namespace

void StoreBig16(Bytes& image, size_t at, uint16_t value) {
  image[at] = static_cast<uint8_t>(value >> 8);
  image[at + 1] = static_cast<uint8_t>(value);
}

void StoreBig32(Bytes& image, size_t at, uint32_t value) {
  StoreBig16(image, at, static_cast<uint16_t>(value >> 16));
  StoreBig16(image, at + 2, static_cast<uint16_t>(value));
}

Bytes RunLengthRadialPacket(int gates, const std::vector<BuiltRadial>& radials, int firstBin) {
  Bytes out = RadialHeader(0xAF1F, gates, radials.size(), firstBin);
  for (const BuiltRadial& radial : radials) {
    Bytes runs = Runs(radial.levels);
    if (runs.size() % 2 != 0) runs.push_back(0);  // a run of 0 pads to a halfword
    Append16(out, static_cast<uint16_t>(runs.size() / 2));
    Append16(out, Tenths(radial.azimuth));
    Append16(out, Tenths(radial.width));
    out.insert(out.end(), runs.begin(), runs.end());
  }
  return out;
}

Bytes DigitalRadialPacket(int gates, const std::vector<BuiltRadial>& radials, int firstBin) {
  Bytes out = RadialHeader(16, gates, radials.size(), firstBin);
  for (const BuiltRadial& radial : radials) {
    Append16(out, static_cast<uint16_t>(radial.levels.size()));
    Append16(out, Tenths(radial.azimuth));
    Append16(out, Tenths(radial.width));
    out.insert(out.end(), radial.levels.begin(), radial.levels.end());
    if (radial.levels.size() % 2 != 0) out.push_back(0);
  }
  return out;
}

Bytes RasterPacket(uint16_t code, const std::vector<std::vector<uint8_t>>& rows, int xScale) {
  Bytes out;
  Append16(out, code);
  Append16(out, 0x8000);
  Append16(out, 0x00C0);
  Append16(out, 0);  // i start
  Append16(out, 0);  // j start
  Append16(out, static_cast<uint16_t>(xScale));
  Append16(out, 0);
  Append16(out, static_cast<uint16_t>(xScale));
  Append16(out, 0);
  Append16(out, static_cast<uint16_t>(rows.size()));
  Append16(out, 2);  // packing descriptor
  for (const std::vector<uint8_t>& row : rows) {
    Bytes runs = Runs(row);
    if (runs.size() % 2 != 0) runs.push_back(0);
    Append16(out, static_cast<uint16_t>(runs.size()));
    out.insert(out.end(), runs.begin(), runs.end());
  }
  return out;
}

Bytes PrecipArrayPacket(const std::vector<std::vector<uint8_t>>& rows) {
  Bytes out;
  Append16(out, 17);
  Append16(out, 0);
  Append16(out, 0);
  Append16(out, static_cast<uint16_t>(rows.empty() ? 0 : rows[0].size()));
  Append16(out, static_cast<uint16_t>(rows.size()));
  for (const std::vector<uint8_t>& row : rows) {
    Bytes pairs;
    for (size_t i = 0; i < row.size();) {
      size_t run = 1;
      while (i + run < row.size() && run < 255 && row[i + run] == row[i]) ++run;
      pairs.push_back(static_cast<uint8_t>(run));
      pairs.push_back(row[i]);
      i += run;
    }
    Append16(out, static_cast<uint16_t>(pairs.size()));
    out.insert(out.end(), pairs.begin(), pairs.end());
  }
  return out;
}

Bytes TextPacket(const std::string& text) {
  Bytes out;
  Append16(out, 1);
  Append16(out, static_cast<uint16_t>(4 + text.size() + text.size() % 2));
  Append16(out, 0);
  Append16(out, 0);
  out.insert(out.end(), text.begin(), text.end());
  if (text.size() % 2 != 0) out.push_back(' ');
  return out;
}

Bytes SymbologyBlock(const std::vector<std::vector<Bytes>>& layers) {
  Bytes body;
  for (const std::vector<Bytes>& packets : layers) {
    size_t size = 0;
    for (const Bytes& packet : packets) size += packet.size();
    Append16(body, 0xFFFF);
    Append32(body, static_cast<uint32_t>(size));
    for (const Bytes& packet : packets) body.insert(body.end(), packet.begin(), packet.end());
  }
  Bytes out;
  Append16(out, 0xFFFF);
  Append16(out, 1);
  Append32(out, static_cast<uint32_t>(10 + body.size()));
  Append16(out, static_cast<uint16_t>(layers.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<BuiltRadial> MakeRadials(int count, int gates, int levels, float firstAzimuth,
                                     uint32_t seed) {
  std::vector<BuiltRadial> radials(static_cast<size_t>(count));
  uint32_t r = seed * 2654435761u + 1;
  for (int i = 0; i < count; ++i) {
    BuiltRadial& radial = radials[static_cast<size_t>(i)];
    radial.width = 360.0f / static_cast<float>(count);
    radial.azimuth = std::fmod(firstAzimuth + static_cast<float>(i) * radial.width, 360.0f);
    radial.levels.resize(static_cast<size_t>(gates));
    uint8_t level = 0;
    for (int g = 0; g < gates; ++g) {
      r = r * 1103515245u + 12345u;
      if ((r >> 16) % 8 == 0) level = static_cast<uint8_t>((r >> 8) % static_cast<uint32_t>(levels));
      radial.levels[static_cast<size_t>(g)] = level;
    }
  }
  return radials;
}

Bytes BuildImageProduct(const ImageProductFields& made, const Bytes& symbology) {
  Bytes body = symbology;
  std::array<uint16_t, 10> parameters = made.parameters;
  if (made.compress) {
    unsigned int length = static_cast<unsigned int>(symbology.size() + symbology.size() / 50 + 600);
    body.resize(length);
    BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(body.data()), &length,
                             reinterpret_cast<char*>(const_cast<uint8_t*>(symbology.data())),
                             static_cast<unsigned int>(symbology.size()), 9, 0, 0);
    body.resize(length);
    parameters[7] = 1;
    parameters[8] = static_cast<uint16_t>(symbology.size() >> 16);
    parameters[9] = static_cast<uint16_t>(symbology.size());
  }
  ProductSpec fields = made.fields;
  fields.bodySize = static_cast<int32_t>(body.size());
  Bytes image = BuildProduct(fields);
  size_t start = fields.withHeading ? 30 : 0;
  std::copy(body.begin(), body.end(), image.begin() + static_cast<std::ptrdiff_t>(start + 120));
  StoreBig16(image, start + 52, parameters[0]);
  StoreBig16(image, start + 54, parameters[1]);
  StoreBig16(image, start + 58, parameters[2]);
  for (size_t i = 0; i < 16; ++i) StoreBig16(image, start + 60 + 2 * i, made.thresholds[i]);
  for (size_t i = 0; i < 7; ++i) StoreBig16(image, start + 92 + 2 * i, parameters[3 + i]);
  return image;
}

}  // namespace nimbrel
