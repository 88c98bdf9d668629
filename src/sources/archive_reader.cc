#include "sources/archive_reader.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstring>

namespace nimbrel {

namespace {

constexpr int32_t kArchiveBlock = 256 * 1024;  // asked of a stream at a time
constexpr size_t kFileBlock = 1 << 20;         // the library's reads of a file

bool At(const uint8_t* head, size_t size, const char* magic, size_t length) {
  return size >= length && std::memcmp(head, magic, length) == 0;
}

}  // namespace

bool ArchiveFilterRecognises(const uint8_t* head, size_t size) {
  return (At(head, size, "BZh", 3) && size > 3 && head[3] >= '1' && head[3] <= '9') ||
         At(head, size, "\xFD" "7zXZ\0", 6) || At(head, size, "\x28\xB5\x2F\xFD", 4) ||
         At(head, size, "\x04\x22\x4D\x18", 4) || At(head, size, "LZIP", 4);
}

bool ArchiveFormatRecognises(const uint8_t* head, size_t size) {
  return At(head, size, "PK\x03\x04", 4) || At(head, size, "PK\x05\x06", 4) ||
         At(head, size, "PK\x07\x08", 4) || At(head, size, "7z\xBC\xAF\x27\x1C", 6) ||
         At(head, size, "Rar!\x1A\x07", 6) || At(head, size, "xar!", 4) ||
         At(head, size, "!<arch>\n", 8) || At(head, size, "07070", 5) ||
         At(head, size, "\xC7\x71", 2) || At(head, size, "\x71\xC7", 2);
}

struct ArchiveCallbacks {
  // Hands the library the next block of our stream: lent where the stream
  // lends, else read into the reader's block.
  static la_ssize_t Read(struct archive* reader, void* data, const void** block) {
    auto* self = static_cast<ArchiveReader*>(data);
    ByteStream& source = *self->source_;
    const uint8_t* lent = nullptr;
    int32_t got = source.Borrow(&lent, kArchiveBlock);
    if (got >= 0) {
      *block = lent;
    } else {
      got = source.Read(self->block_.data(), kArchiveBlock);
      *block = self->block_.data();
    }
    if (got == 0 && IsFault(source.End())) {
      archive_set_error(reader, -1, "the data under the archive could not be read");
      return ARCHIVE_FATAL;
    }
    return got;
  }
};

// The bytes of the current member, lending the library's own blocks.
class ArchiveReader::MemberStream : public ByteStream {
 public:
  MemberStream(ArchiveReader& owner, const char* name) : ByteStream(name), owner_(owner) {}

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
      int rc = archive_read_data_block(owner_.reader_, &block, &size, &offset);
      if (rc == ARCHIVE_EOF || rc < ARCHIVE_WARN) {
        SetEnd(rc == ARCHIVE_EOF ? StreamEnd::kEndOfData : owner_.Failure());
        return 0;
      }
      owner_.Progress();
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

  // More is at hand when the library's block is not used up.
  bool MoreAtHand() override { return hole_ > 0 || left_ > 0 || End() != StreamEnd::kOpen; }

 private:
  ArchiveReader& owner_;
  const uint8_t* block_ = nullptr;  // the rest of the library's current block
  size_t left_ = 0;
  int64_t hole_ = 0;                // zeros to deliver before it
  la_int64_t next_ = 0;             // the member offset after the current block
};

ArchiveReader::ArchiveReader() = default;

ArchiveReader::~ArchiveReader() {
  if (reader_ != nullptr) archive_read_free(reader_);
}

namespace {

// A reader of every format we take; with `raw`, also a compressed file that
// holds no archive, as one member.
struct archive* NewReader(bool raw) {
  struct archive* a = archive_read_new();
  if (a == nullptr) return nullptr;
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
  return a;
}

}  // namespace

bool ArchiveReader::OpenStream(ByteStream& source, bool raw) {
  source_ = &source;
  raw_ = raw;
  block_.resize(kArchiveBlock);
  reader_ = NewReader(raw);
  return reader_ != nullptr &&
         archive_read_open(reader_, this, nullptr, ArchiveCallbacks::Read, nullptr) == ARCHIVE_OK;
}

bool ArchiveReader::OpenFile(const char* path, int64_t fileSize, std::atomic<int64_t>* bytesRead,
                             bool raw) {
  fileSize_ = fileSize;
  bytesRead_ = bytesRead;
  raw_ = raw;
  reader_ = NewReader(raw);
  return reader_ != nullptr && archive_read_open_filename(reader_, path, kFileBlock) == ARCHIVE_OK;
}

ArchiveReader::Next ArchiveReader::NextMember() {
  int rc;
  while ((rc = archive_read_next_header(reader_, &entry_)) == ARCHIVE_OK || rc == ARCHIVE_WARN) {
    if (archive_entry_filetype(entry_) == AE_IFREG) return Next::kMember;
  }
  entry_ = nullptr;
  return rc == ARCHIVE_EOF ? Next::kEnd : Next::kFailed;
}

const char* ArchiveReader::MemberName() const {
  const char* name = entry_ != nullptr ? archive_entry_pathname(entry_) : nullptr;
  return name != nullptr ? name : "(unnamed)";
}

int64_t ArchiveReader::MemberSize() const {
  return entry_ != nullptr && archive_entry_size_is_set(entry_) ? archive_entry_size(entry_) : -1;
}

std::unique_ptr<ByteStream> ArchiveReader::MemberData(const char* name) {
  return std::make_unique<MemberStream>(*this, name);
}

void ArchiveReader::Progress() const {
  if (source_ == nullptr && bytesRead_ != nullptr) bytesRead_->store(archive_filter_bytes(reader_, -1));
}

StreamEnd ArchiveReader::Failure() const {
  if (source_ != nullptr && IsFault(source_->End())) return source_->End();
  bool ranOut = source_ != nullptr ? source_->End() == StreamEnd::kEndOfData
                                   : fileSize_ >= 0 && archive_filter_bytes(reader_, -1) >= fileSize_;
  return ranOut ? StreamEnd::kCutShort : StreamEnd::kCorrupt;
}

const char* ArchiveReader::Error() const {
  const char* text = reader_ != nullptr ? archive_error_string(reader_) : "no memory";
  return text != nullptr ? text : "";
}

}  // namespace nimbrel
