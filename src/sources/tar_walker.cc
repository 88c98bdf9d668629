#include "sources/tar_walker.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "products/product_intake.h"

namespace nimbrel {

namespace {

constexpr int32_t kNameOffset = 0;
constexpr int32_t kNameSize = 100;
constexpr int32_t kNameBufferSize = 110;
constexpr int32_t kSizeOffset = 124;
constexpr int32_t kTimeOffset = 136;
constexpr int32_t kNumberWidth = 12;
constexpr int32_t kChecksumOffset = 148;
constexpr int32_t kChecksumWidth = 8;

// A member's buffer starts at this size (or the rounded size, if smaller)
// and doubles while data keeps arriving.
constexpr int32_t kFirstChunk = 64 * 1024;

constexpr int64_t kSaturated = int64_t{1} << 62;

bool IsSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsZeroBlock(const uint8_t* block) {
  for (int32_t i = 0; i < kTarBlockSize; ++i) {
    if (block[i] != 0) return false;
  }
  return true;
}

// Skipped data is read in pieces of this size.
constexpr int32_t kSkipChunk = 64 * 1024;

struct FreeDeleter {
  void operator()(uint8_t* p) const { std::free(p); }
};

// Reads and drops `length` bytes; false when the stream ends first.
bool SkipBytes(ByteStream& stream, int64_t length) {
  uint8_t chunk[kSkipChunk];
  while (length > 0) {
    int32_t want = length < kSkipChunk ? static_cast<int32_t>(length) : kSkipChunk;
    if (stream.Read(chunk, want) != want) return false;
    length -= want;
  }
  return true;
}

// Reads `rounded` bytes into a buffer that grows with what arrives. Null
// with `complete` false when the stream ended first; null with `complete`
// true when memory ran out (the rest is then read past).
std::unique_ptr<uint8_t, FreeDeleter> ReadMember(ByteStream& stream, int32_t rounded,
                                                 bool* complete) {
  std::unique_ptr<uint8_t, FreeDeleter> data;
  int32_t capacity = 0;
  int32_t filled = 0;
  *complete = false;
  while (filled < rounded) {
    if (filled == capacity) {
      int32_t step = capacity == 0 ? kFirstChunk : capacity;
      int32_t room = rounded - capacity;
      int32_t grown = capacity + (step < room ? step : room);
      void* moved = std::realloc(data.get(), static_cast<size_t>(grown));
      if (moved == nullptr) {
        *complete = SkipBytes(stream, rounded - filled);
        return nullptr;
      }
      data.release();
      data.reset(static_cast<uint8_t*>(moved));
      capacity = grown;
    }
    int32_t want = capacity - filled;
    if (stream.Read(data.get() + filled, want) != want) return nullptr;
    filled += want;
  }
  *complete = true;
  return data;
}

}  // namespace

bool ParseTarNumber(const uint8_t* block, int32_t offset, int32_t width, int64_t* value) {
  if (offset < 0 || offset >= kTarBlockSize || width <= 0) return false;
  int32_t at = offset;
  while (at < kTarBlockSize && IsSpace(block[at])) ++at;
  int32_t end = width < kTarBlockSize - at ? at + width : kTarBlockSize;
  bool negative = false;
  if (at < end && (block[at] == '+' || block[at] == '-')) {
    negative = block[at] == '-';
    ++at;
  }
  int64_t result = 0;
  int32_t digits = 0;
  for (; at < end && block[at] >= '0' && block[at] <= '7'; ++at, ++digits) {
    result = result < kSaturated / 8 ? result * 8 + (block[at] - '0') : kSaturated;
  }
  if (digits == 0) return false;
  *value = negative ? -result : result;
  return true;
}

InputEnd InputEndOf(StreamEnd end, InputEnd otherwise) {
  switch (end) {
    case StreamEnd::kCorrupt: return InputEnd::kDecodingError;
    case StreamEnd::kReadError: return InputEnd::kReadError;
    case StreamEnd::kNoMemory: return InputEnd::kNoMemory;
    default: return otherwise;
  }
}

int64_t TarHeaderSum(const uint8_t* block) {
  int64_t sum = 0;
  for (int32_t i = 0; i < kTarBlockSize; ++i) {
    bool inChecksum = i >= kChecksumOffset && i < kChecksumOffset + kChecksumWidth;
    sum += inChecksum ? ' ' : block[i];
  }
  return sum;
}

bool TarReadFile(RunContext& context, ByteStream& stream, const char* name, int64_t size,
                 const MemberHandler& handler) {
  const int64_t rounded = (size + kTarBlockSize - 1) / kTarBlockSize * kTarBlockSize;
  ProductEvent skipped;
  skipped.member = name;
  skipped.size = size;
  if (size > kMaxProductSize) {
    skipped.outcome = Outcome::kTooLarge;
    ReportProduct(context, skipped);
    return SkipBytes(stream, rounded);
  }
  bool complete = false;
  std::unique_ptr<uint8_t, FreeDeleter> data =
      ReadMember(stream, static_cast<int32_t>(rounded), &complete);
  if (!complete) return false;
  if (data == nullptr) {
    skipped.outcome = Outcome::kNoMemory;
    ReportProduct(context, skipped);
    return true;
  }
  handler(name, data.get(), static_cast<int32_t>(size));
  return true;
}

InputEnd WalkTar(RunContext& context, ByteStream& stream, const MemberHandler& handler) {
  InputEvent event;
  event.input = context.input;
  char name[kNameBufferSize] = {};
  auto finish = [&context, &event](InputEnd end) {
    event.end = end;
    context.reporter->InputEnded(event);
    return end;
  };
  uint8_t block[kTarBlockSize];
  for (;;) {
    int32_t got = stream.Read(block, kTarBlockSize);
    if (got != kTarBlockSize) {
      InputEnd cut = got == 0 ? InputEnd::kCleanEnd : InputEnd::kMemberCutShort;
      return finish(InputEndOf(stream.End(), cut));
    }
    if (IsZeroBlock(block)) return finish(InputEnd::kCleanEnd);

    int64_t checksum = 0;
    if (!ParseTarNumber(block, kChecksumOffset, kChecksumWidth, &checksum)) {
      return finish(InputEnd::kChecksumUnreadable);
    }
    // The blanks stay in the block: a later number whose white space runs on
    // into this field sees blanks here, not the checksum's digits.
    std::memset(block + kChecksumOffset, ' ', kChecksumWidth);
    if (TarHeaderSum(block) != checksum) return finish(InputEnd::kChecksumError);

    std::memset(name, 0, sizeof name);
    for (int32_t i = 0; i < kNameSize && block[kNameOffset + i] != 0; ++i) {
      name[i] = static_cast<char>(block[kNameOffset + i]);
    }
    if (name[0] == '\0') return finish(InputEnd::kUnusableHeader);

    int64_t size = 0;
    if (!ParseTarNumber(block, kSizeOffset, kNumberWidth, &size)) {
      return finish(InputEnd::kUnusableHeader);
    }
    if (size < 0) return finish(InputEnd::kSizeOutOfRange);
    if (size == 0) continue;

    int64_t modified = 0;
    if (!ParseTarNumber(block, kTimeOffset, kNumberWidth, &modified) || modified == 0) {
      return finish(InputEnd::kUnusableHeader);
    }
    if (!TarReadFile(context, stream, name, size, handler)) {
      event.member = name;
      event.size = size;
      return finish(InputEndOf(stream.End(), InputEnd::kMemberCutShort));
    }
  }
}

InputEnd ProcessTar(RunContext& context, const char* path, const MemberHandler* handler) {
  OpenFailure failure = OpenFailure::kNone;
  std::unique_ptr<ByteStream> stream = OpenByteStream(path, &failure);
  if (stream == nullptr) {
    InputEvent event;
    event.input = context.input;
    event.end = failure == OpenFailure::kTooShort  ? InputEnd::kTooShort
                : failure == OpenFailure::kNoMemory ? InputEnd::kNoMemory
                                                    : InputEnd::kCantOpen;
    context.reporter->InputEnded(event);
    return event.end;
  }
  if (handler != nullptr) return WalkTar(context, *stream, *handler);
  MemberHandler intake = [&context](const char* name, const uint8_t* data, int32_t size) {
    ProcessProduct(context, name, data, size);
  };
  return WalkTar(context, *stream, intake);
}

}  // namespace nimbrel
