// The I/O under the output: where .jx4 files are opened (and extracted
// products created), and the calls made on an open one. The disk is the
// default; a dry run puts a folder in between that reads the disk and
// writes nothing (output/dry_run_folder.h); tests put one in between that
// fails any chosen call, to prove that every failure leaves a sound file.
//
// A StoreFile is open, exclusively locked (unless made by CreateNew), and
// released when destroyed. Calls mean what the platform's OutputFile says.
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
  // Whether the file holds exactly `bytes` at `offset`; false also when
  // they cannot be read. By ReadAt, unless a kind knows better.
  virtual bool Holds(int64_t offset, const uint8_t* bytes, int32_t length);
};

// Names are paths relative to the folder: a file name, or folders and a
// name parted by the system's separator (platform/path.h), as a layout
// gives them. On failure, `error` receives the system's code
// (platform/system_error.h).
class StoreFolder {
 public:
  virtual ~StoreFolder() = default;
  // Opens or creates `name` (never through a symbolic link), and the
  // folders on its way, and locks it; null on failure.
  virtual std::unique_ptr<StoreFile> Open(const char* name, int* error) = 0;
  // Opens and locks `name` only when it exists; null on failure, with an
  // error that IsNotFoundError takes when it is missing.
  virtual std::unique_ptr<StoreFile> OpenExisting(const char* name, int* error) = 0;
  // Creates `name` for writing only when nothing of that name exists (a
  // symbolic link counts), without a lock; null on failure. ReadAt, Size
  // and Truncate of the file may fail.
  virtual std::unique_ptr<StoreFile> CreateNew(const char* name, int* error) = 0;
  // Removes `name` (a file this folder created); false on failure.
  virtual bool Remove(const char* name) = 0;
};

// The folder at `path` on disk ("." for the working directory), held open
// for the life of the object; null when it cannot be opened.
std::unique_ptr<StoreFolder> OpenDiskFolder(const char* path);

}  // namespace nimbrel

#endif  // NIMBREL_OUTPUT_STORE_IO_H_
