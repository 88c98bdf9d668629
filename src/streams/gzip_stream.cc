#include "streams/gzip_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

#if NIMBREL_WITH_ISAL
#include <isa-l/igzip_lib.h>
#else
#include <zlib.h>
#endif

namespace nimbrel {

namespace {

// Bits 5-7 of a member's flags byte (its fourth) are reserved.
constexpr uint8_t kReservedFlags = 0xE0;

// What one run of the inflater came to.
enum class Step : uint8_t {
  kGoing,      // progress, or none possible without more input
  kMemberEnd,  // a member's trailer was read and matched
  kCorrupt,    // bad header, deflate data, CRC or length
  kNoMemory,
};

}  // namespace

// Each back end: Ready() false when it got no memory; NextMember() prepares
// for the member after a trailer; Run() inflates from in[0, *used) into
// out[0, *made) and leaves in *used and *made the counts taken and written.
#if NIMBREL_WITH_ISAL

// igzip parses the gzip header itself and checks the trailer (crc_flag
// ISAL_GZIP); block_state is ISAL_BLOCK_FINISH once the trailer matched, and
// then next_in points just past it. Faults are negative return values.
//
// On a back-reference to before the member's start, igzip writes the bad
// match (up to 258 bytes, taken from its own state) before it reports the
// fault: the state is zeroed first so those bytes do not depend on stale
// memory.
struct GzipStream::Inflater {
  inflate_state state{};

  Inflater() {
    isal_inflate_init(&state);
    state.crc_flag = ISAL_GZIP;
  }
  bool Ready() const { return true; }
  void NextMember() { isal_inflate_reset(&state); }  // keeps crc_flag

  Step Run(uint8_t* in, uint32_t* used, uint8_t* out, uint32_t* made) {
    state.next_in = in;
    state.avail_in = *used;
    state.next_out = out;
    state.avail_out = *made;
    int rc = isal_inflate(&state);
    *used -= state.avail_in;
    *made -= state.avail_out;
    if (rc < 0) return Step::kCorrupt;
    return state.block_state == ISAL_BLOCK_FINISH ? Step::kMemberEnd : Step::kGoing;
  }
};

const char* GzipStream::InflaterName() { return "isa-l"; }

#else

// Window bits 15 plus 16: inflate expects a gzip header and trailer.
struct GzipStream::Inflater {
  z_stream zs{};
  bool ready = false;

  Inflater() { ready = inflateInit2(&zs, 15 + 16) == Z_OK; }
  ~Inflater() {
    if (ready) inflateEnd(&zs);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  bool Ready() const { return ready; }
  void NextMember() { inflateReset(&zs); }

  Step Run(uint8_t* in, uint32_t* used, uint8_t* out, uint32_t* made) {
    zs.next_in = in;
    zs.avail_in = *used;
    zs.next_out = out;
    zs.avail_out = *made;
    int rc = inflate(&zs, Z_NO_FLUSH);
    *used -= zs.avail_in;
    *made -= zs.avail_out;
    // Z_BUF_ERROR: no progress was possible without more input.
    if (rc == Z_OK || rc == Z_BUF_ERROR) return Step::kGoing;
    if (rc == Z_STREAM_END) return Step::kMemberEnd;
    return rc == Z_MEM_ERROR ? Step::kNoMemory : Step::kCorrupt;
  }
};

const char* GzipStream::InflaterName() { return "zlib"; }

#endif

GzipStream::GzipStream(std::unique_ptr<ByteStream> raw)
    : ByteStream(raw->Name()), source(std::move(raw)), inflater(new (std::nothrow) Inflater) {
  if (inflater == nullptr || !inflater->Ready()) {
    inflater.reset();
    stop = StreamEnd::kNoMemory;
    SetEnd(stop);
    ended = true;
  }
}

GzipStream::~GzipStream() = default;

int32_t GzipStream::Read(uint8_t* buffer, int32_t length) {
  if (ended || length <= 0) return 0;
  int32_t done = 0;
  while (done < length) {
    if (outPos == outEnd && !Refill()) {
      ended = true;
      SetEnd(stop);
      break;
    }
    int32_t take = std::min(length - done, outEnd - outPos);
    std::memcpy(buffer + done, output + outPos, static_cast<size_t>(take));
    outPos += take;
    done += take;
  }
  return done;
}

bool GzipStream::Recognises(const uint8_t* head, size_t size) {
  return size >= 2 && head[0] == 0x1F && head[1] == 0x8B;
}

bool GzipStream::Refill() {
  outPos = outEnd = 0;
  while (stop == StreamEnd::kOpen && outEnd == 0) {
    if (memberEnded) {
      // Another member follows only where the magic does; anything else
      // (the end of the file, zero padding, other bytes) ends the stream.
      if (!Fill(2) || !Recognises(input + inPos, 2)) {
        stop = SourceEnd(*source, StreamEnd::kEndOfData);
        break;
      }
      inflater->NextMember();
      memberEnded = false;
      memberStarts = true;
    }
    // A member whose flags byte sets reserved bits is refused, as zlib and
    // the usual decompressor do (igzip would ignore them). A header cut
    // before that byte is the inflater's to find.
    if (memberStarts && Fill(4)) {
      memberStarts = false;
      if ((input[inPos + 3] & kReservedFlags) != 0) {
        stop = SourceEnd(*source, StreamEnd::kCorrupt);
        break;
      }
    }
    // The inflater runs even when the file has ended inside a member: the
    // bits it holds may still give bytes.
    if (inPos == inEnd) Fill(1);
    uint32_t used = static_cast<uint32_t>(inEnd - inPos);
    uint32_t made = kOutputSize;
    Step step = inflater->Run(input + inPos, &used, output, &made);
    inPos += static_cast<int32_t>(used);
    outEnd = static_cast<int32_t>(made);
    switch (step) {
      case Step::kGoing:
        // Stalled: it needs more than is buffered, and a cut member when
        // the file has no more.
        if (used == 0 && made == 0 && !Fill(inEnd - inPos + 1)) {
          stop = SourceEnd(*source, StreamEnd::kCutShort);
        }
        break;
      case Step::kMemberEnd:
        memberEnded = true;
        break;
      case Step::kCorrupt:
        stop = SourceEnd(*source, StreamEnd::kCorrupt);
        break;
      case Step::kNoMemory:
        stop = StreamEnd::kNoMemory;
        break;
    }
  }
  return outEnd > 0;
}

bool GzipStream::Fill(int32_t wanted) {
  int32_t have = inEnd - inPos;
  if (have >= wanted) return true;
  if (wanted > kInputSize) return false;
  if (have > 0 && inPos > 0) std::memmove(input, input + inPos, static_cast<size_t>(have));
  inPos = 0;
  inEnd = have;
  while (inEnd < wanted) {
    if (fileEnded) return false;
    int32_t want = kInputSize - inEnd;
    int32_t got = source->Read(input + inEnd, want);
    fileEnded = got < want;  // no read after the end or an error
    inEnd += got;
    if (got <= 0) return false;
  }
  return true;
}

}  // namespace nimbrel
