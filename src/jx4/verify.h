// What `jx4 verify` finds in one .jx4 file, for the command and for other
// front ends: every check of the format and of each image (with `deep`,
// each image decoded too), and the problems across the file's volume set.
#ifndef NIMBREL_JX4_VERIFY_H_
#define NIMBREL_JX4_VERIFY_H_

#include <string>
#include <vector>

#include "conversion/selection.h"

namespace nimbrel {

struct Verdict {
  bool readable = true;   // false: it could not be read (said on standard error)
  bool selected = true;   // false: the selection leaves the file out; nothing checked
  bool empty = false;     // it can hold no product: no damage, a later store starts it afresh
  std::vector<std::string> problems;  // "entry N (id I): what", or "what" for the file
  bool sound() const { return readable && problems.empty(); }
};

// `acrossSet`: the problems of the volume set the file belongs to
// (CheckVolumeSets), listed last.
Verdict VerifyFile(const std::string& path, bool deep, const Selection& selection,
                   const std::vector<std::string>& acrossSet);

}  // namespace nimbrel

#endif  // NIMBREL_JX4_VERIFY_H_
