#include "streams/gzip_stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "streams/open_stream.h"
#include "support/product_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

using Bytes = std::vector<uint8_t>;

// Reads `stream` in pieces of `piece` bytes until a short count, then checks
// that the stream stays ended.
Bytes ReadToEnd(ByteStream& stream, int32_t piece) {
  Bytes out;
  Bytes buffer(static_cast<size_t>(piece));
  for (;;) {
    int32_t got = stream.Read(buffer.data(), piece);
    EXPECT_GE(got, 0);
    EXPECT_LE(got, piece);
    if (got <= 0) break;
    out.insert(out.end(), buffer.begin(), buffer.begin() + got);
    if (got < piece) break;
  }
  EXPECT_EQ(stream.Read(buffer.data(), piece), 0) << "a stream that ended must stay ended";
  return out;
}

// Reads the gzip file at `path` through OpenByteStream; `end`, when given,
// receives the stream's End() afterwards.
Bytes ReadFile(const std::string& path, int32_t piece = 1 << 20, StreamEnd* end = nullptr) {
  std::unique_ptr<ByteStream> stream = OpenByteStream(path.c_str());
  EXPECT_NE(stream, nullptr) << path;
  if (stream == nullptr) return {};
  EXPECT_NE(dynamic_cast<GzipStream*>(stream.get()), nullptr) << path;
  Bytes bytes = ReadToEnd(*stream, piece);
  if (end != nullptr) *end = stream->End();
  return bytes;
}

bool IsPrefix(const Bytes& prefix, const Bytes& whole) {
  return prefix.size() <= whole.size() && std::equal(prefix.begin(), prefix.end(), whole.begin());
}

// What the real decompressor writes for `path`, whatever its exit status.
Bytes GzipDc(const TempDir& dir, const std::string& path) {
  std::string out = dir.File("gzip-dc.out");
  RunCommand("gzip -dc '" + path + "' > '" + out + "' 2>/dev/null");
  return ReadFileBytes(out);
}

std::string Gzip(const std::string& path, const std::string& options = "") {
  EXPECT_EQ(RunCommand("gzip -f -k " + options + " '" + path + "'"), 0) << path;
  return path + ".gz";
}

// Writes products of several kinds, sizes and scans into `folder` and tars
// them with the real tar into `tarPath`.
void MakeSyntheticTar(const TempDir& dir, const std::string& tarPath) {
  std::string folder = dir.File("products");
  ASSERT_EQ(RunCommand("mkdir -p '" + folder + "'"), 0);
  struct Kind {
    const char* category;
    int16_t code;
  };
  const Kind kinds[] = {{"N0R", 19}, {"N0V", 27}, {"NCR", 37}, {"N0S", 56}, {"N1P", 78}, {"NTP", 80}};
  std::string names;
  for (int i = 0; i < 24; ++i) {
    ProductSpec fields;
    fields.category = kinds[i % 6].category;
    fields.messageCode = kinds[i % 6].code;
    fields.volumeScanTime = 43392 + 300u * static_cast<uint32_t>(i / 6);
    fields.bodySize = 200 + 7919 * i;
    fields.bodyStyle = i % 3 == 0 ? BodyStyle::kRandom : BodyStyle::kRuns;
    fields.seed = static_cast<uint32_t>(i + 1);
    std::string name = ArchiveName(fields, "2005070312" + std::to_string(10 + i));
    ASSERT_TRUE(WriteFileBytes(folder + "/" + name, BuildProduct(fields)));
    names += " " + name;
  }
  ASSERT_EQ(RunCommand("cd '" + folder + "' && tar -cf '" + tarPath + "'" + names), 0);
}

Bytes Concatenate(std::initializer_list<const Bytes*> parts) {
  Bytes out;
  for (const Bytes* part : parts) out.insert(out.end(), part->begin(), part->end());
  return out;
}

// Two members written with -n (no name, no time): one over two products
// that compress well (120 KB), one over a product that does not (40 KB), so
// that each spans more than one 32 KiB window.
struct TwoMembers {
  Bytes a, b;        // the contents
  Bytes gzA, gzB;    // their gzip files
  Bytes gzBFields;   // b's member with an extra field, name, comment and header CRC
};

// `member` (written with -n: a 10-byte header) with the optional header
// fields gzip itself never writes all together.
Bytes WithHeaderFields(const Bytes& member) {
  Bytes out(member.begin(), member.begin() + 10);
  out[3] = 0x04 | 0x08 | 0x10 | 0x02;  // FEXTRA, FNAME, FCOMMENT, FHCRC
  const Bytes fields = {6, 0, 'A', 'B', 2, 0, 'x', 'y', 'b', 0, 'a', ' ', 'n', 'o', 't', 'e', 0};
  out.insert(out.end(), fields.begin(), fields.end());
  uLong crc = crc32(0, out.data(), static_cast<uInt>(out.size()));
  out.push_back(static_cast<uint8_t>(crc));
  out.push_back(static_cast<uint8_t>(crc >> 8));
  out.insert(out.end(), member.begin() + 10, member.end());
  return out;
}

TwoMembers MakeTwoMembers(const TempDir& dir) {
  TwoMembers m;
  ProductSpec fields;
  fields.bodySize = 60000;
  m.a = BuildProduct(fields);
  fields.bodyStyle = BodyStyle::kRandom;
  fields.bodySize = 40000;
  m.b = BuildProduct(fields);
  fields.bodyStyle = BodyStyle::kRuns;
  fields.seed = 7;
  Bytes more = BuildProduct(fields);
  m.a.insert(m.a.end(), more.begin(), more.end());
  EXPECT_TRUE(WriteFileBytes(dir.File("a"), m.a));
  EXPECT_TRUE(WriteFileBytes(dir.File("b"), m.b));
  m.gzA = ReadFileBytes(Gzip(dir.File("a"), "-n -6"));
  m.gzB = ReadFileBytes(Gzip(dir.File("b"), "-n -6"));
  m.gzBFields = WithHeaderFields(m.gzB);
  return m;
}

TEST(GzipStream, ReadsARealGzipFileLikeGzipDc) {
  NIMBREL_REQUIRE_TESTDATA();
  TempDir dir;
  std::string path = TestdataDir() + "/level2/KABR20050101_000745.gz";
  Bytes expected = GzipDc(dir, path);
  ASSERT_EQ(expected.size(), 6391320u);
  EXPECT_TRUE(ReadFile(path) == expected);
}

// Members one after another read as one stream; after the last member,
// whatever is not the gzip magic ends the stream normally, as for gzip -dc.
TEST(GzipStream, ConcatenatedMembersAndTrailingBytes) {
  TempDir dir;
  TwoMembers m = MakeTwoMembers(dir);
  Bytes empty;
  ASSERT_TRUE(WriteFileBytes(dir.File("e"), empty));
  Bytes gzEmpty = ReadFileBytes(Gzip(dir.File("e"), "-n"));
  Bytes zeros(10240, 0);
  Bytes garbage = {'g', 'a', 'r', 'b', 'a', 'g', 'e', '\n'};
  Bytes loneMagicByte = {0x1F};
  Bytes ab = Concatenate({&m.a, &m.b});

  struct Row {
    const char* name;
    Bytes file;
    const Bytes* expected;
  };
  const Row rows[] = {
      {"two members", Concatenate({&m.gzA, &m.gzB}), &ab},
      {"an empty member between", Concatenate({&m.gzA, &gzEmpty, &m.gzB}), &ab},
      {"an empty member at the end", Concatenate({&m.gzA, &m.gzB, &gzEmpty}), &ab},
      {"zero padding after the last member", Concatenate({&m.gzA, &m.gzB, &zeros}), &ab},
      {"garbage ends the stream before a later member", Concatenate({&m.gzA, &garbage, &m.gzB}),
       &m.a},
      {"a lone magic byte at the end", Concatenate({&m.gzA, &loneMagicByte}), &m.a},
      {"extra field, name, comment and header CRC", Concatenate({&m.gzA, &m.gzBFields}), &ab},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string path = dir.File("case.gz");
    ASSERT_TRUE(WriteFileBytes(path, row.file));
    StreamEnd end = StreamEnd::kOpen;
    Bytes got = ReadFile(path, 1 << 20, &end);
    EXPECT_EQ(end, StreamEnd::kEndOfData);
    EXPECT_EQ(got.size(), row.expected->size());
    EXPECT_TRUE(got == *row.expected);
    EXPECT_TRUE(got == GzipDc(dir, path)) << "differs from gzip -dc";
  }
}

// A damaged or cut file ends the stream after the bytes inflated before the
// fault: never less than gzip -dc writes, nothing of a later member.
TEST(GzipStream, FaultsEndTheStreamAfterTheBytesInflated) {
  TempDir dir;
  TwoMembers m = MakeTwoMembers(dir);
  const size_t endA = m.gzA.size();
  using Damage = std::function<void(Bytes&)>;
  auto cut = [](size_t at) -> Damage { return [at](Bytes& f) { f.resize(at); }; };
  auto flip = [](size_t at, uint8_t mask) -> Damage { return [at, mask](Bytes& f) { f[at] ^= mask; }; };

  enum Expect { kNothing, kPrefixOfA, kAllOfA, kNotAllOfAB };
  struct Row {
    const char* name;
    Damage damage;
    Expect expect;
    const Bytes* second = nullptr;  // the second member, when not gzB
  };
  const size_t headerCrcB = endA + 10 + 17;  // in gzBFields
  const Row rows[] = {
      {"cut inside the first member's deflate data", cut(endA / 2), kPrefixOfA},
      {"cut early in the first member's deflate data", cut(40), kPrefixOfA},
      {"cut inside the first member's trailer", cut(endA - 3), kAllOfA},
      {"cut inside the second member's header", cut(endA + 5), kAllOfA},
      {"cut inside the second member's deflate data", cut(endA + m.gzB.size() / 2), kNotAllOfAB},
      {"CRC of the first member flipped", flip(endA - 8, 0x01), kAllOfA},
      {"length of the first member flipped", flip(endA - 2, 0x40), kAllOfA},
      {"bit flipped in the first member's deflate data", flip(endA / 2, 0x10), kNotAllOfAB},
      {"bit flipped early in the deflate data", flip(12, 0x04), kNotAllOfAB},
      {"unknown method in the second member", flip(endA + 2, 0x01), kAllOfA},
      {"reserved flag set in the first member", flip(3, 0x20), kNothing},
      {"reserved flag set in the second member", flip(endA + 3, 0x80), kAllOfA},
      {"header CRC of the second member flipped", flip(headerCrcB, 0x01), kAllOfA, &m.gzBFields},
      {"cut inside the second member's header fields", cut(endA + 14), kAllOfA, &m.gzBFields},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes file = Concatenate({&m.gzA, row.second != nullptr ? row.second : &m.gzB});
    row.damage(file);
    std::string path = dir.File("damaged.gz");
    ASSERT_TRUE(WriteFileBytes(path, file));
    StreamEnd end = StreamEnd::kOpen;
    Bytes got = ReadFile(path, 1 << 20, &end);
    // A file cut off is cut short; any other damage is corrupt data.
    bool cut = std::string(row.name).rfind("cut ", 0) == 0;
    EXPECT_EQ(end, cut ? StreamEnd::kCutShort : StreamEnd::kCorrupt);
    switch (row.expect) {
      case kNothing:
        EXPECT_TRUE(got.empty());
        break;
      case kPrefixOfA:
        EXPECT_LT(got.size(), m.a.size());
        EXPECT_TRUE(IsPrefix(got, m.a));
        break;
      case kAllOfA:
        EXPECT_TRUE(got == m.a);
        break;
      case kNotAllOfAB:
        EXPECT_LT(got.size(), m.a.size() + m.b.size());
        break;
    }
    EXPECT_TRUE(IsPrefix(GzipDc(dir, path), got)) << "delivers less than gzip -dc";
  }
}

// Delivers the first `good` bytes of `data`, then fails as a disk would.
class FailingSource : public ByteStream {
 public:
  FailingSource(const Bytes& data, size_t good) : ByteStream("failing"), data(data), good(good) {}
  int32_t Read(uint8_t* buffer, int32_t length) override {
    if (End() != StreamEnd::kOpen || length <= 0) return 0;
    size_t take = std::min(good - pos, static_cast<size_t>(length));
    std::copy(data.begin() + static_cast<std::ptrdiff_t>(pos),
              data.begin() + static_cast<std::ptrdiff_t>(pos + take), buffer);
    pos += take;
    if (take < static_cast<size_t>(length)) SetEnd(StreamEnd::kReadError);
    return static_cast<int32_t>(take);
  }

 private:
  const Bytes& data;
  size_t good;
  size_t pos = 0;
};

// A read error ends the stream with that reason, wherever it falls: never
// as a clean end (after a member, where the file might simply have ended)
// nor as damaged data.
TEST(GzipStream, TheSourcesReadErrorIsWhyItEnded) {
  TempDir dir;
  TwoMembers m = MakeTwoMembers(dir);
  Bytes file = Concatenate({&m.gzA, &m.gzB});
  struct Row {
    const char* name;
    size_t good;
    const Bytes* expected;  // null: a prefix of a, shorter
  };
  const Row rows[] = {
      {"inside the first member", m.gzA.size() / 2, nullptr},
      {"right after the first member", m.gzA.size(), &m.a},
      {"inside the second member's magic", m.gzA.size() + 1, &m.a},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    GzipStream stream(std::make_unique<FailingSource>(file, row.good));
    Bytes got = ReadToEnd(stream, 4096);
    EXPECT_EQ(stream.End(), StreamEnd::kReadError);
    if (row.expected != nullptr) {
      EXPECT_TRUE(got == *row.expected);
    } else {
      EXPECT_LT(got.size(), m.a.size());
      EXPECT_TRUE(IsPrefix(got, m.a));
    }
  }
}

// Also for cut files: inflate may hold bits, or a match cut short by the end
// of a request, that still give bytes after the file's last byte is read.
TEST(GzipStream, PieceSizeDoesNotChangeTheBytes) {
  TempDir dir;
  TwoMembers m = MakeTwoMembers(dir);
  Bytes file = Concatenate({&m.gzA, &m.gzB});
  std::string path = dir.File("ab.gz");
  for (size_t cutAt : {file.size(), m.gzA.size() / 2, m.gzA.size() + m.gzB.size() / 3,
                       file.size() - 9}) {
    SCOPED_TRACE("file cut at " + std::to_string(cutAt));
    ASSERT_TRUE(WriteFileBytes(path, Bytes(file.begin(), file.begin() + cutAt)));
    Bytes whole = ReadFile(path);
    if (cutAt == file.size()) {
      ASSERT_TRUE(whole == Concatenate({&m.a, &m.b}));
    }
    for (int32_t piece : {1, 61, 511, 512, 4096 + 7, GzipStream::kInputSize + 1}) {
      SCOPED_TRACE(piece);
      EXPECT_TRUE(ReadFile(path, piece) == whole);
    }
  }

  ASSERT_TRUE(WriteFileBytes(path, file));
  std::unique_ptr<ByteStream> stream = OpenByteStream(path.c_str());
  ASSERT_NE(stream, nullptr);
  uint8_t byte = 0;
  EXPECT_EQ(stream->Read(&byte, 0), 0);
  EXPECT_EQ(stream->Read(&byte, -1), 0);
  EXPECT_EQ(stream->Read(&byte, 1), 1) << "empty requests must not end the stream";
  EXPECT_EQ(byte, m.a[0]);
}

// The 32-byte sniff applies to gzip files as to any other: a member of one
// byte written with -n is 21 bytes and yields no stream.
TEST(GzipStream, FilesShorterThan32BytesYieldNoStream) {
  TempDir dir;
  struct Row {
    std::string content;
    size_t gzipSize;
  };
  for (const Row& row : {Row{"x", 21}, Row{"hello world\n", 32}}) {
    SCOPED_TRACE(row.content);
    ASSERT_TRUE(WriteFileBytes(dir.File("small"), row.content));
    std::string path = Gzip(dir.File("small"), "-n");
    ASSERT_EQ(ReadFileBytes(path).size(), row.gzipSize);
    std::unique_ptr<ByteStream> stream = OpenByteStream(path.c_str());
    if (row.gzipSize < kSniffSize) {
      EXPECT_EQ(stream, nullptr);
    } else {
      ASSERT_NE(stream, nullptr);
      Bytes got = ReadToEnd(*stream, 512);
      EXPECT_EQ(std::string(got.begin(), got.end()), row.content);
    }
  }
}

// A .tar.gz reads as the tar's bytes and, end to end, gives the same
// site-volume files, byte for byte, and the same console lines as the plain
// tar, whether gzip wrote one member at level 1 or 9 (with the file name in
// the header) or the tar was compressed in two pieces cut inside a member
// and the pieces concatenated.
TEST(GzipStream, TarGzReadsAndConvertsLikeThePlainTar) {
  for (bool real : {false, true}) {
    SCOPED_TRACE(real ? "real products" : "synthetic products");
    if (real && !HaveTestdata()) continue;
    TempDir dir;
    std::string tarPath = dir.File("archive.tar");
    if (real) {
      ASSERT_EQ(RunCommand("tar -cf '" + tarPath + "' -C '" + TestdataDir() + "' level3"), 0);
    } else {
      MakeSyntheticTar(dir, tarPath);
    }
    Conversion plain = ConvertArchive(tarPath);
    ASSERT_GT(plain.stored, 20);
    ASSERT_FALSE(plain.files.empty());

    Bytes tar = ReadFileBytes(tarPath);
    size_t half = tar.size() / 2 + 100;
    ASSERT_TRUE(WriteFileBytes(dir.File("front"), Bytes(tar.begin(), tar.begin() + half)));
    ASSERT_TRUE(WriteFileBytes(dir.File("back"), Bytes(tar.begin() + half, tar.end())));
    Gzip(dir.File("front"), "-6");
    Gzip(dir.File("back"), "-6");
    ASSERT_EQ(RunCommand("cat '" + dir.File("front.gz") + "' '" + dir.File("back.gz") + "' > '" +
                         dir.File("pieces.tar.gz") + "'"),
              0);

    for (std::string level : {"-1", "-9"}) {
      ASSERT_EQ(RunCommand("cp '" + tarPath + "' '" + dir.File("level" + level) + "'"), 0);
      Gzip(dir.File("level" + level), level);
    }
    for (const char* variant : {"level-1.gz", "level-9.gz", "pieces.tar.gz"}) {
      SCOPED_TRACE(variant);
      Bytes got = ReadFile(dir.File(variant));
      EXPECT_EQ(got.size(), tar.size());
      EXPECT_TRUE(got == tar);
      Conversion compressed = ConvertArchive(dir.File(variant));
      EXPECT_EQ(compressed.stored, plain.stored);
      EXPECT_EQ(compressed.output, plain.output);
      EXPECT_TRUE(compressed.files == plain.files);
    }
  }
  if (!HaveTestdata()) GTEST_SKIP() << "real products skipped: no test data at " << TestdataDir();
}

}  // namespace

}  // namespace nimbrel
