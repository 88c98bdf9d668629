#include "streams/bz2_block_stream.h"
#include "streams/open_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/product_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

using Bytes = std::vector<uint8_t>;

// Runs the real bzip2 tool over `input` with `options` ("-9 -c", "-dc").
Bytes RunBzip2(const Bytes& input, const std::string& options) {
  TempDir dir;
  EXPECT_TRUE(WriteFileBytes(dir.File("in"), input));
  EXPECT_EQ(RunCommand("bzip2 " + options + " < " + dir.File("in") + " > " + dir.File("out")), 0);
  return ReadFileBytes(dir.File("out"));
}

Bytes Compress(const Bytes& input, int level = 9) { return RunBzip2(input, "-" + std::to_string(level) + " -c"); }
Bytes Inflate(const Bytes& block) { return RunBzip2(block, "-dc"); }

void Append(Bytes& to, const Bytes& bytes) { to.insert(to.end(), bytes.begin(), bytes.end()); }

void AppendWord(Bytes& to, uint32_t word) {
  for (int shift = 24; shift >= 0; shift -= 8) to.push_back(static_cast<uint8_t>(word >> shift));
}

// A length word (negated when `negative`) and the block's bytes.
void AppendBlock(Bytes& to, const Bytes& block, bool negative = false) {
  uint32_t length = static_cast<uint32_t>(block.size());
  AppendWord(to, negative ? 0u - length : length);
  Append(to, block);
}

Bytes Slice(const Bytes& bytes, size_t from, size_t count) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// The blocks of a block file from `at` on (behind its header unless told), as stored.
std::vector<Bytes> SplitBlocks(const Bytes& file, size_t at = kBlockFileHeaderSize) {
  std::vector<Bytes> blocks;
  while (at + 4 <= file.size()) {
    uint32_t word = static_cast<uint32_t>(file[at]) << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3];
    uint32_t length = (word & 0x80000000u) != 0 ? 0u - word : word;
    at += 4;
    if (length > file.size() - at) break;
    blocks.push_back(Slice(file, at, length));
    at += length;
  }
  return blocks;
}

// Everything the stream opened on `path` delivers, read in `piece`-byte
// requests; checks that only the last request comes back short and that the
// stream stays ended after it.
Bytes ReadStream(const std::string& path, int32_t piece) {
  std::unique_ptr<ByteStream> stream = OpenByteStream(path.c_str());
  if (stream == nullptr || dynamic_cast<Bz2BlockStream*>(stream.get()) == nullptr) {
    ADD_FAILURE() << path << " did not open as a block stream";
    return {};
  }
  Bytes all;
  Bytes buffer(static_cast<size_t>(piece));
  for (;;) {
    int32_t got = stream->Read(buffer.data(), piece);
    EXPECT_GE(got, 0);
    EXPECT_LE(got, piece);
    all.insert(all.end(), buffer.begin(), buffer.begin() + std::max(got, 0));
    if (got < piece) break;
  }
  EXPECT_EQ(stream->Read(buffer.data(), piece), 0);
  EXPECT_EQ(stream->Read(buffer.data(), 1), 0);
  return all;
}

// Reads `path` in several request sizes; each must deliver `expected`.
void ExpectStreamDelivers(const std::string& path, const Bytes& expected) {
  for (int32_t piece : {512, 1, 7, 10240, kBlockCapacity + 3}) {
    Bytes got = ReadStream(path, piece);
    ASSERT_EQ(got.size(), expected.size()) << "piece " << piece;
    EXPECT_TRUE(got == expected) << "piece " << piece;
  }
  Bytes got = ReadStream(path, static_cast<int32_t>(expected.size()) + 1);
  EXPECT_TRUE(got == expected) << "one large read";
}

// A plain tar archive of built products, made by the real tar tool.
Bytes MakeTar(const TempDir& dir) {
  std::string names;
  for (int i = 0; i < 12; ++i) {
    ProductSpec fields;
    const char* categories[] = {"N0R", "N0V", "NCR", "N1P"};
    fields.category = categories[i % 4];
    fields.messageCode = fields.category == "N0R" ? 19 : fields.category == "N0V" ? 27 : fields.category == "NCR" ? 37 : 78;
    fields.volumeScanTime = 43392 + 300u * static_cast<uint32_t>(i / 4);
    fields.generationTime = fields.volumeScanTime + 58;
    fields.bodySize = 5000 + 37000 * i;
    fields.bodyStyle = i % 3 == 0 ? BodyStyle::kRandom : BodyStyle::kRuns;
    fields.seed = static_cast<uint32_t>(i + 1);
    std::string name = ArchiveName(fields, "2005070312" + std::to_string(10 + i));
    EXPECT_TRUE(WriteFileBytes(dir.File(name), BuildProduct(fields)));
    names += " " + name;
  }
  EXPECT_EQ(RunCommand("tar -cf " + dir.File("plain.tar") + " -C " + dir.path() + names), 0);
  return ReadFileBytes(dir.File("plain.tar"));
}

// `tar` wrapped as its first 24 bytes and blocks of bzip2 output of the rest,
// cut at the given sizes and then at 200000 (the last block short), levels
// varied, the last length word negative as in real volumes. Pieces of
// 200000 bytes stay below the 243200-byte limit on the compressed length even
// where the content does not compress.
Bytes WrapInBlocks(const Bytes& tar, const std::vector<size_t>& cuts) {
  Bytes file = Slice(tar, 0, kBlockFileHeaderSize);
  size_t at = kBlockFileHeaderSize;
  for (size_t i = 0; at < tar.size(); ++i) {
    size_t count = std::min<size_t>(i < cuts.size() ? cuts[i] : 200000, tar.size() - at);
    Bytes block = Compress(Slice(tar, at, count), i % 2 == 0 ? 9 : 1);
    EXPECT_LT(block.size(), static_cast<size_t>(kBlockCapacity)) << "block " << i;
    at += count;
    AppendBlock(file, block, at == tar.size());
  }
  return file;
}

TEST(Bz2BlockStream, WrappedTarReadsBackAsTheTar) {
  TempDir dir;
  Bytes tar = MakeTar(dir);
  ASSERT_GT(tar.size(), 1500000u);
  Bytes file = WrapInBlocks(tar, {1, 511, 512, 4096, 243200, 100000, 243199, 3, 200000});
  ASSERT_EQ(file[28], 'B');
  ASSERT_EQ(file[29], 'Z');
  ASSERT_TRUE(WriteFileBytes(dir.File("wrapped"), file));
  ExpectStreamDelivers(dir.File("wrapped"), tar);
}

TEST(Bz2BlockStream, WrappedTarStoresWhatThePlainTarStores) {
  TempDir dir;
  Bytes tar = MakeTar(dir);
  ASSERT_TRUE(WriteFileBytes(dir.File("wrapped"), WrapInBlocks(tar, {700, 243200, 9000})));
  Conversion plain = ConvertArchive(dir.File("plain.tar"));
  Conversion wrapped = ConvertArchive(dir.File("wrapped"));
  EXPECT_EQ(plain.stored, 12);
  EXPECT_EQ(plain.files.size(), 3u);
  EXPECT_EQ(wrapped.stored, plain.stored);
  EXPECT_EQ(wrapped.output, plain.output);
  EXPECT_TRUE(wrapped.files == plain.files);
}

const char* const kRealVolumes[] = {
    "level2/KLOT20220317_000842_V06",
    "level2/Level2_TSTL_20220213_2357.ar2v",
    "level2/chunks185/20260811-225858-001-S",
};

// Real volumes start with a block inflating to 325888 bytes: the stream
// delivers the volume header and ends.
TEST(Bz2BlockStream, RealVolumesEndAfterTheirHeader) {
  NIMBREL_REQUIRE_TESTDATA();
  for (const char* name : kRealVolumes) {
    SCOPED_TRACE(name);
    std::string path = TestdataDir() + "/" + name;
    Bytes file = ReadFileBytes(path);
    ASSERT_GT(file.size(), 32u);
    EXPECT_TRUE(ReadStream(path, 512) == Slice(file, 0, kBlockFileHeaderSize));
  }
}

// A real volume is not a tar archive: the walk gets the 24-byte header, a
// short block, and ends quietly without storing anything.
TEST(Bz2BlockStream, RealVolumesThroughTheTarWalker) {
  NIMBREL_REQUIRE_TESTDATA();
  for (const char* name : kRealVolumes) {
    SCOPED_TRACE(name);
    Conversion walk = ConvertArchive(TestdataDir() + "/" + name);
    EXPECT_EQ(walk.stored, 0);
    EXPECT_TRUE(walk.files.empty());
    EXPECT_EQ(walk.output, "");
  }
}

// The real volumes' records, inflated block by block with bzip2 -dc and
// stored again in blocks of at most 243200 bytes, are delivered whole.
TEST(Bz2BlockStream, RealVolumesRebuiltInSmallBlocks) {
  NIMBREL_REQUIRE_TESTDATA();
  for (const char* name : {kRealVolumes[0], kRealVolumes[1]}) {
    SCOPED_TRACE(name);
    Bytes original = ReadFileBytes(TestdataDir() + "/" + name);
    std::vector<Bytes> blocks = SplitBlocks(original);
    ASSERT_GT(blocks.size(), 10u);
    blocks.resize(10);  // the metadata and the first elevations: a few seconds of work
    Bytes expected = Slice(original, 0, kBlockFileHeaderSize);
    for (const Bytes& block : blocks) Append(expected, Inflate(block));

    Bytes rebuilt = Slice(original, 0, kBlockFileHeaderSize);
    TempDir dir;
    for (size_t at = kBlockFileHeaderSize; at < expected.size();) {
      size_t count = std::min<size_t>(kBlockCapacity, expected.size() - at);
      Bytes block = Compress(Slice(expected, at, count));
      at += count;
      AppendBlock(rebuilt, block, at == expected.size());
    }
    ASSERT_TRUE(WriteFileBytes(dir.File("rebuilt"), rebuilt));
    Bytes got = ReadStream(dir.File("rebuilt"), 512);
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    EXPECT_TRUE(ReadStream(dir.File("rebuilt"), static_cast<int32_t>(expected.size()) + 1) == expected);
  }
}

// Real blocks of a volume's continuation chunks behind the first chunk's
// header: the small ones are delivered (the last has a real negative length
// word), a block inflating to 245280 bytes ends the stream.
TEST(Bz2BlockStream, RealChunkBlocks) {
  NIMBREL_REQUIRE_TESTDATA();
  std::string dir = TestdataDir() + "/level2/chunks185/20260811-225858-";
  Bytes header = Slice(ReadFileBytes(dir + "001-S"), 0, kBlockFileHeaderSize);
  Bytes small = ReadFileBytes(dir + "002-I");  // one block, 193952 bytes inflated
  Bytes large = ReadFileBytes(dir + "005-I");  // one block, 245280 bytes inflated
  Bytes last = ReadFileBytes(dir + "049-E");   // one block, negative length word
  Bytes smallInflated = Inflate(SplitBlocks(small, 0).at(0));
  Bytes lastInflated = Inflate(SplitBlocks(last, 0).at(0));
  ASSERT_EQ(smallInflated.size(), 193952u);
  ASSERT_EQ(lastInflated.size(), 89760u);

  struct Case {
    const char* what;
    std::vector<const Bytes*> chunks;
    std::vector<const Bytes*> delivered;
  } cases[] = {
      {"small, last", {&small, &last}, {&smallInflated, &lastInflated}},
      {"small, large, last", {&small, &large, &last}, {&smallInflated}},
  };
  TempDir temp;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = header;
    for (const Bytes* chunk : c.chunks) Append(file, *chunk);
    Bytes expected = header;
    for (const Bytes* part : c.delivered) Append(expected, *part);
    ASSERT_TRUE(WriteFileBytes(temp.File("chunks"), file));
    ExpectStreamDelivers(temp.File("chunks"), expected);
  }
}

Bytes Padded(Bytes block, size_t size) {
  block.resize(size, 0);
  return block;
}

// The length word's rules, oversized and damaged blocks, and files ending at
// every kind of place, behind a header and one good block.
TEST(Bz2BlockStream, LengthsAndEndings) {
  Bytes header(kBlockFileHeaderSize);
  for (int i = 0; i < kBlockFileHeaderSize; ++i) header[static_cast<size_t>(i)] = static_cast<uint8_t>("AR2V0008.141"[i % 12] + i);
  ProductSpec fields;
  fields.bodySize = 3000;
  Bytes first = BuildProduct(fields);
  Bytes second(2000, 'a');
  fields.bodyStyle = BodyStyle::kRandom;
  Bytes third = BuildProduct(fields);
  Bytes full(kBlockCapacity, 'x');
  Bytes over(kBlockCapacity + 1, 'x');

  Bytes secondBz = Compress(second);
  Bytes thirdBz = Compress(third);
  ASSERT_LT(secondBz.size(), 100u);
  Bytes damaged = secondBz;
  damaged[damaged.size() / 2] ^= 0x55;

  struct Case {
    const char* what;
    Bytes tail;                     // after the header and the first block
    std::vector<const Bytes*> then;  // delivered after the first block
  };
  auto word = [](uint32_t w) { Bytes b; AppendWord(b, w); return b; };
  auto concat = [](std::initializer_list<Bytes> parts) { Bytes b; for (const Bytes& p : parts) Append(b, p); return b; };
  auto block = [](const Bytes& bz, bool negative = false) { Bytes b; AppendBlock(b, bz, negative); return b; };
  std::vector<Case> cases = {
      {"ends right after a block", {}, {}},
      {"FF FF FF 9C is 100", concat({word(0xFFFFFF9Cu), Padded(secondBz, 100), block(thirdBz)}), {&second, &third}},
      {"80 00 00 00", concat({word(0x80000000u), Padded(secondBz, 100)}), {}},
      {"7F FF FF FF", concat({word(0x7FFFFFFFu), secondBz}), {}},
      {"243199", concat({block(Padded(secondBz, 243199)), block(thirdBz, true)}), {&second, &third}},
      {"243200", concat({block(Padded(secondBz, 243200)), block(thirdBz)}), {}},
      {"-243200", concat({block(Padded(secondBz, 243200), true), block(thirdBz)}), {}},
      {"zero length", concat({word(0), block(thirdBz)}), {}},
      {"inflates to 243200", concat({block(Compress(full)), block(thirdBz)}), {&full, &third}},
      {"inflates past 243200", concat({block(Compress(over)), block(thirdBz)}), {}},
      {"empty bzip2 stream", concat({block(Compress({})), block(thirdBz)}), {&third}},
      {"damaged block", concat({block(damaged), block(thirdBz)}), {}},
      {"not bzip2", concat({block(second), block(thirdBz)}), {}},
      {"ends inside a length word", concat({block(thirdBz), Bytes{0, 0}}), {&third}},
      {"ends inside a block", concat({block(thirdBz), Slice(block(secondBz), 0, 30)}), {&third}},
  };

  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = concat({header, block(Compress(first)), c.tail});
    Bytes expected = concat({header, first});
    for (const Bytes* part : c.then) Append(expected, *part);
    ASSERT_TRUE(WriteFileBytes(dir.File("blocks"), file));
    ExpectStreamDelivers(dir.File("blocks"), expected);
  }
}

// A first block that cannot be read leaves exactly the header.
TEST(Bz2BlockStream, BadFirstBlockLeavesTheHeader) {
  Bytes header(kBlockFileHeaderSize, 'H');
  Bytes bz = Compress(Bytes(100, 'z'));
  struct Case {
    const char* what;
    uint32_t word;
  } cases[] = {{"80 00 00 00", 0x80000000u}, {"too long", 0x00FFFFFFu}, {"longer than the file", 500}};
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = header;
    AppendWord(file, c.word);
    Append(file, bz);
    ASSERT_TRUE(WriteFileBytes(dir.File("blocks"), file));
    ExpectStreamDelivers(dir.File("blocks"), header);
  }
}

}  // namespace

}  // namespace nimbrel
