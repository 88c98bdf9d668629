// The folder that receives output files, and exclusive read/write access to
// one file in it.
//
// OutputFolder holds the folder open for as long as it lives, so that files
// land in that folder whatever happens to the process's working directory
// or the folder's path meanwhile. OutputFile::Open creates the file when it
// is missing (mode 0644 here, less the umask), refuses a name that is a
// symbolic link (it is never followed, dangling or not), and then waits
// until no other process, and no other open of it in this process, holds
// the file, so two stores into one file never interleave. The lock lasts
// until Close() or destruction. All offsets are absolute; nothing here
// moves a shared file position or prints. A write that would pass the
// process's file-size limit fails instead of ending the process.
#ifndef NIMBREL_PLATFORM_OUTPUT_FILE_H_
#define NIMBREL_PLATFORM_OUTPUT_FILE_H_

#include <cstdint>

namespace nimbrel {

class OutputFolder {
 public:
  OutputFolder() = default;
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  // Opens the existing folder at `path` ("." for the working directory);
  // false when it cannot be opened or is not a folder.
  bool Open(const char* path);
  bool IsOpen() const { return handle_ >= 0; }
  int64_t handle() const { return handle_; }

 private:
  int64_t handle_ = -1;
};

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Close(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens or creates `name` in `folder` and takes the exclusive lock; false
  // on failure (a symbolic link included).
  bool Open(const OutputFolder& folder, const char* name);

  // Creates `name` in `folder` for writing only when nothing of that name
  // exists (a symbolic link, even a dangling one, counts); no lock is taken.
  // False when the name exists or the file cannot be created.
  bool CreateNew(const OutputFolder& folder, const char* name);
  bool IsOpen() const { return handle_ >= 0; }

  // Reads up to `length` bytes at `offset`; returns the bytes delivered
  // (short at end of file), or -1 when a read failed.
  int32_t ReadAt(int64_t offset, void* buffer, int32_t length);

  // Writes all `length` bytes at `offset`; false unless every byte landed.
  bool WriteAt(int64_t offset, const void* buffer, int32_t length);

  // Current size in bytes, or -1 on error.
  int64_t Size();

  // Sets the size to `length` (cuts or zero-extends); false on failure.
  bool Truncate(int64_t length);

  // Makes the file's data reach the disk; false on failure.
  bool Sync();

  // Releases the lock and the file; false when the system reported an error
  // (a write it had accepted may then be lost). Closing a closed file is true.
  bool Close();

 private:
  int64_t handle_ = -1;
};

}  // namespace nimbrel

#endif  // NIMBREL_PLATFORM_OUTPUT_FILE_H_
