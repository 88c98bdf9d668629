#include "streams/bz2_block_stream.h"

#include <bzlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>


namespace nimbrel {

namespace {

struct FreeDeleter {
  void operator()(uint8_t* block) const { std::free(block); }
};

}  // namespace

bool Bz2BlockStream::Recognises(const uint8_t* head, size_t size) {
  constexpr size_t kFirstStream = kBlockFileHeaderSize + 4;  // behind the header and a length word
  static_assert(kFirstStream + 2 <= kRecogniseSize);
  return size >= kRecogniseSize && head[kFirstStream] == 'B' && head[kFirstStream + 1] == 'Z';
}

Bz2BlockStream::Bz2BlockStream(std::unique_ptr<ByteStream> raw)
    : ByteStream(raw->Name()), source(std::move(raw)) {
  size = source->Read(data, kBlockFileHeaderSize);
}

Bz2BlockStream::~Bz2BlockStream() = default;

bool Bz2BlockStream::Fail(StreamEnd why) {
  failed = true;
  SetEnd(SourceEnd(*source, why));
  return false;
}

bool Bz2BlockStream::LoadNextBlock() {
  pos = 0;
  size = 0;

  uint8_t word[4];
  int32_t got = source->Read(word, 4);
  if (got != 4) return Fail(got == 0 ? StreamEnd::kEndOfData : StreamEnd::kCorrupt);
  uint32_t length = static_cast<uint32_t>(word[0]) << 24 | static_cast<uint32_t>(word[1]) << 16 |
                    static_cast<uint32_t>(word[2]) << 8 | word[3];
  if ((length & 0x80000000u) != 0) length = 0u - length;  // magnitude; 0x80000000 stays out of range
  if (length >= static_cast<uint32_t>(kBlockCapacity)) return Fail(StreamEnd::kCorrupt);

  std::unique_ptr<uint8_t, FreeDeleter> block(static_cast<uint8_t*>(std::calloc(1, length)));
  if (block == nullptr && length > 0) return Fail(StreamEnd::kNoMemory);
  int32_t want = static_cast<int32_t>(length);
  if (source->Read(block.get(), want) != want) return Fail(StreamEnd::kCorrupt);

  unsigned int inflated = kBlockCapacity;
  int rc = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(data), &inflated,
                                      reinterpret_cast<char*>(block.get()), length, 0, 0);
  if (rc != BZ_OK) return Fail(rc == BZ_MEM_ERROR ? StreamEnd::kNoMemory : StreamEnd::kCorrupt);
  size = static_cast<int32_t>(inflated);
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
