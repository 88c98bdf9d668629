// jx4 render run as the built program: a valid PNG of the asked size for
// every decodable product (built ones of every image kind, every real
// product stored in a .jx4 file), named after its file and category; a
// product without an image refused with its reason; the exit statuses. A
// build without the PNG library says that it cannot draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "decode/decode_product.h"
#include "platform/path.h"
#include "products/catalogue.h"
#include "support/jx4_program.h"

#if defined(NIMBREL_WITH_RENDER)
#include <png.h>
#endif

namespace nimbrel {

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr char kStem[] = "ktlx_20050703_120312";

}  // namespace

#if defined(NIMBREL_WITH_RENDER)

namespace {

// Whether `path` is a whole, valid PNG (every chunk's CRC and the image
// data inflate) of `size` x `size` pixels.
bool IsPngOfSize(const std::string& path, int size) {
  Bytes bytes = ReadFileBytes(path);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  bool read = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
  bool sized = image.width == static_cast<png_uint_32>(size) && image.height == static_cast<png_uint_32>(size);
  png_image_free(&image);
  return read && sized;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (!fs::is_directory(folder)) return names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST_F(Jx4Program, RenderDrawsEveryDecodableRealProduct) {
  NIMBREL_REQUIRE_TESTDATA();
  std::vector<std::string> files = ConvertRealProducts("real");
  ASSERT_GT(files.size(), 10u);
  std::string all;
  for (const std::string& file : files) all += " real/" + file;
  Ran run = Jx4("render -o pictures --size 320" + all);
  EXPECT_EQ(run.status, 0) << run.err;
  ProductDecoder decoder;
  DecodedProduct product;
  size_t drawn = 0, refused = 0;
  for (const std::string& file : files) {
    VolumeContents contents = ReadVolumeFile(Path("real/" + file));
    for (size_t i = 0; i < contents.entries.size(); ++i) {
      const StoredImage& stored = contents.entries[i];
      ASSERT_TRUE(decoder.Decode(stored.image.data(), stored.image.size(), &product).ok()) << file;
      std::string stem = file.substr(0, file.size() - 4);
      std::string picture = Path("pictures/" + stem + "_" +
                                 FindProductById(static_cast<int32_t>(stored.productId))->categoryCode + ".png");
      std::string place = "'real/" + file + "' entry " + std::to_string(i);
      if (product.image == ImageKind::kNone) {
        EXPECT_FALSE(fs::exists(picture)) << picture;
        EXPECT_NE(run.err.find(place + " (id " + std::to_string(stored.productId) + ", "), std::string::npos)
            << place;
        ++refused;
      } else {
        EXPECT_TRUE(IsPngOfSize(picture, 320)) << picture;
        ++drawn;
      }
    }
  }
  EXPECT_EQ(FilesIn(Path("pictures")).size(), drawn);
  EXPECT_EQ(static_cast<size_t>(std::count(run.err.begin(), run.err.end(), '\n')), refused) << run.err;
  EXPECT_GT(drawn, 80u);
  std::printf("%zu real products drawn, %zu without an image refused\n", drawn, refused);
}

TEST_F(Jx4Program, RenderNamesItsPicturesAndSizesThem) {
  const std::string file = std::string(kStem) + ".jx4";
  Write(file, ImageProductsVolume());
  Ran run = Jx4("render -v -o pictures " + file);
  EXPECT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> names = {std::string(kStem) + "_N0B.png", std::string(kStem) + "_N0Q.png",
                                          std::string(kStem) + "_N0R.png", std::string(kStem) + "_NCR.png"};
  EXPECT_EQ(FilesIn(Path("pictures")), names);
  for (const std::string& name : names) {
    EXPECT_TRUE(IsPngOfSize(Path("pictures/" + name), 1024)) << name;
    EXPECT_NE(run.out.find("pictures" + std::string(1, kPathSeparator) + name + "\n"), std::string::npos)
        << run.out;
  }
  EXPECT_EQ(run.err,
            "jx4: '" + file + "' entry 3 (id 24, NST) has no image to draw: the symbology block holds no image packet\n");
  for (int size : {64, 333, 2048}) {
    std::string name = "n0q-" + std::to_string(size) + ".PNG";
    run = Jx4("render --category N0Q --size " + std::to_string(size) + " -o sub/" + name + " " + file);
    EXPECT_EQ(run.status, 0) << size << run.err;
    EXPECT_TRUE(IsPngOfSize(Path("sub/" + name), size)) << size;
  }
}

TEST_F(Jx4Program, RenderRefusalsAndExitStatuses) {
  Write("built.jx4", ImageProductsVolume());
  for (const char* folder : {"one", "other"}) {  // two files of the same name
    fs::create_directory(Path(folder));
    Write(std::string(folder) + "/" + kStem + ".jx4", ImageProductsVolume());
  }
  Write("text.jx4", BuildVolumeFile("ktlx", 1120392192, {ImageProducts()[3]}));
  Bytes damaged = ImageProductsVolume();
  std::vector<std::pair<uint32_t, Bytes>> products = ImageProducts();
  damaged[980 + products[0].second.size() + 160] ^= 0xFF;  // inside N0Q's bzip2 symbology
  Write("damaged.jx4", damaged);
  const std::string out = "out" + std::string(1, kPathSeparator);  // jx4 names paths the system's way
  const struct {
    const char* arguments;
    int status;
    std::string error;  // the first line on standard error
    size_t pictures;    // files in out/ afterwards
  } cases[] = {
      {"render -o out --category NST built.jx4", 1,
       "jx4: 'built.jx4' entry 3 (id 24, NST) has no image to draw: the symbology block holds no image packet\n", 0},
      {"render -o out text.jx4", 1,
       "jx4: 'text.jx4' entry 0 (id 24, NST) has no image to draw: the symbology block holds no image packet\n", 0},
      {"render -o out/one.png built.jx4", 2,
       "jx4: -o 'out/one.png' names one picture, but 5 products match; choose one with --id or --category, "
       "or give a folder\n", 0},
      {"render -o out --category XYZ built.jx4", 1, "jx4: no product in the files matches the selection\n", 0},
      {"render -o out damaged.jx4", 1,
       "jx4: 'damaged.jx4' entry 1 (id 941, N0Q) does not decode: compressed symbology does not inflate at "
       "message byte 120; not drawn\n", 3},
      {"render -o out --id 1 one/ktlx_20050703_120312.jx4 other/ktlx_20050703_120312.jx4", 1,
       "jx4: 'other/ktlx_20050703_120312.jx4' entry 0 (id 1, N0R): '" + out + "ktlx_20050703_120312_N0R.png' was "
       "written from 'one/ktlx_20050703_120312.jx4' entry 0 (id 1, N0R) already; not overwritten\n", 1},
      {"render -o out --size 63 built.jx4", 2, "", 0},
      {"render -o out --size 8193 built.jx4", 2, "", 0},
      {"render", 2, "", 0},
  };
  for (const auto& c : cases) {
    fs::remove_all(Path("out"));
    Ran run = Jx4(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments;
    if (!c.error.empty()) {
      EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), c.error) << c.arguments;
    }
    EXPECT_EQ(FilesIn(Path("out")).size(), c.pictures) << c.arguments;
  }
  // An existing file is never overwritten.
  ASSERT_TRUE(WriteFileBytes(Path("mine.png"), std::string("mine")));
  Ran run = Jx4("render --id 1 -o mine.png built.jx4");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "jx4: 'built.jx4' entry 0 (id 1, N0R): 'mine.png' exists already; not overwritten\n");
  EXPECT_EQ(ReadFileBytes(Path("mine.png")), Bytes({'m', 'i', 'n', 'e'}));
}

#else  // a build without libpng

TEST_F(Jx4Program, RenderSaysThisBuildCannotDraw) {
  Write("built.jx4", ImageProductsVolume());
  Ran run = Jx4("render built.jx4");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("this build of jx4 cannot draw pictures"), std::string::npos) << run.err;
  EXPECT_EQ(Jx4("render --help").status, 0);
}

#endif

}  // namespace nimbrel
