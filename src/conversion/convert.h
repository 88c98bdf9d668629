// A conversion as one library call: an input filed into an output folder,
// every outcome told to a reporter, the input's statistics returned. Both
// programs convert through it.
//
// Nothing is shared between calls: conversions may run at the same time in
// several threads, also into the same folder (each store locks its file).
#ifndef NIMBREL_CONVERSION_CONVERT_H_
#define NIMBREL_CONVERSION_CONVERT_H_

#include <cstdint>
#include <memory>

#include "conversion/outcome.h"
#include "conversion/reporter.h"
#include "conversion/run_context.h"

namespace nimbrel {

class StoreFolder;

// How an input is read.
enum class Reading : uint8_t {
  // A folder scan group by scan group; anything else as a tar archive,
  // plain, compressed (.Z, gzip) or in bzip2 blocks, told by its first
  // 32 bytes.
  kArchiveOrFolder,
  // A file (or descriptor) of any kind, told by its content: archives of
  // every format, nested, compressed, framed feed files, single products.
  kAnyContent,
};

struct ConvertRequest {
  explicit ConvertRequest(const char* input) : input(input) {}

  const char* input;        // the path, or the name to report a descriptor under
  int32_t descriptor = -1;  // when 0 or more, read from this descriptor (standard
                            // input, say), which is then closed; kAnyContent only
  Reading reading = Reading::kArchiveOrFolder;
  RunOptions options;
};

struct ConversionResult {
  InputEnd end = InputEnd::kCantOpen;
  RunStats stats;
};

ConversionResult ConvertInput(const ConvertRequest& request, StoreFolder& folder,
                              Reporter& reporter);

// The folder at `path` that a run with `options` stores into: the disk,
// or for a dry run a folder that reads the disk and writes nothing (it
// need not exist). Null when a real run's folder cannot be opened.
std::unique_ptr<StoreFolder> OpenRunFolder(const char* path, const RunOptions& options);

}  // namespace nimbrel

#endif  // NIMBREL_CONVERSION_CONVERT_H_
