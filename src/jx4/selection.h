// Which stored products a command works on, and a walk over them: the
// products of the ids and category codes given (--id N and --category CCC,
// each repeatable; a product is selected when any of them matches), or every
// product when none is given.
//
// A category matches through the catalogue's product id when the catalogue
// lists it, and also by the image's own category code (heading bytes 21-23),
// so that a category the catalogue lacks (N0B, say) can be chosen too.
//
// Invariants: a resolved selection holds ids of 0..UINT32_MAX and category
// codes of exactly 3 letters or digits, in capitals. The walk reads each
// .jx4 file's index once and an image only when it is needed to judge it or
// to hand it on; errors go to standard error as "jx4: ...", naming the file.
#ifndef NIMBREL_JX4_SELECTION_H_
#define NIMBREL_JX4_SELECTION_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "output/volume_format.h"

namespace CLI {
class App;
}

namespace nimbrel {

struct SelectionOptions {
  std::vector<int64_t> ids;
  std::vector<std::string> categories;
};

// Adds --id N and --category CCC to `app`.
void AddSelectionOptions(CLI::App* app, SelectionOptions* options);

class ProductSelection {
 public:
  // False, with `error` saying why, when a category is not 3 letters or digits.
  bool Resolve(const SelectionOptions& options, std::string* error);

  // Whether nothing was asked for: every product is selected.
  bool everything() const { return ids_.empty() && categories_.empty(); }

  // Whether the product of `productId` is selected by its id or its
  // catalogued category alone.
  bool MatchesId(uint32_t productId) const;
  // Whether a product that MatchesId does not select may still be selected
  // by its image: categories were given.
  bool NeedsImage() const { return !categories_.empty(); }
  // Whether it is selected by its id, its catalogued category or its image's
  // category code.
  bool Matches(uint32_t productId, const uint8_t* image, size_t size) const;

 private:
  std::vector<uint32_t> ids_;
  std::vector<std::array<char, 4>> categories_;
};

// One selected product, as the walk hands it on.
struct StoredProduct {
  const std::string& path;        // the .jx4 file
  const VolumeFileHeader& header;
  int32_t entry;
  uint32_t productId;
  const std::vector<uint8_t>& image;
};

// Calls `visit` for each selected product of `files` (folders walked for
// .jx4 files, a volume's further files taken with its first), file after
// file, in index order. A file that cannot be read or is damaged, and an image that
// cannot be read, are said and set `trouble`; the rest is still visited.
// Returns the number of products visited.
int64_t ForEachSelected(const std::vector<std::string>& files, const ProductSelection& selection,
                        bool* trouble, const std::function<void(const StoredProduct&)>& visit);

// "'ktlx_20050703_120312.jx4' entry 3 (id 941, N0Q)": a product in messages.
std::string ProductPlace(const std::string& path, int32_t entry, uint32_t productId);
std::string ProductPlace(const StoredProduct& product);

}  // namespace nimbrel

#endif  // NIMBREL_JX4_SELECTION_H_
