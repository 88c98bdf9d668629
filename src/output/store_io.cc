#include "output/store_io.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/output_file.h"

namespace nimbrel {

bool StoreFile::Holds(int64_t offset, const uint8_t* bytes, int32_t length) {
  uint8_t chunk[16384];
  for (int32_t done = 0; done < length;) {
    int32_t want = std::min<int32_t>(length - done, sizeof chunk);
    if (ReadAt(offset + done, chunk, want) != want ||
        std::memcmp(chunk, bytes + done, static_cast<size_t>(want)) != 0) {
      return false;
    }
    done += want;
  }
  return true;
}

namespace {

class DiskFile : public StoreFile {
 public:
  OutputFile file;
  int32_t ReadAt(int64_t offset, void* buffer, int32_t length) override {
    return file.ReadAt(offset, buffer, length);
  }
  bool WriteAt(int64_t offset, const void* buffer, int32_t length) override {
    return file.WriteAt(offset, buffer, length);
  }
  int64_t Size() override { return file.Size(); }
  bool Truncate(int64_t length) override { return file.Truncate(length); }
  bool Sync() override { return file.Sync(); }
  bool Close() override { return file.Close(); }
};

class DiskFolder : public StoreFolder {
 public:
  OutputFolder folder;
  std::unique_ptr<StoreFile> Open(const char* name, int* error) override {
    return Made(name, error, &OutputFile::Open);
  }
  std::unique_ptr<StoreFile> OpenExisting(const char* name, int* error) override {
    return Made(name, error, &OutputFile::OpenExisting);
  }
  std::unique_ptr<StoreFile> CreateNew(const char* name, int* error) override {
    return Made(name, error, &OutputFile::CreateNew);
  }
  bool Remove(const char* name) override { return folder.Remove(name); }

 private:
  std::unique_ptr<StoreFile> Made(const char* name, int* error,
                                  bool (OutputFile::*make)(const OutputFolder&, const char*)) {
    std::unique_ptr<DiskFile> file(new (std::nothrow) DiskFile);
    if (file == nullptr) {
      *error = 0;  // no system call failed
      return nullptr;
    }
    if (!(file->file.*make)(folder, name)) {
      *error = file->file.error();
      return nullptr;
    }
    return file;
  }
};

}  // namespace

std::unique_ptr<StoreFolder> OpenDiskFolder(const char* path) {
  std::unique_ptr<DiskFolder> disk(new (std::nothrow) DiskFolder);
  if (disk == nullptr || !disk->folder.Open(path)) return nullptr;
  return disk;
}

}  // namespace nimbrel
