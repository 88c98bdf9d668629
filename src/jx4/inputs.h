// What the inputs of `jx4 convert` name, as the units a run converts one by
// one: files, folders walked recursively (each folder's entries in name
// order; never the output folder or anything in it), standard input ("-"),
// and FIFOs and devices named on the command line, read as streams. An input
// that cannot be read is a unit too, with the reason, and so is one that
// is the output folder or lies inside it (never read: the run writes
// there), so that each gets its record and is counted.
#ifndef NIMBREL_JX4_INPUTS_H_
#define NIMBREL_JX4_INPUTS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace nimbrel {

inline constexpr char kStandardInput[] = "-";

struct InputUnit {
  enum class Kind : uint8_t {
    kFile,        // a regular file
    kStream,      // standard input, a FIFO, a device: read front to back as it comes
    kUnreadable,  // missing, a dangling link, a folder that cannot be read
    kOutput,      // the output folder, or a file or folder inside it
  };
  std::string path;     // as named, or as found in a folder; "-" for standard input
  Kind kind = Kind::kFile;
  int64_t bytes = 0;    // a regular file's size
  std::string problem;  // kUnreadable: the reason, in the system's words
};

// The units of `inputs`, in order; `outputFolder` (which exists) is left out
// wherever a folder walk meets it.
std::vector<InputUnit> ExpandInputs(const std::vector<std::string>& inputs,
                                    const std::string& outputFolder);

}  // namespace nimbrel

#endif  // NIMBREL_JX4_INPUTS_H_
