#include "output/store_io.h"

#include <new>

#include "platform/output_file.h"

namespace nimbrel {

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
  std::unique_ptr<StoreFile> Open(const char* name) override {
    std::unique_ptr<DiskFile> file(new (std::nothrow) DiskFile);
    if (file == nullptr || !file->file.Open(folder, name)) return nullptr;
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
