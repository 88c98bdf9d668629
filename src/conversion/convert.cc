#include "conversion/convert.h"

#include <memory>

#include "output/dry_run_folder.h"
#include "output/store_io.h"
#include "platform/file_query.h"
#include "sources/any_input.h"
#include "sources/directory_scanner.h"
#include "sources/tar_walker.h"

namespace nimbrel {

ConversionResult ConvertInput(const ConvertRequest& request, StoreFolder& folder,
                              Reporter& reporter) {
  RunContext context(folder, reporter, request.input, request.options);
  ConversionResult result;
  if (request.reading == Reading::kAnyContent) {
    result.end = request.descriptor >= 0
                     ? ProcessAnyStream(context, std::make_unique<FileStream>(
                                                     request.input, request.descriptor,
                                                     request.options.stop, request.options.bytesRead))
                     : ProcessAnyFile(context, request.input);
  } else {
    result.end = QueryPath(request.input).kind == PathKind::kDirectory
                     ? ProcessDirectory(context, request.input)
                     : ProcessTar(context, request.input);
  }
  result.stats = context.stats;
  return result;
}

std::unique_ptr<StoreFolder> OpenRunFolder(const char* path, const RunOptions& options) {
  return options.dryRun ? OpenDryRunFolder(path) : OpenDiskFolder(path);
}

}  // namespace nimbrel
