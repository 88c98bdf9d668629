// Figures of the Level III decoder and renderer, on the real products:
// - every real product decoded, and the products the npm reader parses
//   decoded beside that reader's parse of the same products (its time is
//   measured inside node around the parse loop: start-up excluded);
// - a super-resolution product (720 radials) decoded, and drawn as a
//   1024-pixel PNG (the picture, then its PNG encoding).
// - the same product as jx4 decode writes it: JSON and CSV text.
// Targets: 10 times the npm reader's speed or more; the super-resolution
// product decoded in under 5 ms and drawn to a PNG in under 50 ms.
//
//   bench_decode_render [--pictures DIR]   DIR: write a PNG of every product with an image
#include <bzlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "decode/decode_product.h"
#include "jx4/decoded_text.h"
#include "products/framed_product.h"
#include "render/render_png.h"
#include "support/test_env.h"

using namespace nimbrel;

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Product {
  std::string path;
  std::vector<uint8_t> image;
};

std::vector<Product> LoadProducts(const std::string& folder) {
  std::vector<Product> products;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    Product product{entry.path().string(), ReadFileBytes(entry.path().string())};
    if (LooksFramed(product.image.data(), product.image.size())) {
      std::vector<UnframedProduct> unframed = UnframeProducts(product.image.data(), product.image.size());
      if (!unframed.empty()) product.image = unframed.front().image;
    }
    products.push_back(std::move(product));
  }
  std::sort(products.begin(), products.end(),
            [](const Product& a, const Product& b) { return a.path < b.path; });
  return products;
}

// The best of `runs` timings of `work`, in ms.
template <typename Work>
double Best(int runs, Work work) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    Clock::time_point start = Clock::now();
    work();
    best = std::min(best, Milliseconds(Clock::now() - start));
  }
  return best;
}

double DecodeAll(const std::vector<const Product*>& products, int repeats, int* images) {
  ProductDecoder decoder;
  DecodedProduct out;
  *images = 0;
  Clock::time_point start = Clock::now();
  for (int i = 0; i < repeats; ++i) {
    for (const Product* product : products) {
      if (decoder.Decode(product->image.data(), product->image.size(), &out).ok() &&
          out.image != ImageKind::kNone && i == 0) {
        ++*images;
      }
    }
  }
  return Milliseconds(Clock::now() - start) / repeats;
}

// The npm reader's parse of `products`: its time a pass, and the paths it parsed.
bool TimeNpmReader(const std::vector<Product>& products, int repeats, double* ms,
                   std::vector<std::string>* parsed) {
  std::string command = "NIMBREL_NPM_DIR='" NIMBREL_NPM_DIR "' node '" NIMBREL_SOURCE_DIR
                        "/tests/decode/npm_reader.js' time " + std::to_string(repeats);
  for (const Product& product : products) command += " '" + product.path + "'";
  command += " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  std::string output;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  if (pclose(pipe) != 0) return false;
  // {"repeats":R,"ms":T,"files":["path",...]}
  size_t at = output.find("\"ms\":");
  if (at == std::string::npos) return false;
  *ms = std::atof(output.c_str() + at + 5) / repeats;
  size_t list = output.find("\"files\":[");
  if (list == std::string::npos) return false;
  size_t end = output.find(']', list);
  for (size_t at = output.find('"', list + 9); at != std::string::npos && at < end;) {
    size_t close = output.find('"', at + 1);
    if (close == std::string::npos) break;
    parsed->push_back(output.substr(at + 1, close - at - 1));
    at = output.find('"', close + 1);
  }
  return true;
}

void WritePictures(const std::vector<Product>& products, const std::string& folder) {
  std::filesystem::create_directories(folder);
  ProductDecoder decoder;
  DecodedProduct out;
  int written = 0;
  for (const Product& product : products) {
    if (!decoder.Decode(product.image.data(), product.image.size(), &out).ok() ||
        out.image == ImageKind::kNone) {
      continue;
    }
    std::vector<uint8_t> png;
    std::string error;
    if (!RenderProductPng(out, RenderOptions{}, &png, &error)) {
      std::printf("  %s: %s\n", product.path.c_str(), error.c_str());
      continue;
    }
    std::string name = std::filesystem::path(product.path).filename().string() + ".png";
    WriteFileBytes(folder + "/" + name, png);
    ++written;
  }
  std::printf("wrote %d pictures to %s\n", written, folder.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (!HaveTestdata()) {
    std::printf("decode_render: no test data at %s; nothing measured\n", TestdataDir().c_str());
    return 0;
  }
  std::vector<Product> products = LoadProducts(TestdataDir() + "/level3");
  if (argc == 3 && std::strcmp(argv[1], "--pictures") == 0) {
    WritePictures(products, argv[2]);
    return 0;
  }
  size_t bytes = 0;
  std::vector<const Product*> all;
  for (const Product& product : products) {
    all.push_back(&product);
    bytes += product.image.size();
  }
  constexpr int kRepeats = 10;
  int images = 0;
  DecodeAll(all, 1, &images);  // warm up
  double ms = DecodeAll(all, kRepeats, &images);
  std::printf("decode_render: all %zu real products (%.1f MB, %d with an image): %.2f ms a pass, "
              "%.0f products/s, %.0f MB/s\n",
              all.size(), bytes / 1e6, images, ms, all.size() / ms * 1e3, bytes / ms / 1e3);

  double npmMs = 0;
  std::vector<std::string> parsed;
  if (TimeNpmReader(products, kRepeats, &npmMs, &parsed) && !parsed.empty()) {
    std::vector<const Product*> same;
    for (const Product& product : products) {
      if (std::find(parsed.begin(), parsed.end(), product.path) != parsed.end()) same.push_back(&product);
    }
    int sameImages = 0;
    double oursMs = DecodeAll(same, kRepeats, &sameImages);
    std::printf("decode_render: the %zu products the npm reader parses: ours %.2f ms, npm %.2f ms a "
                "pass: %.1f times as fast (target 10)%s\n",
                same.size(), oursMs, npmMs, npmMs / oursMs, npmMs / oursMs >= 10 ? "" : "  MISSED");
  } else {
    std::printf("decode_render: npm reader not run (node or %s/node_modules/nexrad-level-3-data "
                "missing: bash scripts/dev.sh npm)\n", NIMBREL_NPM_DIR);
  }

  const Product* superRes = nullptr;
  for (const Product& product : products) {
    if (product.path.find("LSX_N0B_2022_03_30_15_40_41") != std::string::npos) superRes = &product;
  }
  if (superRes == nullptr) return 0;
  ProductDecoder decoder;
  DecodedProduct out;
  double decodeMs = Best(20, [&] { decoder.Decode(superRes->image.data(), superRes->image.size(), &out); });
  std::printf("decode_render: super-resolution N0B (%d radials x %d gates, %zu bytes bzip2): decoded "
              "in %.2f ms (target 5)%s\n",
              out.radialCount, out.gateCount, superRes->image.size(), decodeMs,
              decodeMs < 5 ? "" : "  MISSED");
  // Where the time goes: libbzip2 inflating the symbology, and the decoder
  // on the same product stored uncompressed.
  std::vector<uint8_t> inflated(out.inflatedSize);
  const size_t header = 30 + 120;
  double inflateMs = Best(20, [&] {
    unsigned int length = static_cast<unsigned int>(inflated.size());
    BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(inflated.data()), &length,
                               reinterpret_cast<char*>(const_cast<uint8_t*>(superRes->image.data() + header)),
                               static_cast<unsigned int>(superRes->image.size() - header), 0, 0);
  });
  std::vector<uint8_t> plain(superRes->image.begin(), superRes->image.begin() + header);
  plain.insert(plain.end(), inflated.begin(), inflated.end());
  uint32_t length = static_cast<uint32_t>(plain.size() - 30);
  for (int i = 0; i < 4; ++i) plain[30 + 8 + i] = static_cast<uint8_t>(length >> (24 - 8 * i));
  DecodedProduct plainOut;
  double plainMs = Best(20, [&] { decoder.Decode(plain.data(), plain.size(), &plainOut); });
  std::printf("decode_render:   of which libbzip2 inflating %zu bytes: %.2f ms; the same product "
              "uncompressed decodes in %.2f ms (%d radials)\n",
              inflated.size(), inflateMs, plainMs, plainOut.radialCount);
  ProductSource source{"ktlx_20220330_154041.jx4", "klsx", 0, 0, "N0B"};
  size_t jsonBytes = 0, csvBytes = 0;
  double jsonMs = Best(10, [&] {
    TextOutput text;
    WriteProductJson(source, out, DecodeResult{}, &text);
    jsonBytes = text.text().size();
  });
  double csvMs = Best(5, [&] {
    TextOutput text;
    WriteProductCsv(source, out, &text);
    csvBytes = text.text().size();
  });
  std::printf("decode_render:   as jx4 decode writes it: JSON %.1f MB in %.2f ms, CSV %.1f MB in %.2f ms\n",
              jsonBytes / 1e6, jsonMs, csvBytes / 1e6, csvMs);
  Picture picture;
  std::vector<uint8_t> png;
  std::string error;
  RenderOptions options;
  double drawMs = Best(10, [&] { RenderProduct(out, options, &picture, &error); });
  double encodeMs = Best(10, [&] { EncodePng(picture, options.pngCompression, &png, &error); });
  double totalMs = Best(10, [&] { RenderProductPng(out, options, &png, &error); });
  std::printf("decode_render: drawn to a %d-pixel PNG in %.2f ms (picture %.2f ms, PNG %.2f ms, %zu "
              "bytes) (target 50)%s\n",
              options.size, totalMs, drawMs, encodeMs, png.size(), totalMs < 50 ? "" : "  MISSED");
  return 0;
}
