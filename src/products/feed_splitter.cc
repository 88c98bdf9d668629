#include "products/feed_splitter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace nimbrel {

namespace {

constexpr size_t kFirstCapacity = 1 << 20;
constexpr size_t kMaxCapacity = kMaxFrameSize + FeedSplitter::kPiece;
constexpr const char* kOverlong = "its frame runs over 17 MiB";

// Padding between frames.
bool IsPad(uint8_t c) { return c == '\r' || c == '\n' || c == 0; }

// Position of the 4-byte `mark` in data[from, to), or `to`.
size_t FindMark(const uint8_t* data, size_t from, size_t to, const uint8_t* mark) {
  return FindBytes(data, from, to, mark, kFrameMarkSize);
}

// Where a search that found nothing in data[.., to) goes on: a mark may
// begin in the last three bytes.
size_t ResumeAt(size_t from, size_t to) {
  return std::max(from, to >= kFrameMarkSize - 1 ? to - (kFrameMarkSize - 1) : 0);
}

}  // namespace

FeedSplitter::FeedSplitter(ByteStream& stream) : stream_(stream) {}
FeedSplitter::~FeedSplitter() = default;

bool FeedSplitter::Fill() {
  if (ended_ || noMemory_) return false;
  if (capacity_ - filled_ < static_cast<size_t>(kPiece) && start_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + start_, filled_ - start_);
    filled_ -= start_;
    start_ = 0;
  }
  if (capacity_ - filled_ < static_cast<size_t>(kPiece)) {
    // Grown in place where the system can (a large block is remapped, not
    // copied beside the old one).
    size_t grown = std::min(std::max({capacity_ * 2, kFirstCapacity, filled_ + kPiece}), kMaxCapacity);
    void* moved = grown > capacity_ ? std::realloc(buffer_.get(), grown) : nullptr;
    if (moved == nullptr) {
      noMemory_ = true;
      return false;
    }
    (void)buffer_.release();
    buffer_.reset(static_cast<uint8_t*>(moved));
    capacity_ = grown;
  }
  int32_t room = static_cast<int32_t>(std::min(capacity_ - filled_, static_cast<size_t>(kPiece)));
  int32_t got = stream_.ReadSome(buffer_.get() + filled_, room);
  filled_ += static_cast<size_t>(got);
  ended_ = stream_.End() != StreamEnd::kOpen;
  return got > 0;
}

void FeedSplitter::Consume(size_t length) {
  start_ += length;
  offset_ += static_cast<int64_t>(length);
  endScan_ = startScan_ = 0;
  lastEnd_ = 0;
}

std::optional<bool> FeedSplitter::FrameStartsAt(size_t at) const {
  size_t have = filled_ - at;
  if (have < kFrameMarkSize) return ended_ ? std::optional<bool>(false) : std::nullopt;
  if (!LooksFramed(buffer_.get() + at, have)) return false;
  if (FrameLineEnd(buffer_.get() + at, have, kFrameMarkSize) != 0) return true;
  if (ended_ || have >= kFrameMarkSize + kMaxFrameLine) return false;
  return std::nullopt;
}

std::optional<size_t> FeedSplitter::FindFrameEnd(bool* broken, bool* wholeStream) {
  const uint8_t* frame = buffer_.get() + start_;
  const size_t have = filled_ - start_;
  // The end framing cannot lie inside the sequence line.
  endScan_ = std::max(endScan_, FrameLineEnd(frame, have, kFrameMarkSize));
  startScan_ = std::max<size_t>(startScan_, 1);
  for (;;) {
    size_t end = FindMark(frame, endScan_, have, kFrameEnd);
    size_t next = FindMark(frame, startScan_, end, kFrameStart);
    if (next < end) {
      std::optional<bool> starts = FrameStartsAt(start_ + next);
      if (!starts.has_value()) return std::nullopt;
      if (*starts) {
        *broken = true;
        return next;
      }
      startScan_ = next + 1;
      continue;
    }
    startScan_ = ResumeAt(startScan_, end);
    if (end == have) {
      endScan_ = ResumeAt(endScan_, have);
      return std::nullopt;
    }
    size_t after = end + kFrameMarkSize;
    while (after < have && IsPad(frame[after])) ++after;
    if (after == have) {
      endScan_ = end;  // decided now, or again once more has come
      if (ended_) {
        *wholeStream = offset_ == 0;
        return end + kFrameMarkSize;
      }
      // A live source that has delivered all that was written: the writer
      // has finished this product.
      if (!stream_.MoreAtHand()) return end + kFrameMarkSize;
      return std::nullopt;
    }
    if (have - after < kFrameMarkSize && !ended_) {
      endScan_ = end;
      return std::nullopt;
    }
    if (LooksFramed(frame + after, have - after)) return end + kFrameMarkSize;
    lastEnd_ = end + kFrameMarkSize;  // inside the message, unless the frame turns out broken
    endScan_ = end + 1;
  }
}

bool FeedSplitter::SkipToFrameStart(size_t from) {
  for (;;) {
    const uint8_t* bytes = buffer_.get() + start_;
    size_t have = filled_ - start_;
    size_t at = FindMark(bytes, from, have, kFrameStart);
    std::optional<bool> starts;
    while (at < have && (starts = FrameStartsAt(start_ + at)).value_or(true) == false) {
      at = FindMark(bytes, at + 1, have, kFrameStart);
    }
    if (at < have && starts.value_or(false)) {
      Consume(at);
      return true;
    }
    // Nothing before `at` (a start still to be told, or the last bytes
    // that may begin one) is kept.
    size_t keep = at < have ? at : ResumeAt(0, have);
    Consume(keep);
    from = 0;
    if (!Fill()) {
      Consume(filled_ - start_);
      return false;
    }
  }
}

bool FeedSplitter::Next(FeedItem* item) {
  *item = FeedItem{};
  if (skipping_) {
    skipping_ = false;
    if (!SkipToFrameStart(startScan_)) return false;
  }
  // The padding between frames.
  for (;;) {
    while (start_ < filled_ && IsPad(buffer_.get()[start_])) Consume(1);
    if (start_ < filled_) break;
    if (!Fill()) return false;
  }
  item->offset = offset_;
  std::optional<bool> starts;
  while (!(starts = FrameStartsAt(start_)).has_value()) {
    if (!Fill() && noMemory_) return false;
  }
  if (!*starts) {
    int64_t from = offset_;
    SkipToFrameStart(1);
    item->problem = Outcome::kNotProduct;
    item->frameSize = offset_ - from;
    item->why = "bytes that begin no frame";
    return true;
  }
  bool broken = false;
  bool wholeStream = false;
  std::optional<size_t> end;
  bool endKnown = false;  // the frame was looked at once the stream had ended
  while (!(end = FindFrameEnd(&broken, &wholeStream)).has_value()) {
    if (filled_ - start_ > kMaxFrameSize) {
      item->problem = Outcome::kTooLarge;
      item->frameSize = static_cast<int64_t>(filled_ - start_);
      item->why = kOverlong;
      skipping_ = true;  // the rest is passed over at the next call
      return true;
    }
    if (Fill()) continue;
    if (IsFault(stream_.End()) || noMemory_) return false;  // the stream or NoMemory() tells
    if (!endKnown) {
      endKnown = true;
      continue;
    }
    // The data has ended without the end framing: the frame is cut short,
    // unless an end framing taken for part of its message was its end.
    if (lastEnd_ == 0) {
      item->problem = Outcome::kNotProduct;
      item->frameSize = static_cast<int64_t>(filled_ - start_);
      item->why = "the data ends before its end framing";
      Consume(filled_ - start_);
      return true;
    }
    end = lastEnd_;
    break;
  }
  if (broken && lastEnd_ > 0) {  // what follows its last end framing begins no frame
    broken = false;
    end = lastEnd_;
  }
  size_t frameSize = *end;
  item->frameSize = static_cast<int64_t>(frameSize);
  if (frameSize > kMaxFrameSize) {  // its end came in the piece that took it past the limit
    item->problem = Outcome::kTooLarge;
    item->why = kOverlong;
  } else if (broken) {
    item->problem = Outcome::kNotProduct;
    item->why = "a frame starts before its end framing";
  } else {
    const uint8_t* frame = buffer_.get() + start_;
    size_t heading = FrameLineEnd(frame, frameSize, kFrameMarkSize);
    item->problem = unpacker_.Unpack(frame + heading, frameSize - kFrameMarkSize - heading, &item->why);
    item->image = unpacker_.Image();
    item->size = unpacker_.Size();
    item->wholeStream = wholeStream;
  }
  Consume(frameSize);
  return true;
}

}  // namespace nimbrel
