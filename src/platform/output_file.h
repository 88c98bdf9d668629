// The folder that receives output files, and exclusive read/write access to
// one file in it.
//
// OutputFolder holds the folder open for as long as it lives, so that files
// land in that folder whatever happens to the process's working directory
// or the folder's path meanwhile. A file's name may lead through folders
// inside it ("ktlx/2024/ktlx_20240501_120312.jx4", parted by the system's
// separator; a folder that is a symbolic link is followed). OutputFile::Open
// creates the file, and the folders on its way, when they are missing (mode
// 0644 and 0755 here, less the umask), refuses a name that is a symbolic
// link (it is never followed, dangling or not), and then waits until no
// other process, and no other open of it in this process, holds the file,
// so two stores into one file never interleave. The lock lasts until
// Close() or destruction. All offsets are absolute; nothing here
// moves a shared file position or prints. A write that would pass the
// process's file-size limit fails instead of ending the process once the
// front end has set that signal aside (platform/signals.h).
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

  // Removes the file `name` from the folder (a symbolic link itself, never
  // what it points to); false on failure.
  bool Remove(const char* name) const;

 private:
  int64_t handle_ = -1;
};

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Close(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens or creates `name` in `folder` (and the folders on its way) and
  // takes the exclusive lock; false on failure (a symbolic link included).
  bool Open(const OutputFolder& folder, const char* name);

  // Opens `name` only when it exists, and takes the exclusive lock; false
  // when it cannot be opened, also when it is missing (error() then says so:
  // IsNotFoundError).
  bool OpenExisting(const OutputFolder& folder, const char* name);

  // Opens an existing regular file `name` for reading only, never through a
  // symbolic link, and takes a shared lock (it waits for a store in
  // progress); false as OpenExisting, and for anything but a regular file.
  // Writes to it fail.
  bool OpenForReading(const OutputFolder& folder, const char* name);

  // Creates `name` in `folder` for writing only when nothing of that name
  // exists (a symbolic link, even a dangling one, counts); no lock is taken.
  // False when the name exists or the file cannot be created.
  bool CreateNew(const OutputFolder& folder, const char* name);
  bool IsOpen() const { return handle_ >= 0; }
  // The system's code (platform/system_error.h) of the last Open or
  // CreateNew that failed.
  int error() const { return error_; }

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
  // Keeps `handle` (-1: the open failed) once the lock `how` is taken;
  // false, error() set, when either failed.
  bool Take(int64_t handle, int how);

  int64_t handle_ = -1;
  int error_ = 0;
};

}  // namespace nimbrel

#endif  // NIMBREL_PLATFORM_OUTPUT_FILE_H_
