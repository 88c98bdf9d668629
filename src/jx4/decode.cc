// jx4 decode: the selected products of .jx4 files decoded, as JSON Lines
// (one object per product) or CSV (one row per gate or cell) on standard
// output (jx4/decoded_text.h). Exit status 0 when every selected product
// decoded, 1 when one did not, a file could not be read or is damaged, or
// --id and --category matched nothing, 2 for a wrong command line.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "decode/decode_product.h"
#include "jx4/command.h"
#include "jx4/decoded_text.h"
#include "jx4/selection.h"
#include "jx4/volume_files.h"

namespace nimbrel {

namespace {

struct DecodeOptions {
  SelectionOptions selection;
  std::string format = "json";
  std::vector<std::string> files;
};

// The product's category: the catalogue's for its id, else its image's.
std::string CategoryOf(const StoredProduct& stored, const DecodedProduct& product) {
  if (const ProductEntry* row = CatalogueRow(stored.productId)) return row->categoryCode;
  return product.category;
}

int RunDecode(const DecodeOptions& options) {
  ProductSelection selection;
  std::string error;
  if (!selection.Resolve(options.selection, &error)) {
    PrintError("%s", error.c_str());
    return kExitUsage;
  }
  const bool csv = options.format == "csv";
  TextOutput out(stdout);
  if (csv) out.text() = kCsvHeader;
  ProductDecoder decoder;
  DecodedProduct product;
  bool trouble = false;
  int64_t matched = ForEachSelected(options.files, selection, &trouble, [&](const StoredProduct& stored) {
    DecodeResult result = decoder.Decode(stored.image.data(), stored.image.size(), &product);
    if (!result.ok()) {
      PrintError("%s does not decode: %s", ProductPlace(stored).c_str(),
                 DescribeDecodeResult(result).c_str());
      trouble = true;
    }
    ProductSource source{stored.path, StationOf(stored.header), stored.entry, stored.productId,
                         CategoryOf(stored, product)};
    if (!csv) {
      WriteProductJson(source, product, result, &out);
    } else if (result.ok()) {
      if (product.image == ImageKind::kNone) {
        PrintError("%s has no image (%s): no rows", ProductPlace(stored).c_str(),
                   product.noImageReason);
      }
      WriteProductCsv(source, product, &out);
    }
  });
  out.Spill(true);
  if (matched == 0 && !selection.everything()) {
    PrintError("no product in the files matches the selection");
    trouble = true;
  }
  return Finish(trouble);
}

}  // namespace

Command AddDecodeCommand(CLI::App& jx4) {
  auto options = std::make_shared<DecodeOptions>();
  CLI::App* app = jx4.add_subcommand("decode", "Decode products of .jx4 files into data");
  app->description(
      "Decodes each selected product's image and prints its data: with --format json\n"
      "(the default) one JSON object per product and line, with the header fields,\n"
      "units, packets, gate ranges, each radial's azimuth and width (or the raster's\n"
      "rows and columns), the level table, and per radial or row the stored levels and\n"
      "the physical values (null for no data, below threshold and range folded); with\n"
      "--format csv a header line and one row per gate or cell. Without --id and\n"
      "--category, every product is decoded.");
  AddSelectionOptions(app, &options->selection);
  app->add_option("--format", options->format, "json (one object per product and line) or csv")
      ->check(CLI::IsMember({"json", "csv"}))
      ->capture_default_str();
  AddFiles(app, &options->files);
  app->footer("Exit status: 0 when every selected product decoded; 1 when one did not (it is\n"
              "named; the others are still decoded), a file could not be read or is damaged,\n"
              "or --id and --category matched no product; 2 for a wrong command line.");
  return {app, [options] { return RunDecode(*options); }};
}

}  // namespace nimbrel
