#include "driver/console_reporter.h"

#include <cstdio>

namespace nimbrel {

void ConsoleReporter::Examining(const char* /*input*/, const char* member) {
  std::printf("\rProcessing: %s      ", member);
  std::fflush(stdout);
}

void ConsoleReporter::Product(const ProductEvent& event) {
  const long long size = event.size;
  switch (event.outcome) {
    case Outcome::kUnknownStation:
      std::printf("*** unknown nexrad id: %s\n", event.site);
      break;
    case Outcome::kCouldntCreate:
      std::printf("*** couldn't create '%s'\n", event.volumeFile);
      break;
    case Outcome::kCouldntWrite:
      std::printf("*** couldn't write '%s'\n", event.volumeFile);
      break;
    case Outcome::kDamagedOutput:
      std::printf("*** damaged JX4 file '%s' left unchanged\n", event.volumeFile);
      break;
    case Outcome::kCouldntOpen:
      std::printf("*** couldn't open '%s'\n", event.path != nullptr ? event.path : event.member);
      break;
    case Outcome::kTooLarge:
      if (event.path != nullptr) {
        std::printf("*** couldn't open '%s'\n", event.path);
      } else {
        std::printf("\n*** ProcessTar: member '%s' too large (%lld bytes), skipped\n", event.member,
                    size);
      }
      break;
    case Outcome::kNoMemory:
      if (event.path != nullptr) {
        std::printf("*** not enough memory to load '%s'\n", event.path);
      } else {
        std::printf("\n*** ProcessTar: not enough memory for member '%s' (%lld bytes), skipped\n",
                    event.member, size);
      }
      break;
    default:
      break;
  }
}

void ConsoleReporter::InputEnded(const InputEvent& event) {
  bool inMember = event.member[0] != '\0';
  switch (event.end) {
    case InputEnd::kChecksumUnreadable:
      std::printf("\n\n*** ProcessTar: error reading checksum! Aborting\n\n");
      break;
    case InputEnd::kChecksumError:
      std::printf("\n\n*** ProcessTar: checksum error! Aborting\n\n");
      break;
    case InputEnd::kSizeOutOfRange:
      std::printf("\n\n*** ProcessTar: member size out of range! Aborting\n\n");
      break;
    case InputEnd::kMemberCutShort:
    case InputEnd::kDecodingError:
    case InputEnd::kReadError:
      if (inMember) std::printf("\n\n*** TarReadFile: error reading file from tar\n");
      break;
    case InputEnd::kNoMemory:
      std::printf("\n\n*** ProcessTar: not enough memory to decode the archive! Aborting\n\n");
      break;
    default:
      break;
  }
}

}  // namespace nimbrel
