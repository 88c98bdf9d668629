#include "jx4/decoded_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <type_traits>
#include <vector>

#include "jx4/json.h"

namespace nimbrel {

namespace {

// The shortest text that reads back as `value` (a double rounded to a
// millionth first: ranges computed in km); nothing when it is not finite.
template <typename Number>
void AppendNumber(std::string* out, Number value) {
  if (!std::isfinite(value)) return;
  if (std::is_same_v<Number, double> && std::fabs(value) < 1e12) {
    value = static_cast<Number>(std::round(value * 1e6) / 1e6);
  }
  if (value == 0) value = 0;  // no "-0"
  char text[32];
  auto [end, error] = std::to_chars(text, text + sizeof text, value);
  if (error == std::errc()) out->append(text, end);
}

template <typename Number>
void AppendJsonNumber(std::string* out, Number value) {
  if (std::isfinite(value)) {
    AppendNumber(out, value);
  } else {
    out->append("null");
  }
}

void AppendInteger(std::string* out, int64_t value) { out->append(std::to_string(value)); }

// A field name and its colon, with the comma before it.
void Key(std::string* out, const char* name) {
  out->append(",\"");
  out->append(name);
  out->append("\":");
}

void StringField(std::string* out, const char* name, const char* text) {
  Key(out, name);
  AppendJsonString(out, text);
}

// A string, or null when it is empty.
void OptionalStringField(std::string* out, const char* name, const std::string& text) {
  Key(out, name);
  if (text.empty()) {
    out->append("null");
  } else {
    AppendJsonString(out, text.c_str());
  }
}

void IntegerField(std::string* out, const char* name, int64_t value) {
  Key(out, name);
  AppendInteger(out, value);
}

template <typename Number>
void NumberField(std::string* out, const char* name, Number value) {
  Key(out, name);
  AppendJsonNumber(out, value);
}

void TimeField(std::string* out, const char* name, int64_t seconds) {
  OptionalStringField(out, name, IsoTime(seconds));
}

template <typename Container>
void NumberArray(std::string* out, const char* name, const Container& values) {
  Key(out, name);
  out->push_back('[');
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out->push_back(',');
    AppendJsonNumber(out, values[i]);
  }
  out->push_back(']');
}

// Each level's text and its value's text ("" for none), made once per product.
struct LevelTexts {
  std::array<std::string, kLevelCount> level;
  std::array<std::string, kLevelCount> value;
  explicit LevelTexts(const DecodedProduct& product) {
    for (int l = 0; l < kLevelCount; ++l) {
      level[static_cast<size_t>(l)] = std::to_string(l);
      AppendNumber(&value[static_cast<size_t>(l)], LevelValue(product, static_cast<uint16_t>(l)));
    }
  }
};

void LevelTable(const DecodedProduct& product, std::string* out) {
  std::array<bool, kLevelCount> present = LevelsPresent(product);
  Key(out, "level_table");
  out->push_back('[');
  bool first = true;
  for (int l = 0; l < kLevelCount; ++l) {
    if (!present[static_cast<size_t>(l)]) continue;
    const LevelInfo& info = product.levelTable[static_cast<size_t>(l)];
    out->append(first ? "{\"level\":" : ",{\"level\":");
    first = false;
    AppendInteger(out, l);
    StringField(out, "kind", LevelKindName(info.kind));
    NumberField(out, "value", LevelValue(product, static_cast<uint16_t>(l)));  // NaN: null
    if (info.label[0] != '\0') StringField(out, "label", info.label);
    if (info.topped) out->append(",\"topped\":true");
    out->push_back('}');
  }
  out->push_back(']');
}

// "levels" or "values": one array per radial or raster row.
void LevelRows(const DecodedProduct& product, const LevelTexts& texts, bool values,
               TextOutput* out) {
  size_t rows = static_cast<size_t>(product.image == ImageKind::kRadial ? product.radialCount
                                                                         : product.rows);
  size_t width = rows == 0 ? 0 : product.levels.size() / rows;
  std::string& text = out->text();
  Key(&text, values ? "values" : "levels");
  text.push_back('[');
  const uint16_t* level = product.levels.data();
  for (size_t r = 0; r < rows; ++r) {
    text.append(r == 0 ? "[" : ",[");
    for (size_t i = 0; i < width; ++i, ++level) {
      if (i > 0) text.push_back(',');
      size_t l = *level < kLevelCount ? *level : 0;
      const std::string& piece = values ? texts.value[l] : texts.level[l];
      text.append(piece.empty() ? "null" : piece);
    }
    text.push_back(']');
    out->Spill();
  }
  text.push_back(']');
}

// A field of a CSV row: quoted when it holds a comma, a quote or a line end.
void AppendCsvField(std::string* out, const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) {
    out->append(field);
    return;
  }
  out->push_back('"');
  for (char c : field) {
    if (c == '"') out->push_back('"');
    out->push_back(c);
  }
  out->push_back('"');
}

}  // namespace

const char* ImageName(ImageKind kind) {
  return kind == ImageKind::kRadial ? "radial" : kind == ImageKind::kRaster ? "raster" : "none";
}

const char* LevelKindName(LevelKind kind) {
  switch (kind) {
    case LevelKind::kValue: return "value";
    case LevelKind::kBelowThreshold: return "below-threshold";
    case LevelKind::kNoData: return "no-data";
    case LevelKind::kRangeFolded: return "range-folded";
    case LevelKind::kClass: return "class";
  }
  return "no-data";
}

std::array<bool, kLevelCount> LevelsPresent(const DecodedProduct& product) {
  std::array<bool, kLevelCount> present{};
  for (uint16_t level : product.levels) present[level < kLevelCount ? level : 0] = true;
  return present;
}

bool TextOutput::Spill(bool all) {
  if (file_ == nullptr || (!all && text_.size() < kSpillSize)) return !failed_;
  if (!failed_ && std::fwrite(text_.data(), 1, text_.size(), file_) != text_.size()) failed_ = true;
  text_.clear();
  return !failed_;
}

void WriteProductJson(const ProductSource& source, const DecodedProduct& product,
                      const DecodeResult& result, TextOutput* out) {
  std::string& text = out->text();
  text.append("{\"file\":");
  AppendJsonString(&text, source.file.c_str());
  IntegerField(&text, "entry", source.entry);
  IntegerField(&text, "product_id", source.productId);
  OptionalStringField(&text, "category", source.category);
  OptionalStringField(&text, "station", source.station);
  OptionalStringField(&text, "site", product.station);
  IntegerField(&text, "product_code", product.productCode);
  OptionalStringField(&text, "name", product.info != nullptr ? product.info->name : "");
  StringField(&text, "units", product.units);
  TimeField(&text, "volume_time", product.volumeTime);
  TimeField(&text, "generation_time", product.generationTime);
  NumberField(&text, "latitude", product.latitude);
  NumberField(&text, "longitude", product.longitude);
  IntegerField(&text, "height_ft", product.heightFeet);
  IntegerField(&text, "operational_mode", product.operationalMode);
  IntegerField(&text, "vcp", product.volumeCoveragePattern);
  IntegerField(&text, "elevation_number", product.elevationNumber);
  NumberField(&text, "elevation_deg", product.hasElevation ? product.elevationDegrees : NAN);  // NaN: null
  NumberArray(&text, "thresholds", product.thresholds);
  NumberArray(&text, "parameters", product.parameters);
  text.append(product.compressed ? ",\"compressed\":true" : ",\"compressed\":false");
  Key(&text, "packets");
  text.push_back('[');
  for (size_t i = 0; i < product.packets.size(); ++i) {
    const PacketInfo& packet = product.packets[i];
    text.append(i == 0 ? "{\"code\":" : ",{\"code\":");
    AppendInteger(&text, packet.code);
    StringField(&text, "kind", PacketKind(packet.code));
    IntegerField(&text, "layer", packet.layer);
    IntegerField(&text, "offset", packet.offset);
    IntegerField(&text, "size", packet.size);
    text.push_back('}');
  }
  text.push_back(']');
  StringField(&text, "image", ImageName(product.image));
  if (!result.ok()) {
    StringField(&text, "error", DescribeDecodeResult(result).c_str());
  } else if (product.image == ImageKind::kNone) {
    StringField(&text, "no_image_reason", product.noImageReason);
  }
  if (product.image != ImageKind::kNone) {
    IntegerField(&text, "packet_code", product.imagePacketCode);
    if (product.image == ImageKind::kRadial) {
      IntegerField(&text, "radial_count", product.radialCount);
      IntegerField(&text, "gate_count", product.gateCount);
      NumberField(&text, "first_range_km", product.firstRangeKm);
      NumberField(&text, "gate_spacing_km", product.gateSpacingKm);
      Key(&text, "gate_ranges_km");
      text.push_back('[');
      for (int32_t g = 0; g < product.gateCount; ++g) {
        if (g > 0) text.push_back(',');
        AppendJsonNumber(&text, product.firstRangeKm + g * product.gateSpacingKm);
      }
      text.push_back(']');
      NumberArray(&text, "azimuths_deg", product.azimuths);
      NumberArray(&text, "widths_deg", product.widths);
    } else {
      IntegerField(&text, "rows", product.rows);
      IntegerField(&text, "columns", product.columns);
      NumberField(&text, "cell_size_km", product.cellSizeKm);
    }
    LevelTable(product, &text);
    LevelTexts texts(product);
    LevelRows(product, texts, false, out);
    LevelRows(product, texts, true, out);
  }
  out->text().append("}\n");
  out->Spill();
}

void WriteProductCsv(const ProductSource& source, const DecodedProduct& product, TextOutput* out) {
  if (product.image == ImageKind::kNone) return;
  std::string prefix;
  AppendCsvField(&prefix, source.file);
  for (int64_t number : {int64_t{source.entry}, int64_t{source.productId}}) {
    prefix.push_back(',');
    AppendInteger(&prefix, number);
  }
  prefix.push_back(',');
  AppendCsvField(&prefix, source.category);
  prefix.push_back(',');
  LevelTexts texts(product);
  std::string& text = out->text();
  const uint16_t* level = product.levels.data();
  auto finish = [&](const uint16_t* at) {  // ",level,value\n"
    size_t l = *at < kLevelCount ? *at : 0;
    text.push_back(',');
    text.append(texts.level[l]);
    text.push_back(',');
    text.append(texts.value[l]);
    text.push_back('\n');
  };
  if (product.image == ImageKind::kRadial) {
    std::vector<std::string> ranges(static_cast<size_t>(product.gateCount));
    for (int32_t g = 0; g < product.gateCount; ++g) {
      ranges[static_cast<size_t>(g)] = std::to_string(g) + ",";
      AppendNumber(&ranges[static_cast<size_t>(g)], product.firstRangeKm + g * product.gateSpacingKm);
      ranges[static_cast<size_t>(g)] += ",,,,";
    }
    for (int32_t r = 0; r < product.radialCount; ++r) {
      std::string radial = prefix + std::to_string(r) + ",";
      AppendNumber(&radial, product.azimuths[static_cast<size_t>(r)]);
      radial.push_back(',');
      AppendNumber(&radial, product.widths[static_cast<size_t>(r)]);
      radial.push_back(',');
      for (int32_t g = 0; g < product.gateCount; ++g, ++level) {
        text.append(radial);
        text.append(ranges[static_cast<size_t>(g)]);
        finish(level);
      }
      out->Spill();
    }
    return;
  }
  const double cell = product.cellSizeKm;
  for (int32_t row = 0; row < product.rows; ++row) {
    std::string rowText = prefix + ",,,,," + std::to_string(row) + ",";
    std::string north;
    AppendNumber(&north, (product.rows / 2.0 - row - 0.5) * cell);
    for (int32_t column = 0; column < product.columns; ++column, ++level) {
      text.append(rowText);
      text.append(std::to_string(column));
      text.push_back(',');
      AppendNumber(&text, (column + 0.5 - product.columns / 2.0) * cell);
      text.push_back(',');
      text.append(north);
      finish(level);
    }
    out->Spill();
  }
}

}  // namespace nimbrel
