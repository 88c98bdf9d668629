#include "products/product_intake.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/console_reporter.h"
#include "support/output_dir.h"
#include "support/product_builder.h"
#include "support/recording_reporter.h"
#include "support/test_env.h"

namespace nimbrel {

namespace {

ProductHeader Decoded(const std::vector<uint8_t>& image, bool* valid) {
  ProductHeader header = {};
  *valid = DecodeProductHeader(image.data(), static_cast<int32_t>(image.size()), &header);
  return header;
}

}  // namespace

TEST(ProductHeader, DecodesEveryFieldFromBigEndian) {
  ProductSpec fields;
  fields.messageCode = 94;
  fields.messageDate = 0x1234;
  fields.messageTime = 86399;
  fields.latitude = -35333;
  fields.longitude = 97278;
  fields.height = -12;
  fields.volumeScanDate = 16438;
  fields.volumeScanTime = 7528;
  fields.generationDate = 16439;
  fields.generationTime = 65537;
  fields.symbologyOffset = 0x00010002;
  fields.tabularOffset = 7;
  fields.bodySize = 70000;
  bool valid;
  ProductHeader header = Decoded(BuildProduct(fields), &valid);
  EXPECT_TRUE(valid);
  EXPECT_EQ(+header.messageCode, 94);
  EXPECT_EQ(+header.productCode, 94);
  EXPECT_EQ(+header.messageDate, 0x1234);
  EXPECT_EQ(+header.messageTime, 86399u);
  EXPECT_EQ(+header.messageLength, 70120u);
  EXPECT_EQ(+header.blockDivider, -1);
  EXPECT_EQ(+header.latitude, -35333);
  EXPECT_EQ(+header.longitude, 97278);
  EXPECT_EQ(+header.height, -12);
  EXPECT_EQ(+header.volumeScanDate, 16438);
  EXPECT_EQ(+header.volumeScanTime, 7528u);
  EXPECT_EQ(+header.generationDate, 16439);
  EXPECT_EQ(+header.generationTime, 65537u);
  EXPECT_EQ(+header.symbologyOffset, 0x00010002u);
  EXPECT_EQ(+header.graphicOffset, 0u);
  EXPECT_EQ(+header.tabularOffset, 7u);
}

TEST(ProductHeader, ValidationRules) {
  struct Case {
    const char* what;
    std::function<void(ProductSpec&)> change;
    bool valid;
  } cases[] = {
      {"sound product", [](ProductSpec&) {}, true},
      {"message code differs from product code", [](ProductSpec& s) { s.productCode = 20; }, false},
      {"message length one short", [](ProductSpec& s) { s.messageLength = 319; }, false},
      {"message length one long", [](ProductSpec& s) { s.messageLength = 321; }, false},
      {"message length counts the heading", [](ProductSpec& s) { s.messageLength = 350; }, false},
      {"generation date 0", [](ProductSpec& s) { s.generationDate = 0; }, false},
      {"volume scan date 0", [](ProductSpec& s) { s.volumeScanDate = 0; }, false},
      {"date of message 0 is not tested", [](ProductSpec& s) { s.messageDate = 0; }, true},
      {"message time 86400", [](ProductSpec& s) { s.messageTime = 86400; }, true},
      {"message time 86401", [](ProductSpec& s) { s.messageTime = 86401; }, false},
      {"generation time 86401", [](ProductSpec& s) { s.generationTime = 86401; }, false},
      {"volume scan time 86400", [](ProductSpec& s) { s.volumeScanTime = 86400; }, true},
      {"volume scan time 86401", [](ProductSpec& s) { s.volumeScanTime = 86401; }, false},
      {"volume scan time negative as signed",
       [](ProductSpec& s) { s.volumeScanTime = 0x80000000u; }, false},
      {"symbology offset above half the length", [](ProductSpec& s) { s.symbologyOffset = 300; }, true},
      {"symbology offset equal to the length", [](ProductSpec& s) { s.symbologyOffset = 320; }, true},
      {"symbology offset beyond the length", [](ProductSpec& s) { s.symbologyOffset = 321; }, false},
      {"graphic offset beyond the length", [](ProductSpec& s) { s.graphicOffset = 321; }, false},
      {"tabular offset beyond the length", [](ProductSpec& s) { s.tabularOffset = 321; }, false},
      {"last volume time that fits (2038-01-19 03:14:07)",
       [](ProductSpec& s) { s.volumeScanDate = 24856; s.volumeScanTime = 11647; }, true},
      {"one second later does not fit",
       [](ProductSpec& s) { s.volumeScanDate = 24856; s.volumeScanTime = 11648; }, false},
      {"day 24857", [](ProductSpec& s) { s.volumeScanDate = 24857; s.volumeScanTime = 0; }, false},
      {"day 65535", [](ProductSpec& s) { s.volumeScanDate = 65535; }, false},
  };
  for (const Case& c : cases) {
    ProductSpec fields;  // 200-byte body: message length 320
    c.change(fields);
    bool valid;
    Decoded(BuildProduct(fields), &valid);
    EXPECT_EQ(valid, c.valid) << c.what;
  }
}

TEST(ProductHeader, ShortImagesAreRejectedWithoutReadingPastThem) {
  // Built exactly to the length under test, so ASan sees any over-read.
  for (int32_t length : {0, 29, 30, 48, 149}) {
    ProductSpec fields;
    std::vector<uint8_t> full = BuildProduct(fields);
    std::vector<uint8_t> image(full.begin(), full.begin() + length);
    ProductHeader header;
    std::memset(&header, 0xAB, sizeof header);
    EXPECT_FALSE(DecodeProductHeader(image.data(), length, &header)) << length;
    EXPECT_EQ(reinterpret_cast<uint8_t*>(&header)[0], 0xAB) << "header touched at " << length;
  }
  // Without a heading the header needs 120 bytes.
  ProductSpec fields;
  fields.withHeading = false;
  fields.messageCode = 19;
  fields.bodySize = -1;
  std::vector<uint8_t> image = BuildProduct(fields);
  ASSERT_EQ(image.size(), 120u);
  image.resize(119);
  ProductHeader header = {};
  EXPECT_FALSE(DecodeProductHeader(image.data(), 119, &header));
}

TEST(ProductHeader, MessageWithoutHeadingIsReadFromByteZero) {
  ProductSpec fields;
  fields.withHeading = false;  // message code 19: first byte 0
  bool valid;
  ProductHeader header = Decoded(BuildProduct(fields), &valid);
  EXPECT_TRUE(valid);
  EXPECT_EQ(+header.messageLength, 320u);
}

TEST(ProductHeader, VolumeTime) {
  struct Case {
    uint32_t date, seconds;
    int32_t time;
  } cases[] = {
      {1, 0, 0},
      {13880, 43200, 1199188800},
      {1, 86400, 86400},
      {0x10001, 5, 5},  // only the low 16 bits of the date count
      {24856, 11647, 2147483647},
  };
  for (const Case& c : cases) EXPECT_EQ(VolumeTime(c.date, c.seconds), c.time) << c.date;
}

// Runs the intake over images into a temporary folder, with the console
// program's reporter writing to a capture.
class Intake : public OutputDir {
 public:
  Intake() { relay.target = &console_; }
  Outcome Run(const std::string& name, const uint8_t* image, int32_t length, std::string* printed) {
    StdoutCapture capture;
    Outcome outcome = ProcessProduct(context, name.c_str(), image, length);
    *printed = capture.Finish();
    return outcome;
  }

 private:
  ConsoleReporter console_;
};

// Every outcome of the intake: what it returns, which test failed, what the
// console program prints for it and whether a file results.
TEST(ProcessProduct, Outcomes) {
  const char kProgress[] = "\rProcessing: x      ";
  struct Case {
    const char* what;
    std::string name;
    std::function<void(ProductSpec&)> change;
    int32_t length;  // -1: the whole image
    Outcome outcome;
    HeaderTest test;
    std::string printed;
  } cases[] = {
      {"sound product", "KTLX_SDUS54_N0RTLX_200507031203", [](ProductSpec&) {}, -1,
       Outcome::kStored, HeaderTest::kNone, "\rProcessing: KTLX_SDUS54_N0RTLX_200507031203      "},
      {"GSM in the name", "KTLX_NXUS64_GSMTLX_200507031203", [](ProductSpec&) {}, -1,
       Outcome::kGsmSkipped, HeaderTest::kNone, ""},
      {"gsm in lower case is not skipped", "x_gsm", [](ProductSpec&) {}, -1, Outcome::kStored,
       HeaderTest::kNone, "\rProcessing: x_gsm      "},
      {"47 bytes", "x", [](ProductSpec&) {}, 47, Outcome::kNotProduct, HeaderTest::kNone, ""},
      {"48 bytes", "x", [](ProductSpec&) {}, 48, Outcome::kHeaderInvalid, HeaderTest::kShortImage,
       kProgress},
      {"unknown category", "x", [](ProductSpec& s) { s.category = "PTA"; }, -1,
       Outcome::kNoCatalogueRow, HeaderTest::kNone, kProgress},
      {"unknown station", "x", [](ProductSpec& s) { s.site = "QQQ"; }, -1, Outcome::kUnknownStation,
       HeaderTest::kNone, std::string(kProgress) + "*** unknown nexrad id: QQQ\n"},
      {"unknown station, case kept, header bad", "x",
       [](ProductSpec& s) { s.site = "qQq"; s.messageLength = 1; }, -1, Outcome::kUnknownStation,
       HeaderTest::kNone, std::string(kProgress) + "*** unknown nexrad id: qQq\n"},
      {"unknown category and station", "x",
       [](ProductSpec& s) { s.category = "ZZZ"; s.site = "QQQ"; }, -1, Outcome::kNoCatalogueRow,
       HeaderTest::kNone, kProgress},
      {"lower-case identifier", "x", [](ProductSpec& s) { s.category = "n0r"; s.site = "tlx"; },
       -1, Outcome::kStored, HeaderTest::kNone, kProgress},
      {"codes differ", "x", [](ProductSpec& s) { s.productCode = 20; }, -1,
       Outcome::kHeaderInvalid, HeaderTest::kCodes, kProgress},
      {"bad length", "x", [](ProductSpec& s) { s.messageLength = 321; }, -1,
       Outcome::kHeaderInvalid, HeaderTest::kLength, kProgress},
      {"generation date 0", "x", [](ProductSpec& s) { s.generationDate = 0; }, -1,
       Outcome::kHeaderInvalid, HeaderTest::kGenerationDate, kProgress},
      {"volume date 0", "x", [](ProductSpec& s) { s.volumeScanDate = 0; }, -1,
       Outcome::kHeaderInvalid, HeaderTest::kVolumeDate, kProgress},
      {"message time 86401", "x", [](ProductSpec& s) { s.messageTime = 86401; }, -1,
       Outcome::kHeaderInvalid, HeaderTest::kMessageTime, kProgress},
      {"generation time 86401", "x", [](ProductSpec& s) { s.generationTime = 86401; }, -1,
       Outcome::kHeaderInvalid, HeaderTest::kGenerationTime, kProgress},
      {"volume time 86401", "x", [](ProductSpec& s) { s.volumeScanTime = 86401; }, -1,
       Outcome::kHeaderInvalid, HeaderTest::kVolumeScanTime, kProgress},
      {"symbology offset", "x", [](ProductSpec& s) { s.symbologyOffset = 100000; }, -1,
       Outcome::kHeaderInvalid, HeaderTest::kSymbologyOffset, kProgress},
      {"graphic offset", "x", [](ProductSpec& s) { s.graphicOffset = 100000; }, -1,
       Outcome::kHeaderInvalid, HeaderTest::kGraphicOffset, kProgress},
      {"tabular offset", "x", [](ProductSpec& s) { s.tabularOffset = 100000; }, -1,
       Outcome::kHeaderInvalid, HeaderTest::kTabularOffset, kProgress},
      {"volume time past 2038", "x", [](ProductSpec& s) { s.volumeScanDate = 24856; s.volumeScanTime = 11648; },
       -1, Outcome::kVolumeTimeOutOfRange, HeaderTest::kNone, kProgress},
  };
  for (const Case& c : cases) {
    Intake intake;
    ProductSpec fields;
    c.change(fields);
    std::vector<uint8_t> image = BuildProduct(fields);
    int32_t length = c.length < 0 ? static_cast<int32_t>(image.size()) : c.length;
    image.resize(static_cast<size_t>(length));
    RecordingReporter recorder;
    intake.relay.target = &recorder;
    std::string ignored;
    EXPECT_EQ(intake.Run(c.name, image.data(), length, &ignored), c.outcome) << c.what;
    ASSERT_EQ(recorder.products.size(), 1u) << c.what;
    EXPECT_EQ(recorder.products[0].outcome, c.outcome) << c.what;
    EXPECT_EQ(recorder.products[0].failedTest, c.test) << c.what;
    EXPECT_EQ(intake.context.stats.count(c.outcome), 1) << c.what;

    Intake console;
    std::string printed;
    console.Run(c.name, image.data(), length, &printed);
    EXPECT_EQ(printed, c.printed) << c.what;
    std::vector<std::string> expected;
    if (c.outcome == Outcome::kStored) expected.push_back("ktlx_20050703_120312.jx4");
    EXPECT_EQ(console.Files(), expected) << c.what;
  }
}

TEST(ProcessProduct, NullImage) {
  Intake intake;
  std::string printed;
  EXPECT_EQ(intake.Run("KTLX_SDUS54_N0RTLX_200507031203", nullptr, 1000, &printed),
            Outcome::kNotProduct);
  EXPECT_EQ(intake.Run("GSM", nullptr, 1000, &printed), Outcome::kGsmSkipped);
  EXPECT_EQ(printed, "");
}

// The event carries what the intake learned: identity, station, time and file.
TEST(ProcessProduct, ReportsWhatItFound) {
  Intake intake;
  RecordingReporter recorder;
  intake.relay.target = &recorder;
  intake.context.input = "archive.tar";
  std::vector<uint8_t> image = BuildProduct(ProductSpec{});
  std::string printed;
  intake.Run("m", image.data(), static_cast<int32_t>(image.size()), &printed);
  intake.Run("m", image.data(), static_cast<int32_t>(image.size()), &printed);
  ASSERT_EQ(recorder.products.size(), 2u);
  const RecordedProduct& e = recorder.products[0];
  EXPECT_EQ(e.input, "archive.tar");
  EXPECT_EQ(e.member, "m");
  EXPECT_EQ(e.category, "N0R");
  EXPECT_EQ(e.site, "TLX");
  EXPECT_EQ(e.station, "ktlx");
  EXPECT_EQ(e.productId, 1);
  EXPECT_TRUE(e.hasVolumeTime);
  EXPECT_EQ(e.volumeTime, 1120392192);
  EXPECT_EQ(e.volumeFile, "ktlx_20050703_120312.jx4");
  EXPECT_EQ(e.size, static_cast<int64_t>(image.size()));
  EXPECT_EQ(recorder.products[1].outcome, Outcome::kAlreadyPresent);
  EXPECT_EQ(recorder.products[1].detail, "");
  EXPECT_EQ(recorder.examined, (std::vector<std::string>{"m", "m"}));
}

// A product turned away, or already filed, is reported with what is known of
// it: the codes, the product code once the header is read, the volume time
// once it passes, and a detail where the outcome's word says too little.
TEST(ProcessProduct, TurnedAwayProductsCarryWhatIsKnown) {
  ProductSpec unknownCategory;
  unknownCategory.category = "XYZ";
  unknownCategory.messageCode = 77;
  ProductSpec unknownSite;
  unknownSite.site = "QQQ";
  ProductSpec badHeader;
  badHeader.volumeScanTime = 90000;
  ProductSpec garbage;
  garbage.category = "N\x01R";
  ProductSpec otherBytes;
  otherBytes.seed = 77;
  const struct {
    const char* what;
    ProductSpec fields;
    Outcome outcome;
    int32_t productCode;
    bool dated;
    const char* detail;
  } cases[] = {
      {"uncatalogued", unknownCategory, Outcome::kNoCatalogueRow, 77, true, ""},
      {"unknown site", unknownSite, Outcome::kUnknownStation, 19, true, ""},
      {"bad header", badHeader, Outcome::kHeaderInvalid, 19, false, ""},
      {"codes that are not letters and digits", garbage, Outcome::kNotProduct, 0, false,
       "no category code and site id of letters and digits at bytes 21-26"},
      {"the same id with other bytes", otherBytes, Outcome::kAlreadyPresent, 19, true,
       "a different image with this id is stored"},
  };
  Intake intake;
  std::vector<uint8_t> first = BuildProduct(ProductSpec{});
  std::string printed;
  ASSERT_EQ(intake.Run("first", first.data(), static_cast<int32_t>(first.size()), &printed),
            Outcome::kStored);
  for (const auto& c : cases) {
    RecordingReporter recorder;
    intake.relay.target = &recorder;
    std::vector<uint8_t> image = BuildProduct(c.fields);
    EXPECT_EQ(intake.Run("m", image.data(), static_cast<int32_t>(image.size()), &printed), c.outcome)
        << c.what;
    ASSERT_EQ(recorder.products.size(), 1u) << c.what;
    const RecordedProduct& e = recorder.products[0];
    EXPECT_EQ(e.category, c.fields.category) << c.what;
    EXPECT_EQ(e.site, c.fields.site) << c.what;
    EXPECT_EQ(e.productCode, c.productCode) << c.what;
    EXPECT_EQ(e.hasVolumeTime, c.dated) << c.what;
    EXPECT_EQ(e.detail, c.detail) << c.what;
  }
}

TEST(ProcessProduct, FilesByVolumeScanTimeNotGenerationTime) {
  Intake intake;
  ProductSpec first;
  ProductSpec second;
  second.category = "N0V";
  second.messageCode = 27;
  second.generationTime = 50000;
  second.messageTime = 51000;
  ProductSpec later = first;
  later.category = "N1R";
  later.volumeScanTime += 1;
  std::string printed;
  for (const ProductSpec& fields : {first, second, later}) {
    std::vector<uint8_t> image = BuildProduct(fields);
    EXPECT_EQ(intake.Run("p", image.data(), static_cast<int32_t>(image.size()), &printed),
              Outcome::kStored);
  }
  EXPECT_EQ(intake.Files(), (std::vector<std::string>{"ktlx_20050703_120312.jx4",
                                                       "ktlx_20050703_120313.jx4"}));
  EXPECT_EQ(intake.context.stats.productsStored, 3);
  EXPECT_EQ(intake.context.stats.filesCreated, 2);
}

}  // namespace nimbrel
