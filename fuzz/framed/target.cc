// Takes arbitrary bytes apart as a framed feed file (behind a frame start,
// so that the splitter always runs). Checks: each product given as good is
// no larger than the product limit and not empty; a product given up holds
// no bytes; nothing is read outside the input (the sanitizers watch).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "products/framed_product.h"

using namespace nimbrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::vector<uint8_t> file = {0x01, '\r', '\r', '\n'};
  file.insert(file.end(), data, data + size);
  for (const UnframedProduct& product : UnframeProducts(file.data(), file.size())) {
    bool good = !product.problem.has_value();
    if (good && (product.image.empty() || product.image.size() > static_cast<size_t>(kMaxProductSize))) {
      std::abort();
    }
    if (!good && !product.image.empty()) std::abort();
  }
  return 0;
}
