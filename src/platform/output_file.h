// Exclusive read/write access to one output file.
//
// Open() creates the file when it is missing (mode 0644 here) and then waits
// until no other process holds it, so two runs storing into the same file
// never interleave. The lock lasts until Close() or destruction. All offsets
// are absolute; nothing here moves a shared file position or prints.
#ifndef NIMBREL_PLATFORM_OUTPUT_FILE_H_
#define NIMBREL_PLATFORM_OUTPUT_FILE_H_

#include <cstdint>

namespace nimbrel {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Close(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens or creates `name` and takes the exclusive lock; false on failure.
  bool Open(const char* name);
  bool IsOpen() const { return handle_ >= 0; }

  // Reads up to `length` bytes at `offset`; returns the bytes delivered
  // (short at end of file, 0 on error).
  int32_t ReadAt(int64_t offset, void* buffer, int32_t length);

  // Writes all `length` bytes at `offset`; false unless every byte landed.
  bool WriteAt(int64_t offset, const void* buffer, int32_t length);

  // Current size in bytes, or -1 on error.
  int64_t Size();

  // Sets the size to `length` (cuts or zero-extends); false on failure.
  bool Truncate(int64_t length);

  void Close();

 private:
  int64_t handle_ = -1;
};

}  // namespace nimbrel

#endif  // NIMBREL_PLATFORM_OUTPUT_FILE_H_
