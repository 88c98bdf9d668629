// Writing files that must not exist yet into an output folder (the
// products extract writes, the pictures render draws), through the output
// folder's seam (output/store_io.h).
//
// Invariants: nothing of a name is ever overwritten (a symbolic link counts
// as existing); a file whose write or close fails is removed again, or the
// words say that it could not be; NewFiles remembers each name it wrote and
// what from, so that a second product of the same name is said as such.
#ifndef NIMBREL_JX4_NEW_FILE_H_
#define NIMBREL_JX4_NEW_FILE_H_

#include <map>
#include <string>
#include <vector>

#include "output/store_io.h"

namespace nimbrel {

// `folder` and `name` joined by one separator: the path shown for a file.
std::string PathInFolder(const std::string& folder, const std::string& name);

// The files one command writes.
class NewFiles {
 public:
  // Creates `name` in `folder` and writes `bytes` to it, from `source` (e.g.
  // "'a.jx4' entry 3"). False, with `error` saying what happened and naming
  // the file as `shown` (its path), e.g. "'out/a.png' exists already; not
  // overwritten".
  bool Write(StoreFolder* folder, const std::string& name, const std::string& shown,
             const std::string& source, const std::vector<uint8_t>& bytes, std::string* error);

  bool none() const { return written_.empty(); }

 private:
  std::map<std::string, std::string> written_;  // name, what it was written from
};

}  // namespace nimbrel

#endif  // NIMBREL_JX4_NEW_FILE_H_
