#include "sources/conversion.h"

#include "platform/file_query.h"
#include "sources/directory_scanner.h"
#include "sources/tar_walker.h"

namespace nimbrel {

ConversionResult ConvertInput(const char* path, StoreFolder& folder, Reporter& reporter,
                              const ConversionOptions& options) {
  RunContext context;
  context.folder = &folder;
  context.reporter = &reporter;
  context.input = path;
  context.syncStores = options.syncStores;
  ConversionResult result;
  result.end = QueryPath(path).kind == PathKind::kDirectory ? ProcessDirectory(context, path)
                                                            : ProcessTar(context, path);
  result.stats = context.stats;
  return result;
}

}  // namespace nimbrel
