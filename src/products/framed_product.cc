#include "products/framed_product.h"

#if NIMBREL_WITH_ISAL
#include <isa-l/igzip_lib.h>
#else
#include <zlib.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "products/feed_splitter.h"
#include "streams/byte_stream.h"

namespace nimbrel {

namespace {

constexpr uint8_t kLineEnd[] = {'\r', '\r', '\n'};
// A communications control block before the heading in inflated data.
constexpr size_t kMaxControlBlock = 64;
constexpr size_t kLimit = static_cast<size_t>(kMaxProductSize) + 1;  // bytes ever held
constexpr size_t kFirstCapacity = 64 * 1024;

bool IsZlibHeader(const uint8_t* data, size_t size) {
  return size >= 2 && (data[0] & 0x0F) == 8 && (data[0] >> 4) <= 7 &&
         ((data[0] << 8) | data[1]) % 31 == 0;
}

}  // namespace

size_t FindBytes(const uint8_t* data, size_t from, size_t to, const uint8_t* needle, size_t length) {
  while (from + length <= to) {
    const void* first = std::memchr(data + from, needle[0], to - length + 1 - from);
    if (first == nullptr) break;
    size_t at = static_cast<size_t>(static_cast<const uint8_t*>(first) - data);
    if (std::memcmp(data + at, needle, length) == 0) return at;
    from = at + 1;
  }
  return to;
}

bool LooksFramed(const uint8_t* data, size_t size) {
  return size >= kFrameMarkSize && std::memcmp(data, kFrameStart, kFrameMarkSize) == 0;
}

size_t FrameLineEnd(const uint8_t* data, size_t size, size_t from) {
  size_t to = std::min(size, from + kMaxFrameLine);
  size_t at = FindBytes(data, from, to, kLineEnd, sizeof kLineEnd);
  return at < to && at + sizeof kLineEnd <= size ? at + sizeof kLineEnd : 0;
}

// The inflater of zlib streams, one at a time: ISA-L's igzip where the
// build found it (about three times faster), zlib otherwise. Run inflates
// from in[0, *used) into out[0, *made) and leaves the counts taken and
// written there; kEnd once a stream's checksum was read and matched, with
// the bytes behind it not taken once ReadAhead() are given back.
enum class Inflated : uint8_t { kGoing, kEnd, kBroken, kNoMemory };

#if NIMBREL_WITH_ISAL

struct FrameUnpacker::Inflater {
  inflate_state state{};
  Inflater() {
    isal_inflate_init(&state);
    state.crc_flag = ISAL_ZLIB;  // the zlib header and Adler-32 trailer
  }
  bool Ready() const { return true; }
  void NextStream() { isal_inflate_reset(&state); }  // keeps crc_flag
  Inflated Run(const uint8_t* in, uint32_t* used, uint8_t* out, uint32_t* made) {
    state.next_in = const_cast<uint8_t*>(in);
    state.avail_in = *used;
    state.next_out = out;
    state.avail_out = *made;
    int rc = isal_inflate(&state);
    *used -= state.avail_in;
    *made -= state.avail_out;
    if (rc < 0) return Inflated::kBroken;
    return state.block_state == ISAL_BLOCK_FINISH ? Inflated::kEnd : Inflated::kGoing;
  }
  // At a stream's end: the whole bytes read ahead into the bit buffer (in
  // this call or an earlier one), which belong to what follows.
  size_t ReadAhead() const { return static_cast<size_t>(std::max(state.read_in_length, 0) / 8); }
};

#else

struct FrameUnpacker::Inflater {
  z_stream zs{};
  bool ready = false;
  Inflater() { ready = inflateInit(&zs) == Z_OK; }
  ~Inflater() {
    if (ready) inflateEnd(&zs);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  bool Ready() const { return ready; }
  void NextStream() { inflateReset(&zs); }
  Inflated Run(const uint8_t* in, uint32_t* used, uint8_t* out, uint32_t* made) {
    zs.next_in = const_cast<uint8_t*>(in);
    zs.avail_in = *used;
    zs.next_out = out;
    zs.avail_out = *made;
    int rc = inflate(&zs, Z_NO_FLUSH);
    *used -= zs.avail_in;
    *made -= zs.avail_out;
    // Z_BUF_ERROR: no progress was possible without more room or input.
    if (rc == Z_OK || rc == Z_BUF_ERROR) return Inflated::kGoing;
    if (rc == Z_STREAM_END) return Inflated::kEnd;
    return rc == Z_MEM_ERROR ? Inflated::kNoMemory : Inflated::kBroken;
  }
  size_t ReadAhead() const { return 0; }  // zlib takes no byte past a stream
};

#endif

FrameUnpacker::FrameUnpacker() = default;
FrameUnpacker::~FrameUnpacker() = default;

bool FrameUnpacker::Reserve(size_t bytes) {
  if (bytes <= capacity_) return true;
  size_t grown = std::min(std::max({bytes, capacity_ * 2, kFirstCapacity}), kLimit);
  if (grown < bytes) return false;
  // In place where the system can: a large block is remapped, not copied.
  void* moved = std::realloc(inflated_.get(), grown);
  if (moved == nullptr) return false;
  (void)inflated_.release();
  inflated_.reset(static_cast<uint8_t*>(moved));
  capacity_ = grown;
  return true;
}

std::optional<size_t> FrameUnpacker::InflateStreams(const uint8_t* data, size_t at, size_t end,
                                                    const char** why, Outcome* problem) {
  auto fail = [why, problem](Outcome outcome, const char* text) {
    *problem = outcome;
    *why = text;
    return std::nullopt;
  };
  constexpr const char* kNoMemoryText = "no memory to inflate it";
  if (inflater_ == nullptr) inflater_.reset(new (std::nothrow) Inflater);
  if (inflater_ == nullptr || !inflater_->Ready()) return fail(Outcome::kNoMemory, kNoMemoryText);
  while (at < end && IsZlibHeader(data + at, end - at)) {
    const size_t begin = at;
    inflater_->NextStream();
    for (Inflated step = Inflated::kGoing; step != Inflated::kEnd;) {
      if (inflatedSize_ == capacity_ && !Reserve(capacity_ + 1)) {
        return capacity_ == kLimit ? fail(Outcome::kTooLarge, "it inflates to over 16 MiB")
                                   : fail(Outcome::kNoMemory, kNoMemoryText);
      }
      uint32_t used = static_cast<uint32_t>(std::min<size_t>(end - at, UINT32_MAX));
      uint32_t made = static_cast<uint32_t>(capacity_ - inflatedSize_);
      step = inflater_->Run(data + at, &used, inflated_.get() + inflatedSize_, &made);
      at += used;
      inflatedSize_ += made;
      if (step == Inflated::kNoMemory) return fail(Outcome::kNoMemory, kNoMemoryText);
      // No progress with room to write: the stream ends inside the frame.
      if (step == Inflated::kBroken || (step == Inflated::kGoing && used == 0 && made == 0)) {
        return fail(Outcome::kNotProduct, "a zlib stream in it is broken");
      }
    }
    at = std::max(begin + 1, at - std::min(at, inflater_->ReadAhead()));
  }
  if (inflatedSize_ > static_cast<size_t>(kMaxProductSize)) {
    return fail(Outcome::kTooLarge, "it inflates to over 16 MiB");
  }
  return at;
}

std::optional<Outcome> FrameUnpacker::Unpack(const uint8_t* content, size_t size, const char** why) {
  image_ = nullptr;
  size_ = 0;
  inflatedSize_ = 0;
  size_t headingEnd = FrameLineEnd(content, size, 0);
  headingEnd = headingEnd > 0 ? FrameLineEnd(content, size, headingEnd) : 0;
  if (headingEnd == 0) {
    *why = "no heading behind its sequence line";
    return Outcome::kNotProduct;
  }
  auto tooLarge = [why] {
    *why = "its product is over 16 MiB";
    return Outcome::kTooLarge;
  };
  if (!IsZlibHeader(content + headingEnd, size - headingEnd)) {
    if (size > static_cast<size_t>(kMaxProductSize)) return tooLarge();
    image_ = content;
    size_ = size;
    return std::nullopt;
  }
  Outcome problem = Outcome::kNotProduct;
  std::optional<size_t> after = InflateStreams(content, headingEnd, size, why, &problem);
  if (!after.has_value()) return problem;
  // The bytes behind the last stream, then the heading in front unless the
  // inflated data holds it again (perhaps behind a control block).
  auto noMemory = [why] {
    *why = "no memory to inflate it";
    return Outcome::kNoMemory;
  };
  size_t trailing = size - *after;
  if (inflatedSize_ + trailing > static_cast<size_t>(kMaxProductSize)) return tooLarge();
  if (!Reserve(inflatedSize_ + trailing)) return noMemory();
  if (trailing > 0) std::memcpy(inflated_.get() + inflatedSize_, content + *after, trailing);
  inflatedSize_ += trailing;
  size_t heading = FindBytes(inflated_.get(), 0, std::min(inflatedSize_, kMaxControlBlock + headingEnd),
                        content, headingEnd);
  if (heading <= kMaxControlBlock && heading < inflatedSize_) {
    image_ = inflated_.get() + heading;
    size_ = inflatedSize_ - heading;
  } else {
    if (inflatedSize_ + headingEnd > static_cast<size_t>(kMaxProductSize)) return tooLarge();
    if (!Reserve(inflatedSize_ + headingEnd)) return noMemory();
    std::memmove(inflated_.get() + headingEnd, inflated_.get(), inflatedSize_);
    std::memcpy(inflated_.get(), content, headingEnd);
    image_ = inflated_.get();
    size_ = inflatedSize_ + headingEnd;
  }
  return std::nullopt;
}

std::vector<UnframedProduct> UnframeProducts(const uint8_t* data, size_t size) {
  std::vector<UnframedProduct> products;
  MemoryStream stream("", data, size);
  FeedSplitter splitter(stream);
  FeedItem item;
  while (splitter.Next(&item)) {
    UnframedProduct product;
    product.problem = item.problem;
    if (!item.problem.has_value()) product.image.assign(item.image, item.image + item.size);
    products.push_back(std::move(product));
  }
  return products;
}

}  // namespace nimbrel
