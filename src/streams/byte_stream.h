// Sequential readers over an archive file, and the factory that picks one by
// looking at the file's first 32 bytes.
//
// Contract of every kind:
//   - Read(buffer, length) places 0..length bytes at the start of `buffer`
//     and returns the count, never negative. A count below `length` means the
//     stream has ended (end of data, read error or decoding error alike); every
//     later call returns 0. A request of length 0 (or less) returns 0.
//   - The stream owns its descriptor and closes it when destroyed.
//   - Nothing is printed.
#ifndef NIMBREL_STREAMS_BYTE_STREAM_H_
#define NIMBREL_STREAMS_BYTE_STREAM_H_

#include <cstdint>
#include <memory>

namespace nimbrel {

class ByteStream {
 public:
  // Copies `path` into `name`; a path longer than 511 characters is cut.
  explicit ByteStream(const char* path);
  virtual ~ByteStream();
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;

  virtual int32_t Read(uint8_t* buffer, int32_t length) = 0;

  const char* Name() const { return name; }

 protected:
  char name[512];
};

// The plain kind: the file's bytes as the operating system delivers them.
class FileStream : public ByteStream {
 public:
  FileStream(const char* path, int32_t fd);
  ~FileStream() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;

 private:
  int32_t fd;
  bool ended = false;
};

inline constexpr int32_t kSniffSize = 32;

// Opens `path` and builds the matching stream kind from its first 32 bytes:
// 1F 9D -> LzwStream; 1F 8B -> GzipStream; 'B' 'Z' at bytes 28-29 ->
// Bz2BlockStream; anything else -> FileStream positioned at offset 0.
// Returns null (printing nothing) when the file cannot be opened, holds
// fewer than 32 bytes, or the stream cannot be allocated.
std::unique_ptr<ByteStream> OpenByteStream(const char* path);

}  // namespace nimbrel

#endif  // NIMBREL_STREAMS_BYTE_STREAM_H_
