#include "driver/driver.h"

#include <cstdio>

#include <memory>

#include "driver/console_reporter.h"
#include "output/store_io.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/file_query.h"
#include "platform/path.h"
#include "conversion/convert.h"

namespace nimbrel {

namespace {

int WaitAndExit() {
  std::printf("\nPress any key to exit\n");
  std::fflush(stdout);
  WaitForInputByte();
  return 0;
}

}  // namespace

double ElapsedSeconds(uint32_t startTick, uint32_t stopTick) {
  uint64_t milliseconds = static_cast<uint32_t>(stopTick - startTick);
  return static_cast<double>(milliseconds) * 0.001;
}

int RunNimbrel(int argc, const char* const* argv) {
  std::printf("Nimbrel version 1.31\n\n");
  if (argc != 2) {
    std::printf("\nUsage:");
    std::printf("  Nimbrel  file.tar | file.tar.Z | directory\n\n");
    return 0;
  }
  const char* path = argv[1];
  PathKind kind = QueryPath(path).kind;
  if (kind == PathKind::kMissing) {
    std::printf("\n\n");
    std::printf("*** '%s' apparently doesn't exist!\n", path);
    std::printf("    make sure that you spelled the filename correctly, especially the file "
                "extension(s)\n");
    return WaitAndExit();
  }
  bool directoryMode = kind == PathKind::kDirectory;
  std::fputs(directoryMode ? "Individual Level III files will be read from this directory:\n"
                           : "Level III files will be read from this .tar file:\n",
             stdout);
  std::printf("\n   %s\n\n", path);

  char currentDirectory[kPathBufferSize];
  CurrentDirectory(currentDirectory, kPathBufferSize);
  std::printf("\nJX4 files will be created in the current directory:\n");
  std::printf("\n   %s\n\n", currentDirectory);

  std::printf("\nDo you want to continue (y or n)?  ");
  std::fflush(stdout);
  if (ReadKeyWithEcho() != 'y') return 0;

  std::printf("\n\n");
  uint32_t startTick = TickCount();
  std::printf(directoryMode ? "Processing directory: %s\n" : "Processing tar file: %s\n", path);
  std::fflush(stdout);
  ConsoleReporter reporter;
  RunStats stats;
  std::unique_ptr<StoreFolder> folder = OpenDiskFolder(".");
  if (folder != nullptr) {
    stats = ConvertInput(ConvertRequest(path), *folder, reporter).stats;
  } else {
    std::printf("*** couldn't open the current directory for writing\n");
  }
  std::printf("\n\n");
  uint32_t stopTick = TickCount();
  std::printf("Elapsed time: %.2f seconds\n", ElapsedSeconds(startTick, stopTick));
  std::printf("Number of products processed: %lld\n", static_cast<long long>(stats.productsStored));
  std::printf("Number of JX4 files created:  %lld\n", static_cast<long long>(stats.filesCreated));
  return WaitAndExit();
}

}  // namespace nimbrel
