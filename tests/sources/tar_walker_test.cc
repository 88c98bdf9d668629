#include "sources/tar_walker.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "driver/console_reporter.h"
#include "output/volume_format.h"
#include "support/product_builder.h"
#include "support/tar_builder.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace {

using Bytes = std::vector<uint8_t>;

struct Member {
  std::string name;
  Bytes data;
  bool operator==(const Member&) const = default;
};

struct WalkResult {
  std::vector<Member> members;
  std::string output;  // what the console program prints
  InputEnd end = InputEnd::kCleanEnd;
};

// Walks the archive at `path`, recording the members and the console text.
WalkResult WalkFile(const std::string& path) {
  WalkResult result;
  MemberHandler record = [&result](const char* name, const uint8_t* data, int32_t size) {
    result.members.push_back({name, Bytes(data, data + size)});
  };
  ConsoleReporter console;
  StdoutCapture capture;
  result.end = WalkArchive(path, record, &console);
  result.output = capture.Finish();
  return result;
}

WalkResult Walk(const Bytes& archive) {
  TempDir dir;
  std::string path = dir.File("archive.tar");
  EXPECT_TRUE(WriteFileBytes(path, archive));
  return WalkFile(path);
}

Bytes Payload(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
  return bytes;
}

TarMember File(const std::string& name, size_t size, uint8_t seed) {
  TarMember member;
  member.name = name;
  member.data = Payload(size, seed);
  return member;
}

Member Expect(const TarMember& member) { return {member.name, member.data}; }

// Header of `member` with one field rewritten and the checksum made right.
Bytes WithField(const TarMember& member, int offset, int width, const std::string& text) {
  Bytes header = MakeTarHeader(member);
  SetTarField(&header, offset, width, text);
  SealTarHeader(&header);
  return header;
}

const char kChecksumError[] = "\n\n*** ProcessTar: checksum error! Aborting\n\n";
const char kChecksumUnreadable[] = "\n\n*** ProcessTar: error reading checksum! Aborting\n\n";
const char kShortData[] = "\n\n*** TarReadFile: error reading file from tar\n";
const char kSizeRange[] = "\n\n*** ProcessTar: member size out of range! Aborting\n\n";

TEST(ParseTarNumber, ReadsLikeFormattedInput) {
  struct Case {
    const char* what;
    std::string text;  // placed at offset 124; the rest of the block is zero
    int width;
    bool converts;
    int64_t value;
  };
  const Case cases[] = {
      {"zero-padded, NUL-ended", std::string("00000001750\0", 12), 12, true, 1000},
      {"leading blanks", "     17", 12, true, 15},
      {"blank-ended (old tar)", "1750 ", 12, true, 1000},
      {"stops at a non-octal digit", "178", 12, true, 15},
      {"stops at a non-octal digit, later", "123456789", 12, true, 01234567},
      {"width limits the digits", "1234567012345670", 12, true, 0123456701234},
      {"all twelve digits", "777777777777", 12, true, 68719476735},
      {"sign counts in the width", "+000000000001", 12, true, 0},
      {"plus sign", "+12", 12, true, 10},
      {"minus sign", "-1", 12, true, -1},
      {"sign alone", "-", 12, false, 0},
      {"sign then blank", "- 1", 12, false, 0},
      {"empty field", "", 12, false, 0},
      {"letters", "abc", 12, false, 0},
      {"tab, newline, vertical tab, form feed, return", "\t\n\v\f\r7", 12, true, 7},
      {"blanks run on into the next field", std::string(12, ' ') + "00000000011", 12, true, 9},
      {"width 8", "1234567012", 8, true, 012345670},
  };
  for (const Case& c : cases) {
    uint8_t block[kTarBlockSize] = {};
    std::memcpy(block + 124, c.text.data(), c.text.size());
    int64_t value = 99;
    EXPECT_EQ(ParseTarNumber(block, 124, c.width, &value), c.converts) << c.what;
    if (c.converts) {
      EXPECT_EQ(value, c.value) << c.what;
    }
  }
}

TEST(ParseTarNumber, StaysInsideTheBlock) {
  uint8_t block[kTarBlockSize];
  std::memset(block, ' ', sizeof block);
  int64_t value = 0;
  EXPECT_FALSE(ParseTarNumber(block, 124, 12, &value));  // blanks up to the end
  std::memset(block, '7', sizeof block);
  EXPECT_TRUE(ParseTarNumber(block, 506, 12, &value));  // digits up to the end
  EXPECT_EQ(value, 0777777);
  EXPECT_TRUE(ParseTarNumber(block, 0, 40, &value));  // saturates, never wraps
  EXPECT_EQ(value, int64_t{1} << 62);
}

TEST(TarHeaderSum, CountsBytesUnsignedAndTheFieldAsBlanks) {
  uint8_t block[kTarBlockSize] = {};
  block[0] = 0xFF;
  block[148] = '9';  // inside the checksum field: counted as a blank
  block[511] = 0x80;
  EXPECT_EQ(TarHeaderSum(block), 0xFF + 8 * ' ' + 0x80);
}

struct WalkCase {
  const char* what;
  Bytes archive;
  std::vector<Member> members;
  std::string output;
  InputEnd end = InputEnd::kCleanEnd;
};

std::string TooLarge(const char* name, int64_t size) {
  return "\n*** ProcessTar: member '" + std::string(name) + "' too large (" + std::to_string(size) +
         " bytes), skipped\n";
}

std::vector<WalkCase> WalkCases() {
  std::vector<WalkCase> cases;
  TarMember one = File("one", 1, 1), block = File("block", 512, 2), more = File("more", 513, 3);
  TarMember big = File("big", 200000, 4);

  {
    Bytes a;
    for (const TarMember* m : {&one, &block, &more, &big}) AppendTarMember(&a, *m);
    AppendTarEnd(&a);
    cases.push_back({"sizes 1, 512, 513 and 200000, two zero blocks",
                     a,
                     {Expect(one), Expect(block), Expect(more), Expect(big)},
                     ""});
  }
  {
    Bytes a;
    AppendTarMember(&a, one);
    AppendTarEnd(&a, 1);
    AppendTarMember(&a, block);
    cases.push_back({"the first zero block ends the walk", a, {Expect(one)}, ""});
  }
  {
    TarMember dir;
    dir.name = "dir/";
    dir.typeflag = '5';
    TarMember empty = dir;
    empty.name = "empty, modified at 0";
    empty.typeflag = '0';
    empty.mtime = 0;
    Bytes a;
    AppendTarMember(&a, one);
    AppendTarMember(&a, dir);
    AppendTarMember(&a, empty);
    AppendTarMember(&a, block);
    AppendTarEnd(&a);
    cases.push_back(
        {"size-0 members are skipped whatever their time", a, {Expect(one), Expect(block)}, ""});
  }
  {
    TarMember stale = block;
    stale.mtime = 0;
    Bytes a;
    AppendTarMember(&a, one);
    AppendTarMember(&a, stale);
    AppendTarMember(&a, more);
    AppendTarEnd(&a);
    cases.push_back({"modification time 0 ends the walk", a, {Expect(one)}, "", InputEnd::kUnusableHeader});
  }
  {
    TarMember high = File("\x80\xFFh\xE9", 10, 5);
    TarMember full = File(std::string(100, 'n'), 10, 6);
    TarMember extended = File("./PaxHeaders/x", 30, 7);
    extended.typeflag = 'x';
    Bytes a;
    AppendTarMember(&a, high);
    AppendTarMember(&a, full);
    AppendTarMember(&a, extended);
    AppendTarEnd(&a);
    cases.push_back({"high name bytes, a 100-byte name, an extended header",
                     a,
                     {Expect(high), Expect(full), Expect(extended)},
                     ""});
  }
  {
    Bytes a;
    AppendTarMember(&a, one);
    AppendTarMember(&a, more);
    a.resize(a.size() - 512 - 100);
    cases.push_back({"cut inside data", a, {Expect(one)}, kShortData, InputEnd::kMemberCutShort});
  }
  {
    Bytes a;
    AppendTarMember(&a, one);
    AppendTarMember(&a, more);
    a.resize(a.size() - 10);
    cases.push_back({"cut inside padding", a, {Expect(one)}, kShortData, InputEnd::kMemberCutShort});
  }
  {
    Bytes a;
    AppendTarMember(&a, one);
    cases.push_back({"cut at a header boundary", a, {Expect(one)}, ""});
    a.resize(a.size() + 300, 'x');
    cases.push_back({"cut inside a header", a, {Expect(one)}, "", InputEnd::kMemberCutShort});
  }
  {
    Bytes header = MakeTarHeader(block);
    SetTarField(&header, 148, 8, "");
    Bytes a;
    AppendTarMember(&a, one);
    AppendTarBlocks(&a, header, block.data);
    cases.push_back(
        {"unreadable checksum", a, {Expect(one)}, kChecksumUnreadable, InputEnd::kChecksumUnreadable});
  }
  {
    TarMember wrong = block;
    wrong.checksum = TarHeaderSum(MakeTarHeader(block).data()) + 1;
    Bytes a;
    AppendTarMember(&a, one);
    AppendTarMember(&a, wrong);
    cases.push_back({"checksum one off", a, {Expect(one)}, kChecksumError, InputEnd::kChecksumError});
  }
  {
    Bytes header = MakeTarHeader(one);
    char text[16];
    std::snprintf(text, sizeof text, "%6o", static_cast<unsigned>(TarHeaderSum(header.data())));
    SetTarField(&header, 148, 8, text + std::string("\0 ", 2));
    Bytes a;
    AppendTarBlocks(&a, header, one.data);
    AppendTarEnd(&a);
    cases.push_back({"checksum with leading blanks", a, {Expect(one)}, ""});
  }
  auto ending = [&](const char* what, const Bytes& header, const std::string& output, InputEnd end) {
    Bytes a;
    AppendTarMember(&a, one);
    AppendTarBlocks(&a, header, block.data);
    AppendTarMember(&a, more);
    AppendTarEnd(&a);
    cases.push_back({what, a, {Expect(one)}, output, end});
  };
  ending("empty name", WithField(block, 0, 100, ""), "", InputEnd::kUnusableHeader);
  ending("unreadable size", WithField(block, 124, 12, "x"), "", InputEnd::kUnusableHeader);
  ending("unreadable time", WithField(block, 136, 12, "x"), "", InputEnd::kUnusableHeader);
  ending("negative size", WithField(block, 124, 12, "-1000"), kSizeRange, InputEnd::kSizeOutOfRange);
  // Members over 16 MiB are read past; these claim more than the archive holds.
  ending("size 2^31 - 511", WithField(block, 124, 12, "17777777001"),
         TooLarge("block", 2147483137) + kShortData, InputEnd::kMemberCutShort);
  ending("size 2^36 - 1", WithField(block, 124, 12, "777777777777"),
         TooLarge("block", 68719476735) + kShortData, InputEnd::kMemberCutShort);
  ending("size 16 MiB + 1", WithField(block, 124, 12, "100000001"),
         TooLarge("block", 16777217) + kShortData, InputEnd::kMemberCutShort);
  // Blanks in the time field run on through the blanked checksum field into
  // the type flag '0': a time of 0.
  ending("blank time reads the type flag", WithField(block, 136, 12, std::string(12, ' ')), "",
         InputEnd::kUnusableHeader);
  {
    // A member of exactly 16 MiB is handed on; one byte more is read past
    // and the walk goes on behind it.
    TarMember limit = File("limit", 16 << 20, 9);
    TarMember over = File("over", (16 << 20) + 1, 10);
    Bytes a;
    AppendTarMember(&a, limit);
    AppendTarMember(&a, over);
    AppendTarMember(&a, one);
    AppendTarEnd(&a);
    cases.push_back({"16 MiB handed on, 16 MiB + 1 skipped", a, {Expect(limit), Expect(one)},
                     TooLarge("over", 16777217)});
  }
  {
    // A blank size field runs on into the time field: 011 is read as the size.
    TarMember nine = File("nine", 9, 8);
    Bytes header = MakeTarHeader(nine);
    SetTarField(&header, 124, 12, std::string(12, ' '));
    SetTarField(&header, 136, 12, "00000000011");
    SealTarHeader(&header);
    Bytes a;
    AppendTarBlocks(&a, header, nine.data);
    AppendTarMember(&a, one);
    AppendTarEnd(&a);
    cases.push_back({"blank size reads the time field", a, {Expect(nine), Expect(one)}, ""});
  }
  return cases;
}

TEST(ProcessTar, Walks) {
  for (const WalkCase& c : WalkCases()) {
    WalkResult result = Walk(c.archive);
    EXPECT_EQ(result.output, c.output) << c.what;
    EXPECT_EQ(result.end, c.end) << c.what;
    ASSERT_EQ(result.members.size(), c.members.size()) << c.what;
    for (size_t i = 0; i < c.members.size(); ++i) {
      EXPECT_EQ(result.members[i].name, c.members[i].name) << c.what;
      EXPECT_TRUE(result.members[i].data == c.members[i].data)
          << c.what << ": " << c.members[i].name;
    }
  }
}

TEST(ProcessTar, AnyFlippedHeaderBitIsAChecksumError) {
  TarMember first = File("first", 600, 1), second = File("second", 100, 2);
  Bytes clean;
  AppendTarMember(&clean, first);
  size_t headerAt = clean.size();
  AppendTarMember(&clean, second);
  AppendTarEnd(&clean);
  TempDir dir;
  std::string path = dir.File("flipped.tar");
  for (int at = 0; at < kTarBlockSize; ++at) {
    if (at >= 148 && at < 156) continue;  // the checksum field itself
    Bytes archive = clean;
    archive[headerAt + at] ^= static_cast<uint8_t>(1u << (at % 8));
    ASSERT_TRUE(WriteFileBytes(path, archive));
    WalkResult result = WalkFile(path);
    EXPECT_EQ(result.output, kChecksumError) << "byte " << at;
    ASSERT_EQ(result.members.size(), 1u) << "byte " << at;
    EXPECT_EQ(result.members[0], Expect(first));
  }
}

TEST(ProcessTar, TooShortOrMissingArchivesProduceNothing) {
  Bytes header = MakeTarHeader(File("x", 1, 1));
  for (size_t size : {0, 31, 32, 511}) {
    WalkResult result = Walk(Bytes(header.begin(), header.begin() + size));
    EXPECT_TRUE(result.members.empty()) << size;
    EXPECT_EQ(result.output, "") << size;
  }
  EXPECT_EQ(WalkFile("/nonexistent/archive.tar").output, "");
}

// A member of zeros far larger than the memory the process may take, in a
// small .tar.gz: it is read past in bounded pieces and the member behind it
// still arrives.
// POSIX only: an address-space limit in a forked process.
#ifndef _WIN32
TEST(ProcessTar, MemoryFollowsTheData) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "address-space limits do not mix with the sanitizer's shadow memory";
#endif
  TempDir dir;
  TarMember huge;
  huge.name = "zeros";
  huge.size = int64_t{300} << 20;
  TarMember after = File("after", 1000, 9);
  Bytes rest;
  AppendTarMember(&rest, after);
  AppendTarEnd(&rest);
  ASSERT_TRUE(WriteFileBytes(dir.File("header"), MakeTarHeader(huge)));
  ASSERT_TRUE(WriteFileBytes(dir.File("rest"), rest));
  ASSERT_EQ(RunCommand("cd " + dir.path() + " && (cat header; head -c " +
                       std::to_string(*huge.size) + " /dev/zero; cat rest) | gzip -1 > huge.tar.gz"),
            0);
  std::fflush(stdout);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit limit = {256u << 20, 256u << 20};
    setrlimit(RLIMIT_AS, &limit);
    WalkResult result = WalkFile(dir.File("huge.tar.gz"));
    bool sound = result.end == InputEnd::kCleanEnd && result.members.size() == 1 &&
                 result.members[0] == Expect(after) &&
                 result.output == TooLarge("zeros", *huge.size);
    _exit(sound ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif  // _WIN32

// Archives written by GNU tar in each of its formats, with a directory entry
// between members: every regular member arrives with its exact bytes; pax
// extended headers arrive as members of their own; a long-name header
// (modification time 0) ends the walk.
TEST(ProcessTar, ArchivesWrittenByGnuTar) {
  if (RunCommand("tar --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tar";
  TempDir dir(true);
  std::filesystem::create_directory("d");
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"a.bin", Payload(1000, 1)}, {"d/c.bin", Payload(1, 2)}, {"b.bin", Payload(512, 3)}};
  const std::string longName(120, 'L');
  for (const auto& [name, data] : files) ASSERT_TRUE(WriteFileBytes(name, data));
  ASSERT_TRUE(WriteFileBytes(longName, Payload(700, 4)));

  for (const char* format : {"gnu", "ustar", "pax", "v7"}) {
    std::string archive = std::string(format) + ".tar";
    // ustar and v7 refuse the long name and leave it out.
    RunCommand("tar --format=" + std::string(format) + " -cf " + archive + " a.bin d b.bin " +
               longName + " 2>/dev/null");
    WalkResult result = WalkFile(archive);
    EXPECT_EQ(result.output, "") << format;
    std::vector<Member> regular;
    size_t extended = 0;
    for (const Member& m : result.members) {
      if (m.name.find("PaxHeaders/") != std::string::npos) {
        ++extended;
        EXPECT_NE(std::string(m.data.begin(), m.data.end()).find("time="), std::string::npos);
      } else {
        regular.push_back(m);
      }
    }
    std::vector<Member> expected;
    for (const auto& [name, data] : files) expected.push_back({name, data});
    if (std::string(format) == "pax")
      expected.push_back({longName.substr(0, 100), Payload(700, 4)});
    EXPECT_EQ(regular, expected) << format;
    EXPECT_EQ(extended, std::string(format) == "pax" ? 5u : 0u) << format;
  }
}

// Members reach the real intake with their exact bytes: each product lands
// whole in its site-volume file, and a failure later on leaves it there.
TEST(ProcessTar, HandsMembersToTheIntake) {
  TempDir dir(true);
  ProductSpec reflectivity;
  ProductSpec velocity;
  velocity.category = "N0V";
  velocity.messageCode = 27;
  velocity.bodySize = 3000;
  TarMember first, second;
  first.name = "KTLX_SDUS54_N0RTLX_200507031203";
  first.data = BuildProduct(reflectivity);
  second.name = "KTLX_SDUS54_N0VTLX_200507031203";
  second.data = BuildProduct(velocity);
  Bytes archive;
  AppendTarMember(&archive, first);
  AppendTarMember(&archive, second);
  archive.resize(archive.size() - 512);  // the second member's data is cut
  ASSERT_TRUE(WriteFileBytes("archive.tar", archive));

  Conversion result = ConvertArchive(dir.File("archive.tar"));
  EXPECT_EQ(result.output, "\rProcessing: " + first.name + "      " + kShortData);
  EXPECT_EQ(result.stored, 1);
  EXPECT_EQ(result.end, InputEnd::kMemberCutShort);
  Bytes stored = result.files["ktlx_20050703_120312.jx4"];
  ASSERT_EQ(stored.size(), kVolumeHeaderSize + first.data.size());
  EXPECT_TRUE(Bytes(stored.begin() + kVolumeHeaderSize, stored.end()) == first.data);
}

}  // namespace

// The tar vectors of other projects: each hands on as many members as its
// headers allow and ends the way they say; where the walk reaches the zero
// block, every member that GNU tar extracts as a file arrived with the same
// bytes (sparse members excepted: they hold a map and the data blocks).
// Compressed ones are walked as they are, and compared with what GNU tar
// extracts from a copy that gzip expanded.
TEST(ProcessTar, SharedVectors) {
  NIMBREL_REQUIRE_TESTDATA();
  struct Vector {
    const char* file;
    size_t members;
    const char* output;
    bool compare;  // the walk ends at the zero block and no member is sparse
  };
  const Vector vectors[] = {
      {"archive_with_trailer.tar", 2, "", true},
      {"bla.tar", 2, "", true},
      {"bla.tar.Z", 2, "", true},
      {"COMPRESS-114.tar", 2, "", true},
      {"COMPRESS-117.tar", 1, "", false},
      {"COMPRESS-178-fail.tar", 0, kChecksumError, false},
      {"COMPRESS-279-fail.tar", 3, kShortData, false},
      {"COMPRESS-324.tar", 0, "", false},
      {"COMPRESS-335.tar", 1, "", false},
      {"COMPRESS-544_truncated_in_content-fail.tar", 1, kShortData, false},
      {"COMPRESS-544_truncated_in_padding-fail.tar", 1, kShortData, false},
      {"COMPRESS-553-fail.tar", 0, kChecksumUnreadable, false},
      {"COMPRESS-569-fail.tar", 0, kChecksumUnreadable, false},
      {"COMPRESS-707-lenient.tar", 0, "", false},
      {"FreeBSD_ustar.tar", 10, "", true},
      {"longpath_cygwin_gnu.tar", 0, "", false},
      {"longpath_winXP_antgnu.tar", 5, "", true},
      {"longsymlink_gnu.tar", 0, "", false},
      {"oldgnu_sparse.tar", 1, "", false},
      {"pax_gnu_sparse.tar", 6, "", false},
      {"posix10_sparse.tar", 2, "", false},
      {"preepoch-posix.tar", 1, "", true},
      {"preepoch-star.tar", 0, "", true},
      {"simple-aix-native-tar.tar", 0, "", true},
      {"SunOS_cEf.tar", 20, "", true},
      {"test-times-exustar-folder.tar", 0, "", false},
      {"test-times-gnu.tar", 1, "", true},
      {"test-times-oldgnu.tar", 1, "", true},
      {"test-times-pax-folder.tar", 0, "", false},
      {"test-times-posix.tar", 2, "", true},
      {"test-times-star-folder.tar", 1, "", true},
      {"test-times-ustar.tar", 1, "", true},
      {"test-times-v7.tar", 1, "", true},
      {"test-times-xstar.tar", 1, "", true},
      {"test_compat_gtar_1.tar", 0, "", false},
      {"test_compat_mac-1.tar.Z", 0, "", false},
      {"test_compat_mac-2.tar.Z", 2, "", true},
      {"test_compat_solaris_tar_acl.tar", 4, "", true},
      {"test_compat_tar_hardlink_1.tar", 1, kShortData, false},
      {"test_compat_uudecode_large.tar.Z", 1, "", true},
      {"test_extract.tar.Z", 2, "", true},
      {"test_option_s.tar.Z", 4, "", true},
      {"test_print_longpath.tar.Z", 4, "", true},
      {"test_read_format_gtar_redundant_L.tar.Z", 0, "", false},
      {"test_read_format_gtar_sparse_skip_entry.tar.Z", 2, kChecksumUnreadable, false},
      {"test_read_format_tar_concatenated.tar", 0, "", true},
      {"test_read_format_tar_empty_filename.tar", 0, "", false},
      {"test_read_format_tar_empty_pax.tar.Z", 1, "", true},
      {"test_read_format_tar_empty_with_gnulabel.tar", 0, "", false},
      {"test_read_format_tar_pax_large_attr.tar.Z", 1, "", true},
      {"test_read_format_tar_pax_negative_time.tar", 0, "", false},
      {"test_read_format_tar_timestamp_overflow.tar", 0, "", false},
      {"test_read_format_tar_V_negative_size.tar", 0, kChecksumUnreadable, false},
      {"test_read_format_ustar_filename_koi8r.tar.Z", 2, "", true},
  };
  for (const Vector& v : vectors) {
    TempDir dir;
    std::string path = TestdataDir() + "/tar/" + v.file;
    WalkResult result = WalkFile(path);
    std::string plain = dir.File("plain.tar");
    if (path.ends_with(".Z")) {
      ASSERT_EQ(RunCommand("gzip -dc < '" + path + "' > " + plain), 0) << v.file;
      path = plain;
    }
    EXPECT_EQ(result.members.size(), v.members) << v.file;
    EXPECT_EQ(result.output, v.output) << v.file;
    if (!v.compare) continue;
#ifdef _WIN32
    // Extracted names in other encodings, and links, do not come back
    // through Windows as the archive wrote them: the counts above suffice.
    continue;
#endif

    std::string extracted = dir.File("x");
    std::filesystem::create_directory(extracted);
    RunCommand("tar -xf '" + path + "' -C " + extracted + " --no-same-owner 2>/dev/null");
    size_t files = 0, matched = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(extracted)) {
      if (!entry.is_regular_file() || entry.file_size() == 0) continue;
      files += entry.hard_link_count() == 1;  // a hard link's member has no data
      std::string name = std::filesystem::relative(entry.path(), extracted).string();
      // The last member of that name: an extended header may go before it.
      for (auto m = result.members.rbegin(); m != result.members.rend(); ++m) {
        if (m->name == name || m->name == "./" + name || m->name == "/" + name) {
          EXPECT_TRUE(m->data == ReadFileBytes(entry.path().string())) << v.file << ": " << name;
          matched += entry.hard_link_count() == 1;
          break;
        }
      }
    }
    EXPECT_EQ(matched, files) << v.file;
  }
}

}  // namespace nimbrel
