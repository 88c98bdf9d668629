// Feeds arbitrary bytes to the gzip stream (built directly over the bytes,
// so every input reaches the inflater whatever its first bytes) in two
// request patterns, and to a plain reference decoder written here over
// zlib's inflate. Checks the stream's contract: counts within the request, a
// short count ends the stream for good, and the bytes do not depend on the
// request sizes; and that it delivers what the reference does, as far as
// both go.
//
// With zlib as the inflater, the stream must match the reference exactly:
// same bytes, clean end or not. igzip differs on damaged data only: it
// accepts Huffman code sets zlib refuses (so it may go on further into a
// damaged member, and even end cleanly where its trailer matches), writes a
// bad back-reference's bytes before reporting it, and stops a few bytes
// short of a cut (it decodes some literals in pairs or triples).
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "streams/gzip_stream.h"

using namespace nimbrel;

namespace {

// Deflate expands at most about 1000 to 1; this bounds the work per input.
constexpr size_t kOutputLimit = 1u << 20;
constexpr int32_t kLargePiece = 1 << 16;

// Outputs and the stream live in storage reused from run to run: fresh
// pages for them on every run would cost more than the inflating.
struct Output {
  uint8_t bytes[kOutputLimit + kLargePiece];
  size_t size = 0;
  bool clean = false;  // ended after a whole member and no further magic
  bool cut = false;    // stopped at the output limit instead of ending
  bool badCodes = false;  // the reference refused a Huffman code set
};

void ReadStream(const uint8_t* data, size_t size, int32_t firstPiece, int32_t otherPieces,
                Output& out) {
  alignas(GzipStream) static unsigned char storage[sizeof(GzipStream)];
  auto* stream =
      new (storage) GzipStream(std::make_unique<MemoryStream>("fuzz.gz", data, size));
  out.size = 0;
  out.clean = out.cut = false;
  for (int32_t piece = firstPiece; !out.cut; piece = otherPieces) {
    int32_t got = stream->Read(out.bytes + out.size, piece);
    if (got < 0 || got > piece) std::abort();
    out.size += static_cast<size_t>(got);
    out.cut = out.size >= kOutputLimit;
    if (got < piece) break;
  }
  if (!out.cut) {
    uint8_t byte;
    if (stream->Read(&byte, 1) != 0 || stream->End() == StreamEnd::kOpen) std::abort();
    out.clean = stream->End() == StreamEnd::kEndOfData;
  }
  stream->~GzipStream();
}

// Members one after another, each started only by the magic; the end is
// clean when a member's trailer is followed by anything but the magic.
void Reference(const uint8_t* data, size_t size, Output& out) {
  out.size = 0;
  out.clean = out.cut = out.badCodes = false;
  z_stream zs{};
  if (inflateInit2(&zs, 15 + 16) != Z_OK) std::abort();
  zs.next_in = const_cast<uint8_t*>(data);
  zs.avail_in = static_cast<uInt>(size);
  while (!out.cut) {
    zs.next_out = out.bytes + out.size;
    zs.avail_out = kLargePiece;
    int rc = inflate(&zs, Z_NO_FLUSH);
    out.size += kLargePiece - zs.avail_out;
    out.cut = out.size >= kOutputLimit;
    if (rc == Z_STREAM_END) {
      if (zs.avail_in < 2 || zs.next_in[0] != 0x1F || zs.next_in[1] != 0x8B) {
        out.clean = true;
        break;
      }
      inflateReset(&zs);
    } else if (rc != Z_OK) {
      // Damaged, or cut (Z_BUF_ERROR: no progress with all input given).
      out.badCodes = rc == Z_DATA_ERROR && zs.msg != nullptr &&
                     (std::strstr(zs.msg, "lengths set") != nullptr ||
                      std::strstr(zs.msg, "distances set") != nullptr);
      break;
    }
  }
  inflateEnd(&zs);
}

bool SamePrefix(const Output& a, const Output& b) {
  size_t common = std::min(a.size, b.size);
  return common == 0 || std::memcmp(a.bytes, b.bytes, common) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  static Output large, small, reference;
  ReadStream(data, size, kLargePiece, kLargePiece, large);
  ReadStream(data, size, 1 + static_cast<int32_t>(size % 13), 61 + static_cast<int32_t>(size % 977),
             small);
  Reference(data, size, reference);

  // The limit may cut the two request patterns at different points.
  if (!SamePrefix(large, small) || !SamePrefix(large, reference) || !SamePrefix(small, reference)) {
    std::abort();
  }
  if (!large.cut && !small.cut && (large.size != small.size || large.clean != small.clean)) {
    std::abort();
  }
  if (large.cut || reference.cut) return 0;
  static const bool isal = std::strcmp(GzipStream::InflaterName(), "isa-l") == 0;
  if (!isal) {
    if (large.clean != reference.clean || large.size != reference.size) std::abort();
  } else if (reference.clean) {
    if (!large.clean || large.size != reference.size) std::abort();
  } else if (large.clean && !reference.badCodes) {
    std::abort();
  }
  return 0;
}
