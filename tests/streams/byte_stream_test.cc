#include "streams/open_stream.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "streams/bz2_block_stream.h"
#include "streams/gzip_stream.h"
#include "streams/lzw_stream.h"
#include "support/test_env.h"

namespace nimbrel {

namespace {

using Bytes = std::vector<uint8_t>;

enum class Kind { kNone, kFile, kLzw, kGzip, kBz2 };

Kind KindOf(const ByteStream* stream) {
  if (stream == nullptr) return Kind::kNone;
  if (dynamic_cast<const LzwStream*>(stream) != nullptr) return Kind::kLzw;
  if (dynamic_cast<const GzipStream*>(stream) != nullptr) return Kind::kGzip;
  if (dynamic_cast<const Bz2BlockStream*>(stream) != nullptr) return Kind::kBz2;
  if (dynamic_cast<const PrefixedStream*>(stream) != nullptr) return Kind::kFile;
  return Kind::kNone;
}

// `size` bytes counting up from 1, with `marks` written over the start.
Bytes Head(size_t size, std::vector<std::pair<size_t, uint8_t>> marks) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  for (auto [at, value] : marks) bytes[at] = value;
  return bytes;
}

TEST(OpenByteStream, ChoosesTheKindFromTheFirst32Bytes) {
  struct Case {
    const char* what;
    Bytes content;
    Kind kind;
  };
  const Case cases[] = {
      {"empty file", {}, Kind::kNone},
      {"31 bytes", Head(31, {}), Kind::kNone},
      {"32 bytes", Head(32, {}), Kind::kFile},
      {"plain tar", Head(1024, {{0, 'K'}, {1, 'T'}}), Kind::kFile},
      {"compress magic", Head(64, {{0, 0x1F}, {1, 0x9D}}), Kind::kLzw},
      {"compress magic wins over BZ", Head(64, {{0, 0x1F}, {1, 0x9D}, {28, 'B'}, {29, 'Z'}}),
       Kind::kLzw},
      {"gzip magic", Head(64, {{0, 0x1F}, {1, 0x8B}}), Kind::kGzip},
      {"gzip magic wins over BZ", Head(64, {{0, 0x1F}, {1, 0x8B}, {28, 'B'}, {29, 'Z'}}),
       Kind::kGzip},
      {"BZ at byte 28", Head(64, {{28, 'B'}, {29, 'Z'}}), Kind::kBz2},
      {"BZ at byte 28, file of 32 bytes", Head(32, {{28, 'B'}, {29, 'Z'}}), Kind::kBz2},
      {"bare bzip2 (BZh at byte 0)", Head(64, {{0, 'B'}, {1, 'Z'}, {2, 'h'}}), Kind::kFile},
      {"1F alone", Head(64, {{0, 0x1F}, {1, 0x9E}}), Kind::kFile},
      {"B without Z", Head(64, {{28, 'B'}, {29, 'z'}}), Kind::kFile},
  };
  TempDir dir;
  for (const Case& c : cases) {
    std::string path = dir.File("input");
    ASSERT_TRUE(WriteFileBytes(path, c.content));
    std::unique_ptr<ByteStream> stream = OpenByteStream(path.c_str());
    EXPECT_EQ(KindOf(stream.get()), c.kind) << c.what;
  }
  EXPECT_EQ(OpenByteStream(dir.File("missing").c_str()), nullptr);
  EXPECT_EQ(OpenByteStream(dir.path().c_str()), nullptr);  // a folder
}

TEST(FileStream, DeliversTheFileFromItsFirstByteThenZero) {
  TempDir dir;
  std::string path = dir.File("plain");
  Bytes content = Head(1300, {});
  ASSERT_TRUE(WriteFileBytes(path, content));
  std::unique_ptr<ByteStream> stream = OpenByteStream(path.c_str());
  ASSERT_EQ(KindOf(stream.get()), Kind::kFile);
  EXPECT_STREQ(stream->Name(), path.c_str());

  Bytes got(1300, 0);
  ASSERT_EQ(stream->Read(got.data(), 512), 512);
  ASSERT_EQ(stream->Read(got.data() + 512, 512), 512);
  ASSERT_EQ(stream->Read(got.data() + 1024, 512), 276);  // short: the end
  EXPECT_TRUE(got == content);
  uint8_t more[512];
  for (int i = 0; i < 3; ++i) EXPECT_EQ(stream->Read(more, 512), 0);
  EXPECT_EQ(stream->Read(more, 0), 0);
  EXPECT_EQ(stream->Read(more, -5), 0);
}

// POSIX only, both: a writer process is forked, and the second reads a FIFO.
#ifndef _WIN32
// Over a pipe the system hands out what has been written so far; the stream
// still fills each request while data lasts, so a short count means the end.
TEST(FileStream, FillsRequestsFromAPipe) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    close(fds[0]);
    uint8_t chunk[300];
    std::memset(chunk, 7, sizeof chunk);
    for (int i = 0; i < 3; ++i) {
      if (write(fds[1], chunk, sizeof chunk) != static_cast<ssize_t>(sizeof chunk)) _exit(1);
      usleep(20000);
    }
    _exit(0);
  }
  close(fds[1]);
  {
    FileStream stream("pipe", fds[0]);  // closes the read end
    uint8_t buffer[512];
    EXPECT_EQ(stream.Read(buffer, 512), 512);
    EXPECT_EQ(stream.Read(buffer, 512), 388);
    EXPECT_EQ(stream.Read(buffer, 512), 0);
  }
  int status = 0;
  waitpid(writer, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Borrow lends what one read of the system gives, so that each write into
// a pipe reaches the reader as it comes; MoreAtHand tells whether a read
// would wait. Read and Borrow mix; a stop ends a wait.
TEST(FileStream, LendsEachWriteOfAPipeAsItComes) {
  for (bool withStop : {false, true}) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::atomic<bool> stop{false};
    FileStream stream("pipe", fds[0], withStop ? &stop : nullptr);
    const uint8_t* lent = nullptr;
    uint8_t bytes[300];
    std::memset(bytes, 5, sizeof bytes);
    EXPECT_FALSE(stream.MoreAtHand()) << withStop;
    ASSERT_EQ(write(fds[1], bytes, 300), 300);
    EXPECT_TRUE(stream.MoreAtHand());
    EXPECT_EQ(stream.Borrow(&lent, 1000), 300) << withStop;
    EXPECT_FALSE(stream.MoreAtHand());
    ASSERT_EQ(write(fds[1], bytes, 50), 50);
    EXPECT_EQ(stream.Borrow(&lent, 20), 20);
    EXPECT_TRUE(stream.MoreAtHand());  // the rest of that read
    uint8_t buffer[30];
    EXPECT_EQ(stream.Read(buffer, 30), 30);
    EXPECT_EQ(stream.End(), StreamEnd::kOpen);
    if (withStop) {
      stop = true;
      EXPECT_EQ(stream.Borrow(&lent, 10), 0);
      EXPECT_EQ(stream.End(), StreamEnd::kInterrupted);
    } else {
      close(fds[1]);
      fds[1] = -1;
      EXPECT_EQ(stream.Borrow(&lent, 10), 0);
      EXPECT_EQ(stream.End(), StreamEnd::kEndOfData);
    }
    if (fds[1] >= 0) close(fds[1]);
  }
}

// Peek gathers a head from pieces shorter than it, unless the caller says
// that the bytes at hand decide already (a feed's short first product).
TEST(Peek, GathersTheHeadFromShortPieces) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  Bytes first = Head(40, {}), second = Head(600, {});
  ASSERT_EQ(write(fds[1], first.data(), first.size()), 40);
  std::vector<uint8_t> head;
  auto always = [](const uint8_t*, size_t) { return true; };
  std::unique_ptr<ByteStream> stream =
      Peek(std::make_unique<FileStream>("pipe", fds[0]), 512, &head, always);
  EXPECT_TRUE(head == first);  // nothing more was at hand: not waited for
  ASSERT_EQ(write(fds[1], second.data(), second.size()), 600);
  close(fds[1]);
  // Without `enough`, pieces are gathered up to the head's size.
  std::unique_ptr<ByteStream> again = Peek(std::move(stream), 512, &head);
  ASSERT_EQ(head.size(), 512u);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), head.begin()));
  EXPECT_TRUE(std::equal(head.begin() + 40, head.end(), second.begin()));
  uint8_t all[700];
  EXPECT_EQ(again->Read(all, 700), 640);
  EXPECT_TRUE(std::equal(second.begin(), second.end(), all + 40));
  EXPECT_EQ(again->End(), StreamEnd::kEndOfData);
}

// Nothing is positioned: a compressed archive read through a FIFO decodes
// exactly as the same file does.
TEST(OpenByteStream, CompressedInputFromAFifoDecodesLikeAFile) {
  TempDir dir;
  Bytes plain(20000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 31 / 7);
  ASSERT_TRUE(WriteFileBytes(dir.File("data"), plain));
  ASSERT_EQ(RunCommand("compress -c " + dir.File("data") + " > " + dir.File("data.Z")), 0);
  Bytes compressed = ReadFileBytes(dir.File("data.Z"));
  ASSERT_GT(compressed.size(), 64u);
  std::string fifo = dir.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    FILE* out = std::fopen(fifo.c_str(), "wb");
    if (out != nullptr) {
      std::fwrite(compressed.data(), 1, compressed.size(), out);
      std::fclose(out);
    }
    _exit(0);
  }
  std::unique_ptr<ByteStream> stream = OpenByteStream(fifo.c_str());
  ASSERT_NE(stream, nullptr);
  Bytes buffer(plain.size() + 100);
  EXPECT_EQ(stream->Read(buffer.data(), static_cast<int32_t>(buffer.size())),
            static_cast<int32_t>(plain.size()));
  buffer.resize(plain.size());
  EXPECT_TRUE(buffer == plain);
  EXPECT_EQ(stream->End(), StreamEnd::kEndOfData);
  stream.reset();
  waitpid(writer, nullptr, 0);
}
#endif  // _WIN32

// Each kind says why it ended, so that a clean end can be told from damage.
TEST(ByteStream, SaysWhyItEnded) {
  TempDir dir;
  Bytes plain(5000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7 % 251);
  ASSERT_TRUE(WriteFileBytes(dir.File("data"), plain));
  ASSERT_EQ(RunCommand("cd " + dir.path() + " && compress -c data > data.Z && gzip -c data > data.gz"),
            0);
  Bytes z = ReadFileBytes(dir.File("data.Z"));
  Bytes gz = ReadFileBytes(dir.File("data.gz"));
  Bytes gzTrailing = gz;
  gzTrailing.insert(gzTrailing.end(), 100, 0);
  Bytes gzCut(gz.begin(), gz.end() - 20);
  Bytes gzDamaged = gz;
  gzDamaged[gz.size() - 6] ^= 0xFF;  // the CRC
  Bytes zBadCode = z;
  zBadCode[3] = 0xFF;  // the first code after the first is 511: above the next free one
  zBadCode[4] = 0xFF;
  zBadCode[5] = 0xFF;
  Bytes zWide = z;
  zWide[2] = 0x91;  // 17 bits
  struct Case {
    const char* what;
    Bytes content;
    StreamEnd end;
  };
  const Case cases[] = {
      {"plain file", plain, StreamEnd::kEndOfData},
      {".Z", z, StreamEnd::kEndOfData},
      {".Z with a code above the next free one", zBadCode, StreamEnd::kCorrupt},
      {".Z naming 17 bits", zWide, StreamEnd::kCorrupt},
      {"gzip", gz, StreamEnd::kEndOfData},
      {"gzip with trailing zeros", gzTrailing, StreamEnd::kEndOfData},
      {"gzip cut short", gzCut, StreamEnd::kCutShort},
      {"gzip with a bad CRC", gzDamaged, StreamEnd::kCorrupt},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFileBytes(dir.File("input"), c.content));
    std::unique_ptr<ByteStream> stream = OpenByteStream(dir.File("input").c_str());
    ASSERT_NE(stream, nullptr) << c.what;
    Bytes buffer(8192);
    while (stream->Read(buffer.data(), 512) == 512) {
      EXPECT_EQ(stream->End(), StreamEnd::kOpen) << c.what;
    }
    EXPECT_EQ(stream->End(), c.end) << c.what;
  }
  OpenFailure failure = OpenFailure::kNone;
  EXPECT_EQ(OpenByteStream(dir.File("missing").c_str(), &failure), nullptr);
  EXPECT_EQ(failure, OpenFailure::kCantOpen);
  ASSERT_TRUE(WriteFileBytes(dir.File("short"), Bytes(31, 'x')));
  EXPECT_EQ(OpenByteStream(dir.File("short").c_str(), &failure), nullptr);
  EXPECT_EQ(failure, OpenFailure::kTooShort);
}

TEST(ByteStream, LongPathsAreCutToTheNameBuffer) {
  std::string path(700, 'p');
  FileStream stream(path.c_str(), -1);
  EXPECT_EQ(std::string(stream.Name()), path.substr(0, 511));
  uint8_t buffer[16];
  EXPECT_EQ(stream.Read(buffer, 16), 0);
}

}  // namespace

}  // namespace nimbrel
