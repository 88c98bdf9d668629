#include "sources/any_input.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/input_file.h"
#include "products/framed_product.h"
#include "products/product_intake.h"
#include "sources/tar_walker.h"
#include "streams/open_stream.h"
#include "streams/read_ahead_stream.h"

namespace nimbrel {

namespace {

constexpr size_t kHeadSize = 512;
constexpr int32_t kArchiveBlock = 256 * 1024;
constexpr size_t kFileBlock = 1 << 20;

bool At(const uint8_t* head, size_t size, size_t at, const char* magic, size_t length) {
  return size >= at + length && std::memcmp(head + at, magic, length) == 0;
}

bool LooksLikeTar(const uint8_t* head, size_t size) {
  if (size < static_cast<size_t>(kTarBlockSize) || head[0] == 0) return false;
  if (At(head, size, 257, "ustar", 5)) return true;
  int64_t checksum = 0;
  return ParseTarNumber(head, 148, 8, &checksum) && TarHeaderSum(head) == checksum;
}

const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* at = path; *at != '\0'; ++at) {
    if (*at == '/' || *at == '\\') base = at + 1;
  }
  return base;
}

// One input's walk through nested content.
struct Walk {
  explicit Walk(RunContext& runContext) : context(runContext) {}
  RunContext& context;
  // The first fault met; the walk goes on past faults inside members.
  InputEnd end = InputEnd::kCleanEnd;
  std::string faultMember;
  std::string detail;
  // The product candidate: candidate[0, filled), either lent by its stream
  // or copied into `buffer`, which is kept between candidates so that each
  // does not cost a fresh allocation.
  const uint8_t* candidate = nullptr;
  std::unique_ptr<uint8_t[]> buffer;
  size_t capacity = 0;
  size_t filled = 0;

  void Fault(InputEnd why, const std::string& member, const char* what) {
    if (end != InputEnd::kCleanEnd) return;
    end = why;
    faultMember = member;
    detail = what != nullptr ? what : "";
  }
  // The fault `stream` ended in, if it did.
  void FaultOf(const ByteStream& stream, const std::string& member) {
    if (IsFault(stream.End())) Fault(InputEndOf(stream.End(), InputEnd::kDecodingError), member, nullptr);
  }
  void Report(const std::string& member, int64_t size, Outcome outcome) {
    ProductEvent event;
    event.member = member.c_str();
    event.size = size;
    event.outcome = outcome;
    ReportProduct(context, event);
  }
};

// Where a level of nesting stands: the member path so far and the depths.
struct Level {
  std::string member;
  int archives = 0;
  int decoders = 0;
};

std::string Join(const std::string& outer, const char* name) {
  return outer.empty() ? std::string(name) : outer + "/" + name;
}

// The bytes of an archive entry, as a stream that lends the library's own
// blocks; a hole in a sparse entry reads as zeros.
class EntryStream : public ByteStream {
 public:
  EntryStream(struct archive* reader, const char* name) : ByteStream(name), reader_(reader) {}

  int32_t Read(uint8_t* buffer, int32_t length) override {
    int32_t done = 0;
    const uint8_t* lent = nullptr;
    while (done < length) {
      int32_t got = Borrow(&lent, length - done);
      if (got <= 0) break;
      std::memcpy(buffer + done, lent, static_cast<size_t>(got));
      done += got;
    }
    return done;
  }

  int32_t Borrow(const uint8_t** bytes, int32_t length) override {
    static constexpr uint8_t kZeros[4096] = {};
    if (End() != StreamEnd::kOpen) return 0;
    if (length <= 0) return -1;
    while (hole_ == 0 && left_ == 0) {
      const void* block = nullptr;
      size_t size = 0;
      la_int64_t offset = 0;
      int rc = archive_read_data_block(reader_, &block, &size, &offset);
      if (rc == ARCHIVE_EOF || rc < ARCHIVE_WARN) {
        SetEnd(rc == ARCHIVE_EOF ? StreamEnd::kEndOfData : StreamEnd::kCorrupt);
        return 0;
      }
      hole_ = offset > next_ ? offset - next_ : 0;
      next_ = offset + static_cast<la_int64_t>(size);
      block_ = static_cast<const uint8_t*>(block);
      left_ = size;
    }
    if (hole_ > 0) {
      int32_t lent = static_cast<int32_t>(std::min<int64_t>({hole_, length, sizeof kZeros}));
      hole_ -= lent;
      *bytes = kZeros;
      return lent;
    }
    int32_t lent = static_cast<int32_t>(std::min(left_, static_cast<size_t>(length)));
    *bytes = block_;
    block_ += lent;
    left_ -= static_cast<size_t>(lent);
    return lent;
  }

 private:
  struct archive* reader_;
  const uint8_t* block_ = nullptr;  // the rest of the library's current block
  size_t left_ = 0;
  int64_t hole_ = 0;                // zeros to deliver before it
  la_int64_t next_ = 0;             // the entry offset after the current block
};

// What the archive library reads from: one of our streams.
struct StreamClient {
  ByteStream* stream;
  std::vector<uint8_t> block;
};

la_ssize_t ReadFromStream(struct archive* reader, void* data, const void** block) {
  auto* client = static_cast<StreamClient*>(data);
  const uint8_t* lent = nullptr;
  int32_t got = client->stream->Borrow(&lent, kArchiveBlock);
  if (got >= 0) {
    *block = lent;
  } else {
    got = client->stream->Read(client->block.data(), kArchiveBlock);
    *block = client->block.data();
  }
  if (got == 0 && IsFault(client->stream->End())) {
    archive_set_error(reader, -1, "the data under the archive could not be read");
    return ARCHIVE_FATAL;
  }
  return got;
}

struct ReaderCloser {
  void operator()(struct archive* reader) const { archive_read_free(reader); }
};
using Reader = std::unique_ptr<struct archive, ReaderCloser>;

// A reader of every format we take (mtree and other text formats are left
// out: a text product must not pass for an archive); with `raw`, also a
// compressed file that holds no archive, as one member.
Reader NewReader(bool raw) {
  Reader reader(archive_read_new());
  if (reader == nullptr) return nullptr;
  struct archive* a = reader.get();
  archive_read_support_filter_all(a);
  archive_read_support_format_tar(a);
  archive_read_support_format_gnutar(a);
  archive_read_support_format_zip(a);
  archive_read_support_format_7zip(a);
  archive_read_support_format_cpio(a);
  archive_read_support_format_rar(a);
  archive_read_support_format_rar5(a);
  archive_read_support_format_xar(a);
  archive_read_support_format_ar(a);
  archive_read_support_format_iso9660(a);
  archive_read_support_format_cab(a);
  archive_read_support_format_lha(a);
  if (raw) archive_read_support_format_raw(a);
  return reader;
}

void HandleStream(Walk& walk, const Level& level, std::unique_ptr<ByteStream> stream, int64_t size);

// Reads the rest of `stream` into the walk's buffer, which grows with what
// arrives (from the size announced, when there is one) and is kept for the
// next candidate. kTooLarge when more than kMaxProductSize bytes arrive,
// kNoMemory when they cannot be held, else kStored.
Outcome ReadCandidate(Walk& walk, ByteStream& stream, int64_t announced) {
  constexpr size_t kFirst = 64 * 1024;
  constexpr size_t kLimit = static_cast<size_t>(kMaxProductSize) + 1;
  size_t wanted = announced >= 0 ? std::min(static_cast<size_t>(announced) + 1, kLimit) : kFirst;
  walk.filled = 0;
  walk.candidate = walk.buffer.get();
  // A whole candidate lent at once (the usual tar member) is used in place.
  const uint8_t* lent = nullptr;
  int32_t got = stream.Borrow(&lent, static_cast<int32_t>(kLimit));
  if (got >= 0 && static_cast<int64_t>(got) == announced) {
    walk.candidate = lent;
    walk.filled = static_cast<size_t>(got);
    return Outcome::kStored;
  }
  if (got > 0) wanted = std::min(std::max(wanted, static_cast<size_t>(got) + 1), kLimit);
  for (bool first = true;; first = false) {
    if (wanted > walk.capacity) {
      // Uninitialised: every byte handed on is one that was read.
      std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[wanted]);
      if (grown == nullptr) return Outcome::kNoMemory;
      if (walk.filled > 0) std::memcpy(grown.get(), walk.buffer.get(), walk.filled);
      walk.buffer = std::move(grown);
      walk.capacity = wanted;
      walk.candidate = walk.buffer.get();
    }
    if (first && got >= 0) {  // what was lent, then the rest
      if (got > 0) std::memcpy(walk.buffer.get(), lent, static_cast<size_t>(got));
      walk.filled = static_cast<size_t>(got);
      if (got == 0) break;
    }
    int32_t want = static_cast<int32_t>(walk.capacity - walk.filled);
    int32_t read = stream.Read(walk.buffer.get() + walk.filled, want);
    walk.filled += static_cast<size_t>(read);
    if (read < want || walk.capacity == kLimit) break;
    wanted = std::min(walk.capacity * 2, kLimit);
  }
  return walk.filled < kLimit ? Outcome::kStored : Outcome::kTooLarge;
}

// Files one product candidate (or the products of a framed file).
void HandleBytes(Walk& walk, const std::string& member, const uint8_t* bytes, size_t size) {
  if (!LooksFramed(bytes, size)) {
    ProcessProduct(walk.context, member.c_str(), bytes, static_cast<int32_t>(size));
    return;
  }
  std::vector<UnframedProduct> products = UnframeProducts(bytes, size);
  for (size_t i = 0; i < products.size(); ++i) {
    std::string name = products.size() == 1 ? member : member + "#" + std::to_string(i + 1);
    const UnframedProduct& product = products[i];
    if (product.problem != Outcome::kStored) {
      walk.Report(name, static_cast<int64_t>(product.image.size()), product.problem);
    } else {
      ProcessProduct(walk.context, name.c_str(), product.image.data(),
                     static_cast<int32_t>(product.image.size()));
    }
  }
}

// Reads every member of an opened archive.
void ReadArchive(Walk& walk, const Level& level, struct archive* reader, ByteStream* source) {
  struct archive_entry* entry = nullptr;
  int rc;
  while ((rc = archive_read_next_header(reader, &entry)) == ARCHIVE_OK || rc == ARCHIVE_WARN) {
    if (archive_entry_filetype(entry) != AE_IFREG) continue;
    const char* name = archive_entry_pathname(entry);
    // Members of the input's own archive go by their names; those of a
    // nested archive by the path through it.
    Level inner = level;
    const char* entryName = name != nullptr ? name : "(unnamed)";
    inner.member = level.archives > 1 ? Join(level.member, entryName) : entryName;
    int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
    HandleStream(walk, inner, std::make_unique<EntryStream>(reader, inner.member.c_str()), size);
  }
  if (rc != ARCHIVE_EOF) {
    StreamEnd under = source != nullptr ? source->End() : StreamEnd::kOpen;
    walk.Fault(InputEndOf(under, InputEnd::kDecodingError), level.member, archive_error_string(reader));
  }
}

// Reads an archive (or a file of the library's compressions) from `stream`.
void ReadArchiveStream(Walk& walk, const Level& level, std::unique_ptr<ByteStream> stream, bool raw) {
  Reader reader = NewReader(raw);
  StreamClient client{stream.get(), std::vector<uint8_t>(kArchiveBlock)};
  if (reader == nullptr ||
      archive_read_open(reader.get(), &client, nullptr, ReadFromStream, nullptr) != ARCHIVE_OK) {
    walk.Fault(InputEnd::kDecodingError, level.member,
               reader != nullptr ? archive_error_string(reader.get()) : "no memory");
    return;
  }
  ReadArchive(walk, level, reader.get(), stream.get());
  if (walk.end != InputEnd::kCleanEnd) return;
  // Whatever follows the archive's end is read too, so that a damaged end
  // of a compressed file (a gzip trailer, say) does not pass unnoticed.
  uint8_t rest[4096];
  while (stream->Read(rest, sizeof rest) == static_cast<int32_t>(sizeof rest)) {
  }
  walk.FaultOf(*stream, level.member);
}

void HandleStream(Walk& walk, const Level& level, std::unique_ptr<ByteStream> stream, int64_t size) {
  std::vector<uint8_t> head;
  stream = Peek(std::move(stream), kHeadSize, &head);
  ContentKind kind = ClassifyContent(head.data(), head.size());
  switch (kind) {
    case ContentKind::kCompress:
    case ContentKind::kGzip:
    case ContentKind::kBz2Blocks: {
      if (level.decoders >= kMaxNesting) return walk.Report(level.member, size, Outcome::kTooDeep);
      StreamKind decoder = kind == ContentKind::kCompress ? StreamKind::kCompress
                           : kind == ContentKind::kGzip   ? StreamKind::kGzip
                                                          : StreamKind::kBz2Blocks;
      std::unique_ptr<ByteStream> decoded = WrapStream(decoder, std::move(stream));
      if (decoded == nullptr) return walk.Fault(InputEnd::kNoMemory, level.member, nullptr);
      // The outermost decoder runs on a thread of its own.
      if (walk.context.decodeAhead && level.decoders == 0 && level.archives == 0) {
        decoded = std::make_unique<ReadAheadStream>(std::move(decoded));
      }
      Level inner = level;
      ++inner.decoders;
      return HandleStream(walk, inner, std::move(decoded), -1);
    }
    case ContentKind::kLevelTwo:
      return walk.Report(level.member, size, Outcome::kLevelTwo);
    case ContentKind::kArchive:
    case ContentKind::kCompressed: {
      if (level.archives >= kMaxNesting) return walk.Report(level.member, size, Outcome::kTooDeep);
      Level inner = level;
      ++inner.archives;
      return ReadArchiveStream(walk, inner, std::move(stream), kind == ContentKind::kCompressed);
    }
    case ContentKind::kFramed:
    case ContentKind::kOther:
      break;
  }
  if (size > kMaxProductSize) return walk.Report(level.member, size, Outcome::kTooLarge);
  Outcome read = ReadCandidate(walk, *stream, size);
  if (read != Outcome::kStored) return walk.Report(level.member, static_cast<int64_t>(walk.filled), read);
  if (IsFault(stream->End())) return walk.FaultOf(*stream, level.member);
  HandleBytes(walk, level.member, walk.candidate, walk.filled);
}

// Reports how the walk ended, once.
InputEnd Finish(const Walk& walk) {
  InputEvent event;
  event.input = walk.context.input;
  event.end = walk.end;
  event.member = walk.faultMember.c_str();
  event.detail = walk.detail.c_str();
  walk.context.reporter->InputEnded(event);
  return event.end;
}

}  // namespace

ContentKind ClassifyContent(const uint8_t* head, size_t size) {
  if (size >= 2 && head[0] == 0x1F && head[1] == 0x9D) return ContentKind::kCompress;
  if (size >= 2 && head[0] == 0x1F && head[1] == 0x8B) return ContentKind::kGzip;
  if (At(head, size, 0, "AR2V", 4) || At(head, size, 0, "ARCHIVE2", 8)) return ContentKind::kLevelTwo;
  if (At(head, size, 28, "BZ", 2) && size >= kSniffSize) return ContentKind::kBz2Blocks;
  if ((At(head, size, 0, "BZh", 3) && size > 3 && head[3] >= '1' && head[3] <= '9') ||
      At(head, size, 0, "\xFD" "7zXZ\0", 6) || At(head, size, 0, "\x28\xB5\x2F\xFD", 4) ||
      At(head, size, 0, "\x04\x22\x4D\x18", 4) || At(head, size, 0, "LZIP", 4)) {
    return ContentKind::kCompressed;
  }
  if (At(head, size, 0, "PK\x03\x04", 4) || At(head, size, 0, "PK\x05\x06", 4) ||
      At(head, size, 0, "PK\x07\x08", 4) || At(head, size, 0, "7z\xBC\xAF\x27\x1C", 6) ||
      At(head, size, 0, "Rar!\x1A\x07", 6) || At(head, size, 0, "xar!", 4) ||
      At(head, size, 0, "!<arch>\n", 8) || At(head, size, 0, "07070", 5) ||
      At(head, size, 0, "\xC7\x71", 2) || At(head, size, 0, "\x71\xC7", 2) ||
      LooksLikeTar(head, size)) {
    return ContentKind::kArchive;
  }
  if (LooksFramed(head, size)) return ContentKind::kFramed;
  return ContentKind::kOther;
}

InputEnd ProcessAnyFile(RunContext& context, const char* path) {
  Walk walk(context);
  int32_t fd = OpenInputFile(path);
  if (fd < 0) {
    walk.Fault(InputEnd::kCantOpen, "", nullptr);
    return Finish(walk);
  }
  uint8_t head[kHeadSize];
  bool failed = false;
  int32_t got = ReadInputFully(fd, head, kHeadSize, &failed);
  ContentKind kind = ClassifyContent(head, static_cast<size_t>(got));
  Level top;
  top.member = BaseName(path);
  if (failed) {
    CloseInputFile(fd);
    walk.Fault(InputEnd::kReadError, top.member, nullptr);
  } else if (kind == ContentKind::kArchive || kind == ContentKind::kCompressed) {
    // Read by the library from the file itself, which it may position (the
    // index of a zip or 7z archive lies at its end).
    CloseInputFile(fd);
    Reader reader = NewReader(kind == ContentKind::kCompressed);
    top.archives = 1;
    if (reader == nullptr ||
        archive_read_open_filename(reader.get(), path, kFileBlock) != ARCHIVE_OK) {
      walk.Fault(InputEnd::kDecodingError, top.member,
                 reader != nullptr ? archive_error_string(reader.get()) : "no memory");
    } else {
      ReadArchive(walk, top, reader.get(), nullptr);
    }
  } else {
    auto file = std::make_unique<FileStream>(path, fd);
    HandleStream(walk, top,
                 std::make_unique<PrefixedStream>(head, static_cast<size_t>(got), std::move(file)), -1);
  }
  return Finish(walk);
}

InputEnd ProcessAnyStream(RunContext& context, std::unique_ptr<ByteStream> stream) {
  Walk walk(context);
  Level top;
  top.member = stream->Name();
  HandleStream(walk, top, std::move(stream), -1);
  return Finish(walk);
}

}  // namespace nimbrel
