#include "products/framed_product.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "products/product_intake.h"
#include "support/product_builder.h"
#include "support/test_env.h"

namespace nimbrel {

namespace {

using Bytes = std::vector<uint8_t>;

}  // namespace

// Framed products come apart into exactly the products framed: plain or
// compressed in one or several zlib streams, with or without a control
// block, one to a file or many back to back.
TEST(UnframeProducts, GivesBackTheProducts) {
  Bytes a = RandomProduct("N0R", 1), b = RandomProduct("N0V", 2), c = RandomProduct("NCR", 3, 200000);
  ProductSpec runs;  // inflates to many times the unpacker's first buffer
  runs.bodySize = 3 << 20;
  Bytes d = BuildProduct(runs);
  Bytes tricky = a;  // holds the end framing, but no frame follows it
  const uint8_t end[] = {'\r', '\r', '\n', 0x03, 'x'};
  std::copy(end, end + 5, tricky.begin() + 200);
  struct Case {
    const char* what;
    Bytes file;
    std::vector<Bytes> products;
  } cases[] = {
      {"plain", FrameProduct(a, 1), {a}},
      {"one zlib stream after a control block", FrameProduct(a, 2, 1), {a}},
      {"five zlib streams", FrameProduct(c, 3, 5), {c}},
      {"streams each inflating past the buffer", JoinBytes({FrameProduct(d, 3, 1), FrameProduct(d, 4, 7)}),
       {d, d}},
      {"compressed without a control block", FrameProduct(b, 4, 2, false), {b}},
      {"a stream file of three",
       JoinBytes({FrameProduct(a, 5), FrameProduct(b, 6, 1), FrameProduct(c, 7)}),
       {a, b, c}},
      {"end framing inside a message is not the end",
       JoinBytes({FrameProduct(tricky, 8), FrameProduct(b, 9)}),
       {tricky, b}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(LooksFramed(c.file.data(), c.file.size())) << c.what;
    std::vector<UnframedProduct> got = UnframeProducts(c.file.data(), c.file.size());
    ASSERT_EQ(got.size(), c.products.size()) << c.what;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].problem, std::nullopt) << c.what << " #" << i;
      EXPECT_TRUE(got[i].image == c.products[i]) << c.what << " #" << i;
    }
  }
}

TEST(UnframeProducts, ADamagedFrameGivesNoImage) {
  Bytes a = RandomProduct("N0R", 1);
  Bytes noEnd = FrameProduct(a, 1);
  noEnd.resize(noEnd.size() - 4);
  Bytes brokenZlib = FrameProduct(a, 2, 1);
  brokenZlib[60] ^= 0xFF;
  Bytes huge(17u << 20, 0);  // a message of zeros compresses to little
  std::copy(a.begin(), a.begin() + 30, huge.begin());
  Bytes bomb = FrameProduct(huge, 3, 1, false);
  const std::pair<const char*, std::pair<Bytes, Outcome>> cases[] = {
      {"no end framing", {noEnd, Outcome::kNotProduct}},
      {"broken zlib stream", {brokenZlib, Outcome::kNotProduct}},
      {"inflates past 16 MiB", {bomb, Outcome::kTooLarge}},
  };
  for (const auto& [what, c] : cases) {
    std::vector<UnframedProduct> got = UnframeProducts(c.first.data(), c.first.size());
    ASSERT_EQ(got.size(), 1u) << what;
    EXPECT_EQ(got[0].problem, std::optional<Outcome>(c.second)) << what;
    EXPECT_TRUE(got[0].image.empty()) << what;
  }
  EXPECT_FALSE(LooksFramed(a.data(), a.size()));
}

// The real framed files: each gives one product that passes the intake's
// tests, and the plain one is exactly the file without its framing.
TEST(UnframeProducts, RealFramedFiles) {
  NIMBREL_REQUIRE_TESTDATA();
  const char* files[] = {"Level3_LSX_N1U_20211228_0446.nids", "Level3_STL_NCR_20211211_0200.nids",
                         "Level3_STL_TV0_20211211_0200.nids", "Level3_STL_TZ0_20211211_0200.nids",
                         "Level3_STL_TZL_20211211_0200.nids", "NIDS_DYX_NST_NST_20200522_0222"};
  for (const char* name : files) {
    Bytes file = ReadFileBytes(TestdataDir() + "/level3/" + name);
    std::vector<UnframedProduct> got = UnframeProducts(file.data(), file.size());
    ASSERT_EQ(got.size(), 1u) << name;
    ASSERT_EQ(got[0].problem, std::nullopt) << name;
    ProductHeader header;
    EXPECT_TRUE(DecodeProductHeader(got[0].image.data(), static_cast<int32_t>(got[0].image.size()),
                                    &header))
        << name;
    EXPECT_TRUE(std::equal(got[0].image.begin(), got[0].image.begin() + 30, file.begin() + 11))
        << name << ": the heading";
    if (std::string(name) == "Level3_LSX_N1U_20211228_0446.nids") {
      EXPECT_TRUE(got[0].image == Bytes(file.begin() + 11, file.end() - 4));
    }
  }
}

}  // namespace nimbrel
