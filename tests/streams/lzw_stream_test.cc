#include "streams/lzw_stream.h"
#include "streams/open_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/input_file.h"
#include "support/lzw_reference.h"
#include "support/product_builder.h"
#include "support/tar_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

using Bytes = std::vector<uint8_t>;

// Writes a code stream the way a `compress` encoder lays it out: codes packed
// least significant bit first, the width following the decoder's table, and
// clear codes padded to the end of their group of eight codes unless told
// otherwise. Only the widths are modelled; which codes are sent is up to the
// test.
class CodeWriter {
 public:
  explicit CodeWriter(int flags) : bytes{0x1F, 0x9D, static_cast<uint8_t>(flags)}, maxBits(flags & 31) {}

  void Put(uint32_t code) {
    PutBits(code, width);
    bitsAtWidth += width;
    if (first) {
      first = false;
      return;
    }
    if (maxBits >= 9 && nextFree < (1u << maxBits)) ++nextFree;
    uint32_t limit = width == maxBits ? 1u << width : (1u << width) - 1;
    if (nextFree > limit) {
      ++width;
      bitsAtWidth = 0;
    }
  }

  // A clear code followed by `padBits` zero bits (-1: to the end of the group).
  void Clear(int padBits = -1) {
    PutBits(256, width);
    bitsAtWidth += width;
    uint32_t group = 8 * static_cast<uint32_t>(width);
    uint32_t pad = padBits >= 0 ? static_cast<uint32_t>(padBits) : (group - bitsAtWidth % group) % group;
    for (uint32_t i = 0; i < pad; ++i) PutBits(0, 1);
    width = 9;
    bitsAtWidth = 0;
    nextFree = 256;
  }

  int Width() const { return width; }

  // The file, with `extraBits` zero bits after the last code (then whole bytes).
  Bytes Finish(int extraBits = 0) {
    for (int i = 0; i < extraBits; ++i) PutBits(0, 1);
    Bytes out = bytes;
    if (bitCount > 0) out.push_back(static_cast<uint8_t>(accumulator));
    return out;
  }

 private:
  void PutBits(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
      accumulator |= ((value >> i) & 1u) << bitCount;
      if (++bitCount == 8) {
        bytes.push_back(static_cast<uint8_t>(accumulator));
        accumulator = 0;
        bitCount = 0;
      }
    }
  }

  Bytes bytes;
  int maxBits;
  int width = 9;
  uint32_t bitsAtWidth = 0;
  uint32_t nextFree = 257;
  bool first = true;
  uint32_t accumulator = 0;
  int bitCount = 0;
};

std::unique_ptr<LzwStream> OpenLzw(const std::string& path) {
  int32_t fd = OpenInputFile(path.c_str());
  EXPECT_GE(fd, 0) << path;
  return std::make_unique<LzwStream>(std::make_unique<FileStream>(path.c_str(), fd));
}

// Reads the .Z file `file` through LzwStream and through the plain reference
// with the same request sizes, checking that every call agrees, until both
// have ended and then returned 0 once more. Returns what was delivered.
Bytes DecodeBoth(const Bytes& file, const std::function<int32_t()>& nextSize,
                 LzwReference* reference = nullptr) {
  TempDir dir;
  std::string path = dir.File("in.Z");
  EXPECT_TRUE(WriteFileBytes(path, file));
  std::unique_ptr<LzwStream> stream = OpenLzw(path);
  auto local = std::make_unique<LzwReference>(file.data(), file.size());
  LzwReference& oracle = reference != nullptr ? *reference : *local;
  Bytes out;
  bool ended = false;
  for (;;) {
    int32_t size = nextSize();
    Bytes fast(static_cast<size_t>(size) + 1, 0xAA);
    Bytes plain(static_cast<size_t>(size) + 1, 0xAA);
    int32_t got = stream->Read(fast.data(), size);
    int32_t expected = oracle.Read(plain.data(), size);
    EXPECT_EQ(got, expected) << "after " << out.size() << " bytes";
    if (got != expected) break;
    EXPECT_EQ(fast, plain) << "after " << out.size() << " bytes";
    if (fast != plain) break;
    out.insert(out.end(), fast.begin(), fast.begin() + got);
    if (ended) {
      EXPECT_EQ(got, 0);
      break;
    }
    ended = got < size;
  }
  return out;
}

Bytes DecodeInPieces(const Bytes& file, int32_t piece, LzwReference* reference = nullptr) {
  return DecodeBoth(file, [piece] { return piece; }, reference);
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A stream of literal codes only (valid: every code adds an unused entry).
CodeWriter Literals(int flags, const Bytes& data) {
  CodeWriter writer(flags);
  for (uint8_t byte : data) writer.Put(byte);
  return writer;
}

Bytes Pattern(size_t size, uint32_t seed) {
  Bytes data(size);
  std::mt19937 random(seed);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(random() % 7 + 'a');
  return data;
}

bool HaveCompress() { return RunCommand("command -v compress >/dev/null 2>&1") == 0; }

Bytes RunFilter(const std::string& command, const Bytes& input) {
  TempDir dir;
  EXPECT_TRUE(WriteFileBytes(dir.File("in"), input));
  EXPECT_EQ(RunCommand(command + " < " + dir.File("in") + " > " + dir.File("out") + " 2>/dev/null"), 0)
      << command;
  return ReadFileBytes(dir.File("out"));
}

// Radar-like products, then noise, then products again: compress fills its
// table and, once the ratio drops, sends clear codes.
Bytes MixedCorpus(size_t products, size_t noise) {
  Bytes data;
  for (size_t i = 0; i < products; ++i) {
    ProductSpec fields;
    fields.bodySize = 3000 + static_cast<int32_t>(i % 5) * 1000;
    fields.seed = static_cast<uint32_t>(i + 1);
    Bytes image = BuildProduct(fields);
    data.insert(data.end(), image.begin(), image.end());
    if (i == products / 2) {
      std::mt19937 random(7);
      for (size_t j = 0; j < noise; ++j) data.push_back(static_cast<uint8_t>(random()));
    }
  }
  return data;
}

}  // namespace

TEST(LzwStream, HandMadeStreams) {
  struct Case {
    const char* what;
    int flags;
    std::vector<uint32_t> codes;
    int extraBits;
    std::string expected;
  };
  const Case cases[] = {
      {"one byte, then fewer than 9 bits", 0x90, {'A'}, 0, "A"},
      {"KwKwK right after the first code", 0x90, {'A', 257}, 0, "AAA"},
      {"KwKwK chains", 0x90, {'a', 'b', 258, 259}, 0, "abbbbbb"},
      {"earlier entries", 0x90, {'a', 'b', 257, 258}, 0, "ababba"},
      {"code above nextFree ends it", 0x90, {'A', 'B', 259, 'C'}, 0, "AB"},
      {"input ends inside a code", 0x90, {'A', 'B', 'C'}, 0, "ABC"},
      {"block-mode bit off: 256 still clears", 0x10, {'A', 256, 'B'}, 0, "AB"},
      // 257 is never written: it reads as prefix 0, suffix 0.
      {"width 8: codes stay 9 bits, no entries", 0x08, {'x', 'y', 257, 257}, 0,
       std::string("xyyy\0\0y", 7)},
      {"width 8: 258 is above nextFree", 0x08, {'x', 258, 'y'}, 0, "x"},
      {"width 0 behaves like 8", 0x00, {'q', 257}, 0, "qqq"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    CodeWriter writer(test.flags);
    for (uint32_t code : test.codes) code == 256 ? writer.Clear() : writer.Put(code);
    Bytes file = writer.Finish(test.extraBits);
    EXPECT_EQ(DecodeInPieces(file, 1), Text(test.expected));
    EXPECT_EQ(DecodeInPieces(file, 4096), Text(test.expected));
  }
}

TEST(LzwStream, FlagsNamingWidthsAbove16FailAtOnce) {
  for (int bits = 17; bits <= 31; ++bits) {
    SCOPED_TRACE(bits);
    Bytes file = Literals(0x80 | bits, Text("hello world")).Finish();
    auto reference = std::make_unique<LzwReference>(file.data(), file.size());
    EXPECT_TRUE(DecodeInPieces(file, 512, reference.get()).empty());
    EXPECT_TRUE(reference->failed);
  }
  // No flags byte at all.
  EXPECT_TRUE(DecodeInPieces(Bytes{0x1F, 0x9D}, 512).empty());
  // A flags byte and no code.
  EXPECT_TRUE(DecodeInPieces(Bytes{0x1F, 0x9D, 0x90}, 512).empty());
}

TEST(LzwStream, NarrowWidthsKeepNineBitCodesAndMakeNoEntries) {
  // Up to 8 bits: every code is 9 bits, 257 repeats the last string plus its
  // first byte, and the table never grows (the decoder walks chains here).
  for (int bits = 0; bits <= 8; ++bits) {
    SCOPED_TRACE(bits);
    CodeWriter writer(bits);
    for (uint32_t code : {97u, 98u, 257u, 257u, 99u, 257u, 258u}) writer.Put(code);
    Bytes out = DecodeInPieces(writer.Finish(), 3);
    EXPECT_EQ(out.size(), 1 + 1 + 2 + 3 + 1 + 2u);  // ends at 258
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), Text("abbb"));
  }
}

TEST(LzwStream, WidthGrowsAtTheTableLimits) {
  // Literal codes only: 256 codes at 9 bits, then 512 at 10, 1024 at 11, ...
  struct Case {
    int flags;
    size_t count;
    int widest;  // width of the last code
  };
  const Case cases[] = {{0x90, 256, 9},  {0x90, 257, 10},  {0x90, 768, 10}, {0x90, 769, 11},
                        {0x89, 5000, 9}, {0x8C, 9000, 12}, {0x90, 70000, 16}};
  for (const Case& test : cases) {
    SCOPED_TRACE(test.count);
    Bytes data = Pattern(test.count, static_cast<uint32_t>(test.count));
    Bytes file = Literals(test.flags, data).Finish();
    auto reference = std::make_unique<LzwReference>(file.data(), file.size());
    EXPECT_EQ(DecodeInPieces(file, 512, reference.get()), data);
    EXPECT_EQ(reference->widestCode, test.widest);
  }
}

TEST(LzwStream, ClearCodesSkipToTheEndOfTheirGroup) {
  // Reach the wanted width with literals, send k more codes, clear, go on.
  struct Case {
    int flags;
    size_t before;  // literal codes before the clear
  };
  std::vector<Case> cases;
  const size_t to16 = 256 + 512 + 1024 + 2048 + 4096 + 8192 + 16384;  // 32512
  const size_t to12 = 256 + 512 + 1024;
  for (size_t k = 0; k < 9; ++k) {
    cases.push_back({0x90, to16 + 32768 + k});  // 16 bits, at and off the 128-bit boundary
    cases.push_back({0x90, 3 + k});             // 9 bits
    cases.push_back({0x8C, to12 + 100 + k});    // 12 bits, 96-bit groups
    cases.push_back({0x8A, 256 + 5000 + k});    // 10 bits, table full
  }
  for (const Case& test : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << test.flags << " before " << test.before);
    Bytes data = Pattern(test.before + 700, static_cast<uint32_t>(test.before));
    CodeWriter writer(test.flags);
    for (size_t i = 0; i < data.size(); ++i) {
      if (i == test.before) writer.Clear();
      writer.Put(data[i]);
    }
    Bytes file = writer.Finish();
    auto reference = std::make_unique<LzwReference>(file.data(), file.size());
    EXPECT_EQ(DecodeInPieces(file, 512, reference.get()), data);
    EXPECT_EQ(reference->clearCodes, 1);
  }
}

TEST(LzwStream, StringsLongerThanTheStackEndTheStream) {
  // KwKwK codes 257, 258, ... make strings of 2, 3, ... bytes of 'A'.
  auto run = [](uint32_t lastLength, bool thenLiteral, uint32_t finalCode) {
    CodeWriter writer(0x90);
    writer.Put('A');
    for (uint32_t length = 2; length <= lastLength; ++length) writer.Put(255 + length);
    if (thenLiteral) writer.Put('A');
    writer.Put(finalCode);
    return writer.Finish();
  };
  auto sum = [](uint32_t n) { return static_cast<size_t>(n) * (n + 1) / 2; };
  // A KwKwK code after an 8191-byte string gives 8192 bytes: fine.
  EXPECT_EQ(DecodeInPieces(run(8190, false, 255 + 8191), 1 << 20).size(), sum(8191));
  // After an 8192-byte string it would give 8193: the stream ends.
  EXPECT_EQ(DecodeInPieces(run(8192, false, 255 + 8193), 1 << 20).size(), sum(8192));
  // The entry made after an 8192-byte string holds 8193 bytes: it cannot be sent.
  Bytes out = DecodeInPieces(run(8192, true, 255 + 8193), 1 << 20);
  EXPECT_EQ(out.size(), sum(8192) + 1);
  EXPECT_EQ(out, Bytes(out.size(), 'A'));
}

TEST(LzwStream, LongestStringsOverrunBatchesAndSlides) {
  // Strings of 8190 to 8192 'A's, now and then a single 'A', 45000 codes
  // (about 300 MB): the decoder runs up to three such strings past the end
  // of its batches, also right before the window slides, which it does
  // some seventy times. All 'A's, so no reference is needed.
  CodeWriter writer(0x90);
  writer.Put('A');
  for (uint32_t length = 2; length <= 8192; ++length) writer.Put(255 + length);
  int64_t size = 8192 * 8193 / 2;
  std::mt19937 random(1);
  for (int i = 0; i < 45000; ++i) {
    uint32_t length = random() % 4 == 0 ? 1 : 8190 + random() % 3;
    writer.Put(length == 1 ? 'A' : 255 + length);
    size += length;
  }
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("a.Z"), writer.Finish()));
  std::unique_ptr<LzwStream> stream = OpenLzw(dir.File("a.Z"));
  Bytes buffer(1 << 20);
  int64_t total = 0;
  while (int32_t got = stream->Read(buffer.data(), static_cast<int32_t>(buffer.size()))) {
    ASSERT_TRUE(std::all_of(buffer.begin(), buffer.begin() + got, [](uint8_t b) { return b == 'A'; }))
        << "after " << total << " bytes";
    total += got;
  }
  EXPECT_EQ(total, size);
  EXPECT_EQ(stream->End(), StreamEnd::kEndOfData);
}

TEST(LzwStream, RandomCodeStreamsMatchThePlainDecoder) {
  // Codes mostly valid (below nextFree, KwKwK, clears), now and then not;
  // odd first codes and flags bytes; random request sizes.
  std::mt19937 random(12345);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    int flags = static_cast<int>(random() % 4 == 0 ? random() % 256 : 0x80 | (9 + random() % 8));
    CodeWriter writer(flags);
    uint32_t nextFree = 257;
    size_t count = 1 + random() % (round % 10 == 0 ? 40000 : 3000);
    for (size_t i = 0; i < count; ++i) {
      uint32_t pick = random() % 1000;
      uint32_t code;
      if (i == 0 && pick < 20) code = 257 + random() % 255;
      else if (pick < 2) code = nextFree + 1 + random() % 4;
      else if (pick < 4) {
        writer.Clear(pick == 2 ? -1 : static_cast<int>(random() % 130));
        nextFree = 256;
        continue;
      } else if (pick < 300) code = random() % 256;
      else if (pick < 400) code = nextFree;
      else code = nextFree > 257 ? 257 + random() % (nextFree - 257) : random() % 256;
      code &= (1u << writer.Width()) - 1;
      writer.Put(code);
      if (i > 0 && nextFree < 65536) ++nextFree;
    }
    Bytes file = writer.Finish(static_cast<int>(random() % 16));
    std::mt19937 sizes(static_cast<uint32_t>(round));
    DecodeBoth(file, [&sizes] { return static_cast<int32_t>(sizes() % 3 == 0 ? 1 + sizes() % 20 : 1 + sizes() % 70000); });
  }
}

TEST(LzwStream, RealCompressOutputForEveryWidth) {
  if (!HaveCompress()) GTEST_SKIP() << "compress is not installed";
  const Bytes small = Text("A quick test of compress, compress, compress.\n");
  const Bytes large = MixedCorpus(1200, 400000);  // about 7 MB
  struct Case {
    int bits;
    const Bytes* input;
  };
  std::vector<Case> cases = {{9, &small}};
  for (int bits = 10; bits <= 16; ++bits) {
    cases.push_back({bits, &small});
    cases.push_back({bits, &large});
  }
  for (const Case& test : cases) {
    SCOPED_TRACE(testing::Message() << "-b" << test.bits << ", " << test.input->size() << " bytes");
    Bytes file = RunFilter("compress -c -b " + std::to_string(test.bits), *test.input);
    ASSERT_GE(file.size(), 3u);
    auto reference = std::make_unique<LzwReference>(file.data(), file.size());
    Bytes pieces = DecodeInPieces(file, 512, reference.get());
    EXPECT_TRUE(pieces == *test.input);
    EXPECT_TRUE(RunFilter("gzip -dc", file) == pieces);
    EXPECT_TRUE(DecodeInPieces(file, 1 << 24) == pieces);
    if (test.input == &large) {
      EXPECT_GT(reference->clearCodes, 0);
      EXPECT_EQ(reference->widestCode, test.bits);
    }
  }
}

TEST(LzwStream, LongStreamsOutliveTheWindow) {
  // Products, then zeros well past the 4 MB window (compress keeps its table,
  // as the ratio only improves), then the same products: their strings are
  // still in the table, but their copies have left the window.
  if (!HaveCompress()) GTEST_SKIP() << "compress is not installed";
  Bytes products = MixedCorpus(400, 0);
  Bytes data = products;
  data.resize(data.size() + 3 * LzwStream::kWindow, 0);
  data.insert(data.end(), products.begin(), products.end());
  Bytes file = RunFilter("compress -c -b16", data);
  std::mt19937 sizes(3);
  EXPECT_TRUE(DecodeBoth(file, [&sizes] { return static_cast<int32_t>(512 * (1 + sizes() % 64)); }) ==
              data);
}

TEST(LzwStream, FilesOfOtherProjectsDecodeAsGzipDoes) {
  NIMBREL_REQUIRE_TESTDATA();
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(TestdataDir() + "/compress"))
    files.push_back(entry.path().string());
  for (const auto& entry : std::filesystem::directory_iterator(TestdataDir() + "/tar"))
    if (entry.path().extension() == ".Z") files.push_back(entry.path().string());
  ASSERT_GE(files.size(), 9u);
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    Bytes file = ReadFileBytes(path);
    Bytes expected = RunFilter("gzip -dc", file);
    std::mt19937 sizes(1);
    Bytes odd = DecodeBoth(file, [&sizes] { return static_cast<int32_t>(1 + sizes() % 5000); });
    EXPECT_TRUE(odd == expected) << odd.size() << " vs " << expected.size();
    EXPECT_TRUE(DecodeInPieces(file, 512) == expected);
  }
}

TEST(LzwStream, OpenByteStreamBuildsItForTheMagic) {
  if (!HaveCompress()) GTEST_SKIP() << "compress is not installed";
  TempDir dir;
  Bytes data = MixedCorpus(40, 0);
  Bytes file = RunFilter("compress -c", data);
  file[28] = 'B';  // the .Z magic wins over 'BZ' at byte 28
  file[29] = 'Z';
  ASSERT_TRUE(WriteFileBytes(dir.File("a.Z"), file));
  std::unique_ptr<ByteStream> stream = OpenByteStream(dir.File("a.Z").c_str());
  ASSERT_NE(dynamic_cast<LzwStream*>(stream.get()), nullptr);
  auto reference = std::make_unique<LzwReference>(file.data(), file.size());
  Bytes expected(data.size() + 100);
  Bytes got(data.size() + 100);
  EXPECT_EQ(stream->Read(got.data(), static_cast<int32_t>(got.size())),
            reference->Read(expected.data(), static_cast<int32_t>(expected.size())));
  EXPECT_EQ(got, expected);
  EXPECT_EQ(stream->Read(got.data(), 10), 0);
  EXPECT_EQ(stream->Read(got.data(), 0), 0);
}

TEST(LzwStream, TarZGivesTheSameVolumeFilesAsTheTar) {
  NIMBREL_REQUIRE_TESTDATA();
  if (!HaveCompress()) GTEST_SKIP() << "compress is not installed";
  Bytes archive;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(TestdataDir() + "/level3"))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    TarMember member;
    member.name = name;
    member.data = ReadFileBytes(TestdataDir() + "/level3/" + name);
    AppendTarMember(&archive, member);
  }
  for (uint32_t scan = 0; scan < 30; ++scan) {
    ProductSpec fields;
    fields.volumeScanTime = 43392 + 300 * scan;
    fields.bodySize = 20000 + 1000 * static_cast<int32_t>(scan);
    fields.seed = scan + 1;
    TarMember member;
    member.name = ArchiveName(fields, "200507031203");
    member.data = BuildProduct(fields);
    AppendTarMember(&archive, member);
  }
  AppendTarEnd(&archive);

  TempDir dir;
  std::string tar = dir.File("products.tar");
  ASSERT_TRUE(WriteFileBytes(tar, archive));
  std::map<std::string, Bytes> plain = ConvertArchive(tar).files;
  ASSERT_GE(plain.size(), 10u);
  for (int bits : {16, 12}) {
    SCOPED_TRACE(bits);
    std::string tarZ = dir.File("products.tar.Z");
    ASSERT_EQ(RunCommand("compress -c -b " + std::to_string(bits) + " " + tar + " > " + tarZ), 0);
    std::map<std::string, Bytes> decoded = ConvertArchive(tarZ).files;
    EXPECT_EQ(decoded.size(), plain.size());
    EXPECT_TRUE(decoded == plain);
  }
}

}  // namespace nimbrel
