// A temporary output folder with a run context storing into it, for tests
// that call the intake or the writer directly.
#ifndef NIMBREL_TESTS_SUPPORT_OUTPUT_DIR_H_
#define NIMBREL_TESTS_SUPPORT_OUTPUT_DIR_H_

#include <memory>
#include <string>
#include <vector>

#include "output/report.h"
#include "output/store_io.h"
#include "support/test_env.h"

namespace nimbrel {

class OutputDir {
 public:
  OutputDir();
  // The names in the folder, sorted.
  std::vector<std::string> Files() const;
  std::string File(const std::string& name) const { return dir.File(name); }

  TempDir dir;
  std::unique_ptr<StoreFolder> folder;
  Reporter silent;
  RunContext context;  // stores into `folder`, reports to `silent`
};

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_OUTPUT_DIR_H_
