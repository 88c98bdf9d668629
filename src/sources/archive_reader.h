// The archive library behind one small interface: which heads it is asked
// to read (its compression filters and its archive formats), and a reader
// that goes through an archive's regular members, each delivered as a
// ByteStream that lends the library's own blocks.
//
// Invariants: a reader reads either from one of our streams (which the
// caller keeps alive while the reader lives) or from a file that the
// library opens and may position itself (the index of a zip or 7z archive
// lies at its end). Text formats (mtree and the like) are never read, so a
// text product cannot pass for an archive. A member's stream is valid until
// the next NextMember call; a hole in a sparse member reads as zeros. The
// library's failure is told apart: the fault of the data under it, the
// data running out (kCutShort), or damage (kCorrupt). Nothing is printed.
#ifndef NIMBREL_SOURCES_ARCHIVE_READER_H_
#define NIMBREL_SOURCES_ARCHIVE_READER_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "streams/byte_stream.h"

struct archive;
struct archive_entry;

namespace nimbrel {

// Compressions only the library decodes: bzip2, xz, zstd, lz4, lzip.
bool ArchiveFilterRecognises(const uint8_t* head, size_t size);
// Archive formats of the library other than tar: zip, 7z, rar, xar, ar, cpio.
bool ArchiveFormatRecognises(const uint8_t* head, size_t size);

class ArchiveReader {
 public:
  enum class Next : uint8_t { kMember, kEnd, kFailed };

  ArchiveReader();
  ~ArchiveReader();
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  // Opens the archive `source` delivers; with `raw`, a compressed file that
  // holds no archive reads as one member. False (Error() says why) when the
  // library cannot start.
  bool OpenStream(ByteStream& source, bool raw);
  // Opens the file at `path`, of `fileSize` bytes, read by the library; the
  // bytes it has read are kept in `bytesRead` (may be null).
  bool OpenFile(const char* path, int64_t fileSize, std::atomic<int64_t>* bytesRead, bool raw);

  // Whether the reader takes a compressed file that holds no archive as
  // its one member (whose name, "data", is the library's, not the file's).
  bool Raw() const { return raw_; }

  // Moves to the next regular member (others are passed over).
  Next NextMember();
  const char* MemberName() const;  // "(unnamed)" when it has none
  int64_t MemberSize() const;      // -1 when the archive does not say
  // The current member's bytes, reported under `name`.
  std::unique_ptr<ByteStream> MemberData(const char* name);

  // Why the library failed (after kFailed, or a member stream's fault).
  StreamEnd Failure() const;
  const char* Error() const;  // the library's words, or ""

 private:
  class MemberStream;
  // Keeps `bytesRead` at what the library has read of its file.
  void Progress() const;
  friend struct ArchiveCallbacks;  // the library's read callback

  struct archive* reader_ = nullptr;
  struct archive_entry* entry_ = nullptr;
  ByteStream* source_ = nullptr;           // null: the library reads a file
  int64_t fileSize_ = -1;
  bool raw_ = false;
  std::atomic<int64_t>* bytesRead_ = nullptr;
  std::vector<uint8_t> block_;             // a source that does not lend is read into it
};

}  // namespace nimbrel

#endif  // NIMBREL_SOURCES_ARCHIVE_READER_H_
