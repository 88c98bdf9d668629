// An output folder that fails the calls a test chooses, to prove that every
// failure of a store or an extraction leaves sound files behind.
#ifndef NIMBREL_TESTS_SUPPORT_FAULTY_FOLDER_H_
#define NIMBREL_TESTS_SUPPORT_FAULTY_FOLDER_H_

#include <cstdint>
#include <memory>
#include <utility>

#include "output/store_io.h"

namespace nimbrel {

// Passes every call on to the disk, counting them, except the chosen one
// (or, `sticky`, every call from it on) which fails. A failing write puts
// down half its bytes first, unless sticky (a disk that refuses all).
struct FaultPlan {
  int failAt = -1;
  bool sticky = false;
  int calls = 0;
  bool Fails() {
    int n = calls++;
    return failAt >= 0 && (n == failAt || (sticky && n > failAt));
  }
};

class FaultyFile : public StoreFile {
 public:
  FaultyFile(std::unique_ptr<StoreFile> real, FaultPlan& plan) : real_(std::move(real)), plan_(plan) {}
  int32_t ReadAt(int64_t offset, void* buffer, int32_t length) override {
    return plan_.Fails() ? -1 : real_->ReadAt(offset, buffer, length);
  }
  bool WriteAt(int64_t offset, const void* buffer, int32_t length) override {
    if (!plan_.Fails()) return real_->WriteAt(offset, buffer, length);
    if (!plan_.sticky) real_->WriteAt(offset, buffer, length / 2);
    return false;
  }
  int64_t Size() override { return plan_.Fails() ? -1 : real_->Size(); }
  bool Truncate(int64_t length) override { return !plan_.Fails() && real_->Truncate(length); }
  bool Sync() override { return !plan_.Fails() && real_->Sync(); }
  bool Close() override {
    bool fails = plan_.Fails();
    return real_->Close() && !fails;
  }

 private:
  std::unique_ptr<StoreFile> real_;
  FaultPlan& plan_;
};

class FaultyFolder : public StoreFolder {
 public:
  FaultyFolder(StoreFolder& real, FaultPlan& plan) : real_(real), plan_(plan) {}
  // Owns the folder it passes calls on to.
  FaultyFolder(std::unique_ptr<StoreFolder> real, FaultPlan& plan)
      : owned_(std::move(real)), real_(*owned_), plan_(plan) {}
  std::unique_ptr<StoreFile> Open(const char* name, int* error) override {
    if (plan_.Fails()) return nullptr;
    return Faulty(real_.Open(name, error));
  }
  std::unique_ptr<StoreFile> OpenExisting(const char* name, int* error) override {
    if (plan_.Fails()) return nullptr;
    return Faulty(real_.OpenExisting(name, error));
  }
  std::unique_ptr<StoreFile> CreateNew(const char* name, int* error) override {
    if (plan_.Fails()) return nullptr;
    return Faulty(real_.CreateNew(name, error));
  }
  bool Remove(const char* name) override { return !plan_.Fails() && real_.Remove(name); }

 private:
  std::unique_ptr<StoreFile> Faulty(std::unique_ptr<StoreFile> file) {
    if (file == nullptr) return nullptr;
    return std::make_unique<FaultyFile>(std::move(file), plan_);
  }

 private:
  std::unique_ptr<StoreFolder> owned_;
  StoreFolder& real_;
  FaultPlan& plan_;
};

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_FAULTY_FOLDER_H_
