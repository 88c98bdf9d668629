// jx4 render: the selected products of .jx4 files drawn as plan-position
// pictures (render/render_png.h): one PNG file (-o NAME.png, when one
// product is selected), or a PNG per product in a folder (-o DIR, the
// current folder by default), named after its .jx4 file and its category,
// e.g. ktlx_20050703_120312_N0Q.png. Existing files are never overwritten.
// A product without an image is not drawn and says why. Exit status 0 when
// every selected product with an image was drawn and written, 1 when one
// was not, a product named by --id or --category has no image, nothing was
// drawn, or a file could not be read or is damaged; 2 for a wrong command
// line, or -o NAME.png with other than one selected product. A build
// without the PNG library says that it cannot draw, with status 1.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "decode/decode_product.h"
#include "jx4/command.h"
#include "jx4/new_file.h"
#include "jx4/selection.h"
#include "jx4/volume_files.h"
#include "platform/file_query.h"
#include "platform/path.h"
#include "render/render_png.h"

namespace nimbrel {

namespace {

struct RenderCommandOptions {
  SelectionOptions selection;
  std::string output = ".";
  int size = 1024;
  bool verbose = false;
  std::vector<std::string> files;
};

#if defined(NIMBREL_WITH_RENDER)

// Whether -o names one picture: a name ending in .png that is not a folder.
bool NamesOnePicture(const std::string& output) {
  if (output.size() < 4) return false;
  std::string suffix = output.substr(output.size() - 4);
  for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return suffix == ".png" && QueryPath(output.c_str()).kind != PathKind::kDirectory;
}

// The picture's name in a folder: the .jx4 file's stem, the product's
// category (the catalogue's, else its image's when that is 3 letters or
// digits, else its product id) and ".png".
std::string PictureName(const StoredProduct& stored, const DecodedProduct& product) {
  std::string category;
  if (const ProductEntry* row = CatalogueRow(stored.productId)) {
    category = row->categoryCode;
  } else if (std::all_of(product.category, product.category + 3,
                         [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; })) {
    category = product.category;
  } else {
    category = std::to_string(stored.productId);
  }
  return VolumeStem(stored.path) + "_" + category + ".png";
}

class Drawing {
 public:
  explicit Drawing(const RenderCommandOptions& options) : options_(options) {
    render_.size = options.size;
  }

  int Run() {
    std::string error;
    if (!selection_.Resolve(options_.selection, &error)) {
      PrintError("%s", error.c_str());
      return kExitUsage;
    }
    return NamesOnePicture(options_.output) ? ToOneFile() : ToFolder();
  }

 private:
  // Makes the output folder when it is missing and opens it.
  bool OpenFolder(const std::string& path) {
    return PrepareOutputFolder(
        path, [this](const char* at) { return (folder_ = OpenDiskFolder(at)) != nullptr; });
  }

  int ToFolder() {
    if (!OpenFolder(options_.output)) return kExitTrouble;
    int64_t matched = ForEachSelected(options_.files, selection_, &trouble_,
                                      [&](const StoredProduct& stored) { Draw(stored, ""); });
    return Done(matched);
  }

  // The one selected product into the file -o names.
  int ToOneFile() {
    struct Kept {
      std::string path;
      VolumeFileHeader header;
      int32_t entry = 0;
      uint32_t productId = 0;
      std::vector<uint8_t> image;
    } kept;
    int64_t matched = ForEachSelected(options_.files, selection_, &trouble_,
                                      [&](const StoredProduct& stored) {
      if (kept.path.empty()) kept = {stored.path, stored.header, stored.entry, stored.productId, stored.image};
    });
    if (matched != 1) {
      PrintError("-o '%s' names one picture, but %lld products match; choose one with --id or "
                 "--category, or give a folder",
                 options_.output.c_str(), static_cast<long long>(matched));
      return kExitUsage;
    }
    const std::string& target = options_.output;
    std::string name = BaseName(target.c_str());
    std::string folder = target.substr(0, target.size() - name.size());
    if (!OpenFolder(folder.empty() ? "." : folder)) return kExitTrouble;
    Draw({kept.path, kept.header, kept.entry, kept.productId, kept.image}, name);
    return Done(matched);
  }

  // Decodes, draws and writes one product, as `name` in the folder (or
  // under its own name when `name` is empty).
  void Draw(const StoredProduct& stored, const std::string& name) {
    std::string place = ProductPlace(stored);
    DecodeResult result = decoder_.Decode(stored.image.data(), stored.image.size(), &product_);
    if (!result.ok()) {
      PrintError("%s does not decode: %s; not drawn", place.c_str(),
                 DescribeDecodeResult(result).c_str());
      trouble_ = true;
      return;
    }
    if (product_.image == ImageKind::kNone) {
      PrintError("%s has no image to draw: %s", place.c_str(), product_.noImageReason);
      trouble_ = trouble_ || !selection_.everything();
      return;
    }
    ++withImage_;
    std::string error;
    if (!RenderProductPng(product_, render_, &png_, &error)) {
      PrintError("%s cannot be drawn: %s", place.c_str(), error.c_str());
      trouble_ = true;
      return;
    }
    std::string file = name.empty() ? PictureName(stored, product_) : name;
    std::string target = name.empty() ? PathInFolder(options_.output, file) : options_.output;
    std::string why;
    if (!drawn_.Write(folder_.get(), file, target, place, png_, &why)) {
      PrintError("%s: %s", place.c_str(), why.c_str());
      trouble_ = true;
      return;
    }
    if (options_.verbose) std::printf("%s\n", target.c_str());
  }

  int Done(int64_t matched) {
    if (matched == 0) {
      PrintError(selection_.everything() ? "no product in the files: nothing was drawn"
                                         : "no product in the files matches the selection");
      trouble_ = true;
    } else if (withImage_ == 0 && !trouble_) {
      PrintError("nothing was drawn: no product in the files has an image");
      trouble_ = true;
    }
    return Finish(trouble_);
  }

  const RenderCommandOptions& options_;
  ProductSelection selection_;
  RenderOptions render_;
  ProductDecoder decoder_;
  DecodedProduct product_;
  std::vector<uint8_t> png_;
  std::unique_ptr<StoreFolder> folder_;
  NewFiles drawn_;
  int64_t withImage_ = 0;                     // selected products that have an image
  bool trouble_ = false;
};

int RunRender(const RenderCommandOptions& options) { return Drawing(options).Run(); }

#else

int RunRender(const RenderCommandOptions&) {
  PrintError("this build of jx4 cannot draw pictures: it was built without the PNG library "
             "(libpng); 'jx4 decode' gives the data");
  return kExitTrouble;
}

#endif

}  // namespace

Command AddRenderCommand(CLI::App& jx4) {
  auto options = std::make_shared<RenderCommandOptions>();
  CLI::App* app = jx4.add_subcommand("render", "Draw products of .jx4 files as PNG pictures");
  app->description(
      "Draws each selected product as a plan-position picture with the radar at its\n"
      "centre: the product's usual colour scale, a legend with its units, range rings\n"
      "and a title (station, product, elevation, volume time). With -o NAME.png the\n"
      "one selected product goes into that file; otherwise each product goes into the\n"
      "output folder as <jx4 file>_<category>.png, e.g. ktlx_20050703_120312_N0Q.png.\n"
      "Existing files are never overwritten. A product without an image (text,\n"
      "tables, storm tracks) is not drawn, and a line says why. Without --id and\n"
      "--category, every product is drawn.");
  AddSelectionOptions(app, &options->selection);
  app->add_option("-o,--output", options->output,
                  "Output folder (created if missing), or NAME.png for one product")
      ->capture_default_str();
  app->add_option("--size", options->size, "Width and height of each picture in pixels")
      ->type_name("PIXELS")
      ->check(CLI::Range(kMinPictureSize, kMaxPictureSize))
      ->capture_default_str();
  app->add_flag("-v,--verbose", options->verbose, "Print the path of each picture written");
  AddFiles(app, &options->files);
  app->footer("Exit status: 0 when every selected product with an image was drawn and\n"
              "written; 1 when one was not (the others are still drawn), a product chosen by\n"
              "--id or --category has no image, nothing was drawn, or a file could not be read\n"
              "or is damaged; 2 for a wrong command line, or -o NAME.png with other than one\n"
              "selected product.");
  return {app, [options] { return RunRender(*options); }};
}

}  // namespace nimbrel
