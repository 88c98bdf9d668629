// Arbitrary bytes with 'B' 'Z' put at bytes 28-29 (padded to 32 bytes) and a
// first byte that cannot start a .Z or gzip magic (those are sniffed first), read
// back through OpenByteStream in two request sizes. Checks the stream's
// contract: it is a block stream, it starts with the file's first 24 bytes,
// no count lies outside 0..length, an ended stream stays ended, and the bytes
// do not depend on the request size.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "streams/bz2_block_stream.h"
#include "streams/open_stream.h"
#include "support/test_env.h"

using namespace nimbrel;

namespace {

std::vector<uint8_t> ReadAll(const char* path, int32_t piece) {
  std::unique_ptr<ByteStream> stream = OpenByteStream(path);
  if (stream == nullptr || dynamic_cast<Bz2BlockStream*>(stream.get()) == nullptr) std::abort();
  std::vector<uint8_t> all;
  std::vector<uint8_t> buffer(static_cast<size_t>(piece));
  for (;;) {
    int32_t got = stream->Read(buffer.data(), piece);
    if (got < 0 || got > piece) std::abort();
    all.insert(all.end(), buffer.begin(), buffer.begin() + got);
    if (got < piece) break;
  }
  if (stream->Read(buffer.data(), piece) != 0) std::abort();
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TempDir dir;
  static const std::string path = dir.File("blocks");
  std::vector<uint8_t> file(data, data + size);
  if (file.size() < 32) file.resize(32, 0);
  if (file[0] == 0x1F) file[0] = 0;
  file[28] = 'B';
  file[29] = 'Z';
  if (!WriteFileBytes(path, file)) std::abort();

  std::vector<uint8_t> small = ReadAll(path.c_str(), 512);
  if (small.size() < static_cast<size_t>(kBlockFileHeaderSize) ||
      std::memcmp(small.data(), file.data(), kBlockFileHeaderSize) != 0) {
    std::abort();
  }
  if (ReadAll(path.c_str(), 100003) != small) std::abort();
  return 0;
}
