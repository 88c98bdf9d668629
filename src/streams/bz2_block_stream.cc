#include "streams/bz2_block_stream.h"

#include <bzlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/input_file.h"

namespace nimbrel {

namespace {

struct FreeDeleter {
  void operator()(uint8_t* block) const { std::free(block); }
};

}  // namespace

Bz2BlockStream::Bz2BlockStream(const char* path, int32_t fd) : ByteStream(path), fd(fd) {
  size = ReadInputFully(fd, data, kBlockFileHeaderSize);
}

Bz2BlockStream::~Bz2BlockStream() {
  CloseInputFile(fd);
  fd = -1;
}

bool Bz2BlockStream::LoadNextBlock() {
  pos = 0;
  size = 0;
  failed = true;  // cleared once the block is in

  uint8_t word[4];
  if (ReadInputFully(fd, word, 4) != 4) return false;
  uint32_t length = static_cast<uint32_t>(word[0]) << 24 | static_cast<uint32_t>(word[1]) << 16 |
                    static_cast<uint32_t>(word[2]) << 8 | word[3];
  if ((length & 0x80000000u) != 0) length = 0u - length;  // magnitude; 0x80000000 stays out of range
  if (length >= static_cast<uint32_t>(kBlockCapacity)) return false;

  std::unique_ptr<uint8_t, FreeDeleter> block(static_cast<uint8_t*>(std::calloc(1, length)));
  if (block == nullptr) return false;
  int32_t want = static_cast<int32_t>(length);
  if (ReadInputFully(fd, block.get(), want) != want) return false;

  unsigned int inflated = kBlockCapacity;
  if (BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(data), &inflated,
                                 reinterpret_cast<char*>(block.get()), length, 0, 0) != BZ_OK) {
    return false;
  }
  size = static_cast<int32_t>(inflated);
  failed = false;
  return true;
}

int32_t Bz2BlockStream::Read(uint8_t* buffer, int32_t length) {
  if (failed || length <= 0) return 0;
  int32_t done = 0;
  for (;;) {
    int32_t take = std::min(size - pos, length - done);
    std::memcpy(buffer + done, data + pos, static_cast<size_t>(take));
    pos += take;
    done += take;
    if (done == length) return length;
    if (!LoadNextBlock()) return done;
  }
}

}  // namespace nimbrel
