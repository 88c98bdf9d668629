#include "jx4/selection.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "jx4/command.h"
#include "jx4/volume_files.h"
#include "products/catalogue.h"
#include "products/product_intake.h"

namespace nimbrel {

void AddSelectionOptions(CLI::App* app, SelectionOptions* options) {
  app->add_option("--id", options->ids, "Select the products of this product id (repeatable)")
      ->type_name("N")
      ->allow_extra_args(false)
      ->check(CLI::Range(int64_t{0}, int64_t{UINT32_MAX}));
  app->add_option("--category", options->categories,
                  "Select the products of this category code, e.g. N0Q or N0B (repeatable)")
      ->type_name("CCC")
      ->allow_extra_args(false);
}

bool ProductSelection::Resolve(const SelectionOptions& options, std::string* error) {
  ids_.clear();
  categories_.clear();
  for (int64_t id : options.ids) ids_.push_back(static_cast<uint32_t>(id));
  for (const std::string& code : options.categories) {
    bool fits = code.size() == 3 && std::all_of(code.begin(), code.end(), [](char c) {
                  return std::isalnum(static_cast<unsigned char>(c)) != 0;
                });
    if (!fits) {
      *error = "'" + Printable(code.data(), code.size()) +
               "' is not a category code: 3 letters or digits, e.g. N0Q";
      return false;
    }
    std::array<char, 4> upper{};
    for (size_t i = 0; i < 3; ++i) {
      upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(code[i])));
    }
    categories_.push_back(upper);
    int32_t id = FindProductByCode(upper.data());
    if (id != kNoProductId) ids_.push_back(static_cast<uint32_t>(id));
  }
  return true;
}

bool ProductSelection::MatchesId(uint32_t productId) const {
  return everything() || std::find(ids_.begin(), ids_.end(), productId) != ids_.end();
}

bool ProductSelection::Matches(uint32_t productId, const uint8_t* image, size_t size) const {
  if (MatchesId(productId)) return true;
  if (size < static_cast<size_t>(kProductCodesSize)) return false;
  char category[4], site[4];
  ReadProductCodes(image, category, site);
  for (const std::array<char, 4>& code : categories_) {
    bool same = true;
    for (size_t i = 0; i < 3; ++i) {
      same = same && std::toupper(static_cast<unsigned char>(category[i])) == code[i];
    }
    if (same) return true;
  }
  return false;
}

int64_t ForEachSelected(const std::vector<std::string>& files, const ProductSelection& selection,
                        bool* trouble, const std::function<void(const StoredProduct&)>& visit) {
  int64_t visited = 0;
  std::vector<uint8_t> image;
  // Folders walked and a volume's further files taken, as list and verify take them.
  FileArguments arguments;
  arguments.files = files;
  std::vector<std::string> named;
  Selection everything;
  ReadArguments(arguments, &named, &everything, trouble);
  for (const std::string& path : named) {
    VolumeReader reader;
    if (!OpenIndex(path, &reader, trouble)) continue;
    const VolumeFileHeader& header = reader.header();
    for (int32_t i = 0; i < reader.entryCount(); ++i) {
      uint32_t id = header.entries[i].productId;
      bool byId = selection.MatchesId(id);
      if (!byId && !selection.NeedsImage()) continue;
      if (!reader.ReadImage(i, &image)) {
        PrintError("'%s' entry %d (id %u): the image cannot be read", path.c_str(), i, id);
        *trouble = true;
        continue;
      }
      if (!byId && !selection.Matches(id, image.data(), image.size())) continue;
      ++visited;
      visit({path, header, i, id, image});
    }
  }
  return visited;
}

std::string ProductPlace(const std::string& path, int32_t entry, uint32_t productId) {
  std::string place = "'" + path + "' entry " + std::to_string(entry) + " (id " + std::to_string(productId);
  if (const ProductEntry* row = CatalogueRow(productId)) {
    place += ", ";
    place += row->categoryCode;
  }
  return place + ")";
}

std::string ProductPlace(const StoredProduct& product) {
  return ProductPlace(product.path, product.entry, product.productId);
}

}  // namespace nimbrel
