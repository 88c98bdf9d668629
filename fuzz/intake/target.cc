// Feeds arbitrary bytes to the product intake as one product image. Output
// files land in a private temporary folder that is emptied after each input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../scratch_folder.h"
#include "output/store_io.h"
#include "output/volume_format.h"
#include "products/product_intake.h"

using namespace nimbrel;

namespace {

ScratchFolder scratch;
std::string& folderPath = scratch.path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scratch = MakeScratchFolder("intake");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  // An exact-size copy, so that any read past the image is caught.
  std::vector<uint8_t> image(data, data + size);
  Reporter silent;
  RunContext context(*scratch.folder, silent, "");
  Outcome outcome = ProcessProduct(context, "KTLX_SDUS54_N0RTLX_200507031203",
                                   size == 0 ? nullptr : image.data(), static_cast<int32_t>(size));
  if ((outcome == Outcome::kStored) != (context.stats.productsStored == 1)) std::abort();
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folderPath, error)) {
    std::vector<uint8_t> file(static_cast<size_t>(entry.file_size(error)));
    // Whatever was stored must be a whole image behind a well-formed header.
    if (!file.empty() && file.size() != kVolumeHeaderSize + size) std::abort();
    std::filesystem::remove(entry.path(), error);
  }
  return 0;
}
