// The I/O under a store: where .jx4 files are opened, and the calls made on
// an open one. The disk is the default; tests put a folder in between that
// fails any chosen call, to prove that every failure leaves a sound file.
//
// A StoreFile is open, exclusively locked, and released when destroyed.
// Calls mean what the platform's OutputFile says.
#ifndef NIMBREL_OUTPUT_STORE_IO_H_
#define NIMBREL_OUTPUT_STORE_IO_H_

#include <cstdint>
#include <memory>

namespace nimbrel {

class StoreFile {
 public:
  virtual ~StoreFile() = default;
  virtual int32_t ReadAt(int64_t offset, void* buffer, int32_t length) = 0;
  virtual bool WriteAt(int64_t offset, const void* buffer, int32_t length) = 0;
  virtual int64_t Size() = 0;
  virtual bool Truncate(int64_t length) = 0;
  virtual bool Sync() = 0;
  virtual bool Close() = 0;
};

class StoreFolder {
 public:
  virtual ~StoreFolder() = default;
  // Opens or creates `name` (never through a symbolic link) and locks it;
  // null on failure.
  virtual std::unique_ptr<StoreFile> Open(const char* name) = 0;
};

// The folder at `path` on disk ("." for the working directory), held open
// for the life of the object; null when it cannot be opened.
std::unique_ptr<StoreFolder> OpenDiskFolder(const char* path);

}  // namespace nimbrel

#endif  // NIMBREL_OUTPUT_STORE_IO_H_
