// jx4.open, jx4.scan and what they give: a VolumeFile (one .jx4 file, its
// header and index), its Products (an index entry; its bytes read and
// decoded on request) and a product's Decoded data with numpy arrays, whose
// fields are those of `jx4 decode`'s JSON.
//
// A VolumeFile keeps its file open until it is closed (or used as a context
// manager); its products share the open file and may outlive the VolumeFile
// object, not its closing.
#include <pybind11/eval.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "decode/decode_product.h"
#include "jx4/decoded_text.h"
#include "jx4/json.h"
#include "jx4/selection.h"
#include "jx4/verify.h"
#include "jx4/volume_files.h"
#include "python/bindings.h"

namespace py = pybind11;

namespace nimbrel::python {

namespace {

// An open .jx4 file, shared by the VolumeFile and its products.
struct OpenFile {
  std::string path;
  // Null once closed; a read in progress keeps its own reference, so that
  // closing from another thread never pulls the file from under it.
  std::shared_ptr<VolumeReader> reader;
};

struct Product {
  std::shared_ptr<OpenFile> file;
  int32_t entry = 0;
  VolumeIndexEntry index;
  std::string station;
  int64_t volumeTime = 0;

  const ProductEntry* row() const { return CatalogueRow(index.productId); }
  std::string Place() const { return ProductPlace(file->path, entry, index.productId); }
  std::vector<uint8_t> Image() const {
    std::shared_ptr<VolumeReader> reader = file->reader;
    if (!reader) throw py::value_error("the .jx4 file '" + file->path + "' is closed");
    std::vector<uint8_t> image;
    bool read;
    {
      py::gil_scoped_release released;
      read = reader->ReadImage(entry, &image);
    }
    if (!read) RaiseOSError("cannot read the image of " + Place());
    return image;
  }
};

struct VolumeFile {
  std::shared_ptr<OpenFile> file;
  VolumeFileHeader header;
  bool wellFormed = true;
  std::vector<Product> products;
};

// Opens `path`, or raises: OSError when it cannot be read, ValueError when
// it is no .jx4 file whose index can be read.
VolumeFile OpenVolumeFile(const std::string& path) {
  auto file = std::make_shared<OpenFile>();
  file->path = path;
  file->reader = std::make_shared<VolumeReader>();
  std::string error;
  Opened opened = OpenVolume(path, file->reader.get(), &error);
  if (opened == Opened::kFailed) RaiseOSError(error);
  if (opened == Opened::kEmpty) throw py::value_error("'" + path + "' is " + kEmptyText);
  std::vector<VolumeFinding> findings = FormatFindings(opened, *file->reader);
  if (opened == Opened::kShort || !IndexUsable(findings)) {
    throw py::value_error("'" + path + "' is not a usable .jx4 file: " +
                          VolumeProblemText(findings.front().problem));
  }
  VolumeFile volume;
  volume.file = file;
  volume.header = file->reader->header();
  volume.wellFormed = findings.empty();
  std::string station = StationOf(volume.header);
  for (int32_t i = 0; i < file->reader->entryCount(); ++i) {
    volume.products.push_back({file, i, volume.header.entries[i], station, volume.header.volumeTime});
  }
  return volume;
}

// The heading's words ("SDUS54 KOUN 031203 N0RTLX"), or None without one.
py::object HeadingOf(const std::vector<uint8_t>& image) {
  constexpr size_t kHeadingSize = 30;
  if (image.size() < kHeadingSize || image[0] == 0) return py::none();
  std::string words;
  for (size_t i = 0; i < kHeadingSize; ++i) {
    char c = static_cast<char>(image[i]);
    if (c == '\r' || c == '\n' || c == ' ') {
      if (!words.empty() && words.back() != ' ') words.push_back(' ');
    } else {
      words.push_back(c >= 0x20 && c < 0x7f ? c : '?');
    }
  }
  while (!words.empty() && words.back() == ' ') words.pop_back();
  return py::str(words);
}

template <typename T>
py::array_t<T> Array(const T* data, std::vector<py::ssize_t> shape) {
  py::array_t<T> array(shape);
  size_t count = 1;
  for (py::ssize_t side : shape) count *= static_cast<size_t>(side);
  if (count > 0) std::copy(data, data + count, array.mutable_data());
  return array;
}

py::object Number(double value) { return std::isnan(value) ? py::object(py::none()) : py::float_(value); }

// The decoded data as an object whose attributes are jx4 decode's fields.
py::object DecodedObject(const Product& stored, const DecodedProduct& product) {
  py::object decoded = py::module_::import("jx4").attr("Decoded")();
  auto set = [&decoded](const char* name, py::object value) { py::setattr(decoded, name, value); };
  const ProductEntry* row = stored.row();
  set("file", py::str(stored.file->path));
  set("entry", py::int_(stored.entry));
  set("product_id", py::int_(stored.index.productId));
  std::string category = row != nullptr ? row->categoryCode : product.category;
  set("category", category.empty() ? py::object(py::none()) : py::str(category));
  set("station", py::str(stored.station));
  set("site", product.station[0] != '\0' ? py::object(py::str(product.station)) : py::none());
  set("product_code", py::int_(product.productCode));
  set("name", product.info != nullptr ? py::object(py::str(product.info->name)) : py::none());
  set("units", py::str(product.units));
  set("volume_time", UtcTime(product.volumeTime));
  set("generation_time", UtcTime(product.generationTime));
  set("latitude", py::float_(product.latitude));
  set("longitude", py::float_(product.longitude));
  set("height_ft", py::int_(product.heightFeet));
  set("operational_mode", py::int_(product.operationalMode));
  set("vcp", py::int_(product.volumeCoveragePattern));
  set("elevation_number", py::int_(product.elevationNumber));
  set("elevation", product.hasElevation ? Number(product.elevationDegrees) : py::none());
  set("thresholds", py::tuple(py::cast(product.thresholds)));
  set("parameters", py::tuple(py::cast(product.parameters)));
  set("compressed", py::bool_(product.compressed));
  py::list packets;
  for (const PacketInfo& packet : product.packets) {
    packets.append(py::dict(py::arg("code") = packet.code, py::arg("kind") = PacketKind(packet.code),
                            py::arg("layer") = packet.layer, py::arg("offset") = packet.offset,
                            py::arg("size") = packet.size));
  }
  set("packets", packets);
  set("image", py::str(ImageName(product.image)));
  set("no_image_reason",
      product.image == ImageKind::kNone ? py::object(py::str(product.noImageReason)) : py::none());
  set("packet_code", py::int_(product.imagePacketCode));

  const bool radial = product.image == ImageKind::kRadial;
  const py::ssize_t rows = radial ? product.radialCount : product.rows;
  const py::ssize_t width = rows == 0 ? 0 : static_cast<py::ssize_t>(product.levels.size()) / rows;
  set("radial_count", py::int_(product.radialCount));
  set("gate_count", py::int_(product.gateCount));
  set("first_range_km", py::float_(product.firstRangeKm));
  set("gate_spacing_km", py::float_(product.gateSpacingKm));
  std::vector<double> ranges;
  for (int32_t g = 0; g < product.gateCount; ++g) {
    ranges.push_back(product.firstRangeKm + g * product.gateSpacingKm);
  }
  set("ranges", Array(ranges.data(), {static_cast<py::ssize_t>(ranges.size())}));
  set("azimuths", Array(product.azimuths.data(), {static_cast<py::ssize_t>(product.azimuths.size())}));
  set("widths", Array(product.widths.data(), {static_cast<py::ssize_t>(product.widths.size())}));
  set("rows", py::int_(product.rows));
  set("columns", py::int_(product.columns));
  set("cell_size_km", py::float_(product.cellSizeKm));

  std::array<bool, kLevelCount> present = LevelsPresent(product);
  py::list table;
  for (int l = 0; l < kLevelCount; ++l) {
    if (!present[static_cast<size_t>(l)]) continue;
    const LevelInfo& info = product.levelTable[static_cast<size_t>(l)];
    py::dict entry(py::arg("level") = l, py::arg("kind") = LevelKindName(info.kind),
                   py::arg("value") = Number(LevelValue(product, static_cast<uint16_t>(l))));
    if (info.label[0] != '\0') entry["label"] = py::str(info.label);
    if (info.topped) entry["topped"] = py::bool_(true);
    table.append(entry);
  }
  set("level_table", table);
  set("levels", Array(product.levels.data(), {rows, width}));
  std::vector<float> values;
  PhysicalValues(product, &values);
  py::object numpy = py::module_::import("numpy");
  set("values", numpy.attr("ma").attr("masked_invalid")(Array(values.data(), {rows, width})));
  return decoded;
}

py::object Decode(const Product& stored) {
  std::vector<uint8_t> image = stored.Image();
  DecodedProduct product;
  DecodeResult result;
  {
    py::gil_scoped_release released;
    result = DecodeProduct(image.data(), image.size(), &product);
  }
  if (!result.ok()) {
    throw py::value_error(stored.Place() + " does not decode: " + DescribeDecodeResult(result));
  }
  return DecodedObject(stored, product);
}

std::vector<std::string> Verify(const VolumeFile& volume, bool deep) {
  const std::string& path = volume.file->path;
  std::vector<std::string> files;
  Selection everything;
  bool trouble = false;
  std::vector<std::string> problems;
  FileArguments arguments;
  arguments.files = {path};
  Verdict verdict;
  {
    py::gil_scoped_release released;
    ReadArguments(arguments, &files, &everything, &trouble, &problems);
    verdict = VerifyFile(path, deep, everything, CheckVolumeSets(files)[path]);
  }
  if (!verdict.readable) RaiseOSError("cannot read '" + path + "'");
  if (verdict.empty) return {kEmptyText};
  return verdict.problems;
}

// A RuntimeWarning of what a scan skips.
void Warn(const char* text) {
  py::module_::import("warnings").attr("warn")(std::string(text) + " (skipped)",
                                               py::module_::import("builtins").attr("RuntimeWarning"));
}

// jx4.scan's iterator: the selected products of the files, file after file.
class Scan {
 public:
  Scan(std::vector<std::string> files, Selection selection)
      : files_(std::move(files)), selection_(std::move(selection)) {}

  Product Next() {
    for (;;) {
      while (current_ && next_ < current_->products.size()) {
        const Product& product = current_->products[next_++];
        if (SelectsEntry(selection_, product.index)) return product;
      }
      current_.reset();
      if (file_ >= files_.size()) throw py::stop_iteration();
      const std::string& path = files_[file_++];
      try {
        VolumeFile volume = OpenVolumeFile(path);
        if (!SelectsFile(selection_, *volume.file->reader)) continue;
        current_ = std::make_unique<VolumeFile>(std::move(volume));
        next_ = 0;
      } catch (py::error_already_set& error) {
        Warn(error.what());
      } catch (py::value_error& error) {
        Warn(error.what());
      }
    }
  }

 private:
  std::vector<std::string> files_;
  Selection selection_;
  size_t file_ = 0;
  std::unique_ptr<VolumeFile> current_;
  size_t next_ = 0;
};

Scan StartScan(const py::object& paths, const py::object& only, const py::object& stations,
               const py::object& from, const py::object& to) {
  FileArguments arguments;
  arguments.files = TextList(paths, true);
  for (const std::string& path : arguments.files) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) RaiseOSError("cannot read '" + path + "': it does not exist");
  }
  arguments.selection.categories = TextList(only, false);
  arguments.selection.stations = TextList(stations, false);
  arguments.selection.from = TimeBound(from);
  arguments.selection.to = TimeBound(to);
  std::vector<std::string> files;
  Selection selection;
  bool trouble = false;
  std::vector<std::string> problems;
  bool read;
  {
    py::gil_scoped_release released;
    read = ReadArguments(arguments, &files, &selection, &trouble, &problems);
  }
  if (!read) throw py::value_error(problems.empty() ? "no such selection" : problems.front());
  for (const std::string& problem : problems) Warn(problem.c_str());  // a folder that cannot be read
  return Scan(std::move(files), std::move(selection));
}

std::string ProductText(const Product& product) {
  const ProductEntry* row = product.row();
  return "<jx4.Product " + product.Place() + " " + product.station + " " + IsoTime(product.volumeTime) +
         (row != nullptr ? " " + Utf8(row->name) : "") + ">";
}

}  // namespace

void AddVolumes(py::module_& module) {
  // Decoded data: a plain Python class, its attributes set when a product
  // is decoded.
  py::exec(R"(
class Decoded:
    """A decoded product: the fields of jx4 decode's JSON as attributes, with numpy
    arrays for azimuths, widths, ranges (km, each gate's), levels (uint16, one row
    per radial or raster row) and values (a masked float32 array of physical
    values, masked where a level has none: no data, below threshold, range
    folded); elevation is in degrees (None for a product without one)."""
    def __repr__(self):
        return "<jx4.Decoded %s %s %s %s>" % (self.station, self.category, self.image,
                                               tuple(self.levels.shape))
)", module.attr("__dict__"));
  module.attr("Decoded").attr("__module__") = "jx4";

  py::class_<Product>(module, "Product", "One stored product: an entry of a .jx4 file's index.")
      .def_readonly("entry", &Product::entry, "Its place in the index, from 0")
      .def_property_readonly("id", [](const Product& p) { return p.index.productId; }, "The product id")
      .def_property_readonly(
          "category",
          [](const Product& p) -> py::object {
            const ProductEntry* row = p.row();
            return row != nullptr ? py::object(py::str(row->categoryCode)) : py::none();
          },
          "The catalogue's category code, e.g. 'N0Q' (None for an id it lacks)")
      .def_property_readonly(
          "name",
          [](const Product& p) -> py::object {
            const ProductEntry* row = p.row();
            return row != nullptr ? py::object(py::str(Utf8(row->name))) : py::none();
          },
          "The catalogue's name of the product")
      .def_property_readonly("offset", [](const Product& p) { return p.index.offset; })
      .def_property_readonly("length", [](const Product& p) { return p.index.length; })
      .def_property_readonly("file", [](const Product& p) { return p.file->path; }, "The .jx4 file")
      .def_readonly("station", &Product::station)
      .def_property_readonly("time", [](const Product& p) { return UtcTime(p.volumeTime); },
                             "The volume time, an aware datetime in UTC")
      .def_property_readonly("heading", [](const Product& p) { return HeadingOf(p.Image()); },
                             "The heading's words, e.g. 'SDUS54 KOUN 031203 N0RTLX' (None without one)")
      .def("data", [](const Product& p) {
            std::vector<uint8_t> image = p.Image();
            return py::bytes(reinterpret_cast<const char*>(image.data()), image.size());
          }, "The product's bytes as filed (heading and message)")
      .def("decode", &Decode, "The product decoded (a Decoded); ValueError when it does not decode")
      .def("__repr__", &ProductText);

  py::class_<VolumeFile>(module, "VolumeFile", "An open .jx4 file.")
      .def_property_readonly("path", [](const VolumeFile& v) { return v.file->path; })
      .def_property_readonly("station", [](const VolumeFile& v) { return StationOf(v.header); },
                             "The station id, e.g. 'ktlx'")
      .def_property_readonly("time", [](const VolumeFile& v) { return UtcTime(v.header.volumeTime); },
                             "The volume time, an aware datetime in UTC")
      .def_readonly("well_formed", &VolumeFile::wellFormed,
                    "False when the index is usable but the file is damaged (see verify)")
      .def_readonly("products", &VolumeFile::products, "The products, in index order")
      .def("verify", &Verify, py::arg("deep") = false,
           "What is wrong with the file, as jx4 verify says it (an empty list: sound); with "
           "deep, every image is decoded too")
      .def("close", [](VolumeFile& v) { v.file->reader.reset(); })
      .def("__enter__", [](VolumeFile& v) -> VolumeFile& { return v; }, py::return_value_policy::reference)
      .def("__exit__", [](VolumeFile& v, py::args) { v.file->reader.reset(); })
      .def("__len__", [](const VolumeFile& v) { return v.products.size(); })
      .def("__iter__", [](const VolumeFile& v) { return py::iter(py::cast(v.products)); })
      .def("__repr__", [](const VolumeFile& v) {
        return "<jx4.VolumeFile '" + v.file->path + "' " + StationOf(v.header) + " " +
               IsoTime(v.header.volumeTime) + ", " + std::to_string(v.products.size()) + " products>";
      });

  py::class_<Scan>(module, "Scan", "The products of a collection, one after the other.")
      .def("__iter__", [](Scan& s) -> Scan& { return s; }, py::return_value_policy::reference)
      .def("__next__", &Scan::Next);

  module.def("open", [](const py::object& path) { return OpenVolumeFile(PathText(path)); },
             py::arg("path"),
             "Opens a .jx4 file. OSError when it cannot be read; ValueError when it is not a .jx4 "
             "file whose index can be read (an empty one, someone else's file).");
  module.def("scan", &StartScan, py::arg("paths"), py::kw_only(), py::arg("only") = py::none(),
             py::arg("stations") = py::none(), py::arg("time_from") = py::none(),
             py::arg("time_to") = py::none(),
             R"(The products of the .jx4 files in folders (walked) and files, file after file.

only: categories; stations: station ids; time_from / time_to: volume times
(datetime, date or ISO 8601 text, UTC), as jx4 list takes them. A file that
cannot be opened is skipped with a RuntimeWarning.)");
}

}  // namespace nimbrel::python
