#include "output/dry_run_folder.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "output/volume_format.h"
#include "platform/output_file.h"
#include "platform/system_error.h"

namespace nimbrel {

namespace {

uint64_t Hash(const void* bytes, int32_t length) {
  return std::hash<std::string_view>{}(
      std::string_view(static_cast<const char*>(bytes), static_cast<size_t>(length)));
}

// An image the run wrote, known by its place and its bytes' hash.
struct Written {
  int64_t offset;
  int32_t length;
  uint64_t hash;
};

// What the run has made of one file, beyond what the disk holds.
struct Overlay {
  std::mutex lock;       // held by the file while it is open
  bool known = false;    // the disk has been asked
  bool exists = false;   // on disk, or made by the run
  int64_t diskBytes = 0; // bytes of the disk's file still in the file
  int64_t size = 0;
  std::vector<uint8_t> head;  // the first bytes as written, at most a header
  std::vector<Written> images;
};

class DryRunFile : public StoreFile {
 public:
  DryRunFile(Overlay& overlay, std::unique_lock<std::mutex> held)
      : overlay_(overlay), held_(std::move(held)) {}

  // The disk's file of this name, read while the run has not cut it away.
  OutputFile& disk() { return disk_; }

  int32_t ReadAt(int64_t offset, void* buffer, int32_t length) override {
    if (offset < 0 || length < 0) return -1;
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t end = std::min<int64_t>(offset + length, overlay_.size);
    for (int64_t at = offset; at < end;) {
      const int64_t head = static_cast<int64_t>(overlay_.head.size());
      int32_t count;
      if (at < head) {
        count = static_cast<int32_t>(std::min(head, end) - at);
        std::memcpy(out + (at - offset), overlay_.head.data() + at, static_cast<size_t>(count));
      } else if (at < overlay_.diskBytes) {
        count = static_cast<int32_t>(std::min(overlay_.diskBytes, end) - at);
        if (disk_.ReadAt(at, out + (at - offset), count) != count) return -1;
      } else {
        return -1;  // an image the run wrote: its bytes are not kept
      }
      at += count;
    }
    return static_cast<int32_t>(std::max<int64_t>(end - offset, 0));
  }

  bool WriteAt(int64_t offset, const void* buffer, int32_t length) override {
    if (offset < 0 || length < 0) return false;
    if (offset < kVolumeHeaderSize) {
      // The header (or a part of it): kept whole.
      if (offset + length > kVolumeHeaderSize) return false;
      if (overlay_.head.size() < static_cast<size_t>(offset + length)) {
        size_t had = overlay_.head.size();
        overlay_.head.resize(static_cast<size_t>(offset + length));
        // What lay there before shows through where nothing is written.
        if (static_cast<int64_t>(had) < offset) {
          ReadAt(static_cast<int64_t>(had), overlay_.head.data() + had,
                 static_cast<int32_t>(offset - static_cast<int64_t>(had)));
        }
      }
      std::memcpy(overlay_.head.data() + offset, buffer, static_cast<size_t>(length));
    } else {
      overlay_.images.push_back({offset, length, Hash(buffer, length)});
    }
    overlay_.size = std::max(overlay_.size, offset + length);
    return true;
  }

  int64_t Size() override { return overlay_.size; }

  bool Truncate(int64_t length) override {
    if (length < 0) return false;
    overlay_.size = length;
    overlay_.diskBytes = std::min(overlay_.diskBytes, length);
    if (overlay_.head.size() > static_cast<size_t>(length)) overlay_.head.resize(static_cast<size_t>(length));
    std::erase_if(overlay_.images, [length](const Written& w) { return w.offset + w.length > length; });
    return true;
  }

  bool Sync() override { return true; }
  bool Close() override { return true; }

  bool Holds(int64_t offset, const uint8_t* bytes, int32_t length) override {
    for (const Written& image : overlay_.images) {
      if (image.offset == offset && image.length == length) return image.hash == Hash(bytes, length);
    }
    return StoreFile::Holds(offset, bytes, length);
  }

 private:
  Overlay& overlay_;
  std::unique_lock<std::mutex> held_;
  OutputFile disk_;
};

class DryRunFolder : public StoreFolder {
 public:
  explicit DryRunFolder(const char* path) { disk_.Open(path); }

  std::unique_ptr<StoreFile> Open(const char* name, int* error) override {
    return Opened(name, false, error);
  }
  std::unique_ptr<StoreFile> OpenExisting(const char* name, int* error) override {
    return Opened(name, true, error);
  }
  // Nothing is ever created or removed.
  std::unique_ptr<StoreFile> CreateNew(const char* /*name*/, int* error) override {
    *error = 0;
    return nullptr;
  }
  bool Remove(const char* /*name*/) override { return false; }

 private:
  std::unique_ptr<StoreFile> Opened(const char* name, bool existing, int* error) {
    *error = 0;
    Overlay* overlay = nullptr;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      auto found = overlays_.find(name);
      if (found != overlays_.end()) {
        overlay = found->second.get();
      } else if (existing && !OnDisk(name)) {
        // Asked of every volume's next file: nothing kept for it.
        *error = NotFoundError();
        return nullptr;
      } else {
        std::unique_ptr<Overlay>& slot = overlays_[name];
        slot.reset(new (std::nothrow) Overlay);
        overlay = slot.get();
      }
    }
    if (overlay == nullptr) return nullptr;
    std::unique_ptr<DryRunFile> file(
        new (std::nothrow) DryRunFile(*overlay, std::unique_lock(overlay->lock)));
    if (file == nullptr) return nullptr;
    bool onDisk = disk_.IsOpen() && file->disk().OpenForReading(disk_, name);
    if (!overlay->known) {
      // A file (or a folder on its way) that is missing is one the run
      // makes; any other failure is the real open's.
      int failure = onDisk || !disk_.IsOpen() ? 0 : file->disk().error();
      if (failure != 0 && !IsNotFoundError(failure)) {
        *error = failure;
        return nullptr;
      }
      overlay->diskBytes = onDisk ? file->disk().Size() : 0;
      if (overlay->diskBytes < 0) {
        *error = LastSystemError();
        return nullptr;
      }
      overlay->known = true;
      overlay->exists = onDisk;
      overlay->size = overlay->diskBytes;
    }
    if (!overlay->exists) {
      if (existing) {
        *error = NotFoundError();
        return nullptr;
      }
      overlay->exists = true;
    }
    return file;
  }

  // Whether something of this name can be read on disk.
  bool OnDisk(const char* name) const {
    OutputFile disk;
    return disk_.IsOpen() && (disk.OpenForReading(disk_, name) || !IsNotFoundError(disk.error()));
  }

  OutputFolder disk_;
  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<Overlay>> overlays_;
};

}  // namespace

std::unique_ptr<StoreFolder> OpenDryRunFolder(const char* path) {
  return std::unique_ptr<StoreFolder>(new (std::nothrow) DryRunFolder(path));
}

}  // namespace nimbrel
