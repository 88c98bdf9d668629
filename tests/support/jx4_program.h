// For tests of jx4's commands run as the built program: a fixture that runs
// jx4 in a temporary folder, and .jx4 files of built products with an image
// of every kind and of real products converted from the shared test data.
// Header only: the tests include it, the support library does not.
#ifndef NIMBREL_TESTS_SUPPORT_JX4_PROGRAM_H_
#define NIMBREL_TESTS_SUPPORT_JX4_PROGRAM_H_

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/symbology_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

struct Ran {
  int status;
  std::string out;
  std::string err;
};

// A path as one argument of a command line (paths here hold no quotes).
inline std::string Quote(const std::string& text) { return "\"" + text + "\""; }

// Runs jx4 with `arguments` (quoted by the caller; POSIX shell syntax such
// as pipes allowed) in a fresh folder.
class Jx4Program : public ::testing::Test {
 protected:
  Ran Jx4(const std::string& arguments) {
    ProgramRun run;
    run.arguments = arguments;
    run = RunProgram(JX4_BINARY, dir_.path(), run);
    return {run.status, run.output, run.errors};
  }
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(WriteFileBytes(dir_.File(name), bytes));
  }
  std::string Path(const std::string& name) const { return dir_.File(name); }

  // Converts the shared Level III files into the folder `folder`; their
  // .jx4 file names, sorted (none without the data).
  std::vector<std::string> ConvertRealProducts(const std::string& folder) {
    Ran run = Jx4("convert -q -o " + folder + " " + Quote(TestdataDir() + "/level3"));
    EXPECT_LE(run.status, 1) << run.err;
    return ListVolumeFiles(Path(folder));
  }

  TempDir dir_;
};

// The products of ImageProductsVolume, in index order: product id and image.
// N0R (run-length radials), N0Q (digital radials, bzip2), NCR (run-length
// raster), NST (a text packet: no image), and id 1531 holding a product of
// category N0B (code 153, a category the catalogue lacks; digital radials).
inline std::vector<std::pair<uint32_t, std::vector<uint8_t>>> ImageProducts() {
  std::array<uint16_t, 16> reflectivity{0x8002};
  for (size_t i = 1; i < 16; ++i) reflectivity[i] = static_cast<uint16_t>(5 * i);
  auto make = [](const char* category, int16_t code, const std::array<uint16_t, 16>& thresholds,
                 bool compress, const Bytes& symbology) {
    ImageProductFields made;
    made.fields.category = category;
    made.fields.messageCode = code;
    made.thresholds = thresholds;
    made.parameters[2] = 5;  // elevation 0.5 degrees
    made.compress = compress;
    return BuildImageProduct(made, symbology);
  };
  std::vector<std::vector<uint8_t>> rows(24, std::vector<uint8_t>(24, 0));
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < rows[r].size(); ++c) rows[r][c] = static_cast<uint8_t>((r + c) % 16);
  }
  const std::array<uint16_t, 16> digital{0xFEC0, 5, 254};  // -32 dBZ in steps of 0.5
  return {
      {1, make("N0R", 19, reflectivity, false,
               SymbologyBlock({{RunLengthRadialPacket(40, MakeRadials(36, 40, 16, 0.5f, 1))}}))},
      {941, make("N0Q", 94, digital, true,
                 SymbologyBlock({{DigitalRadialPacket(60, MakeRadials(72, 60, 256, 0, 2))}}))},
      {14, make("NCR", 37, reflectivity, false, SymbologyBlock({{RasterPacket(0xBA07, rows)}}))},
      {24, make("NST", 58, {}, false, SymbologyBlock({{TextPacket("STORM A1")}}))},
      {1531, make("N0B", 153, digital, true,
                  SymbologyBlock({{DigitalRadialPacket(80, MakeRadials(720, 80, 256, 0, 3))}}))},
  };
}

// A .jx4 file of the station ktlx, 2005-07-03 12:03:12 UTC, holding ImageProducts().
inline std::vector<uint8_t> ImageProductsVolume() {
  return BuildVolumeFile("ktlx", 1120392192, ImageProducts());
}

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_JX4_PROGRAM_H_
