// A temporary output folder with a run context storing into it, for tests
// that call the intake or the writer directly.
#ifndef NIMBREL_TESTS_SUPPORT_OUTPUT_DIR_H_
#define NIMBREL_TESTS_SUPPORT_OUTPUT_DIR_H_

#include <memory>
#include <string>
#include <vector>

#include "conversion/run_context.h"
#include "output/store_io.h"
#include "support/test_env.h"

namespace nimbrel {

// A folder that holds nothing and takes nothing, for walks whose members
// go elsewhere.
class NoFolder : public StoreFolder {
 public:
  std::unique_ptr<StoreFile> Open(const char*, int* error) override { return Refuse(error); }
  std::unique_ptr<StoreFile> OpenExisting(const char*, int* error) override { return Refuse(error); }
  std::unique_ptr<StoreFile> CreateNew(const char*, int* error) override { return Refuse(error); }
  bool Remove(const char*) override { return false; }

 private:
  static std::unique_ptr<StoreFile> Refuse(int* error) {
    *error = 0;
    return nullptr;
  }
};

// Hands every event on to `target`; nothing while it is null.
class Relay : public Reporter {
 public:
  void Examining(const char* input, const char* member) override {
    if (target != nullptr) target->Examining(input, member);
  }
  void Product(const ProductEvent& event) override {
    if (target != nullptr) target->Product(event);
  }
  void InputEnded(const InputEvent& event) override {
    if (target != nullptr) target->InputEnded(event);
  }
  Reporter* target = nullptr;
};

class OutputDir {
 public:
  OutputDir();
  // The names in the folder, sorted.
  std::vector<std::string> Files() const;
  std::string File(const std::string& name) const { return dir.File(name); }

  TempDir dir;
  std::unique_ptr<StoreFolder> folder;
  Relay relay;
  RunContext context;  // stores into `folder`, reports to `relay`
};

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_OUTPUT_DIR_H_
