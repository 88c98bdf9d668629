#include "sources/tar_walker.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "products/product_intake.h"

namespace nimbrel {

namespace {

constexpr int32_t kNameBufferSize = 110;

// A member's buffer starts at this size (or the rounded size, if smaller)
// and doubles while data keeps arriving.
constexpr int32_t kFirstChunk = 64 * 1024;

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

InputEnd InputEndOf(StreamEnd end, InputEnd otherwise) {
  switch (end) {
    case StreamEnd::kCorrupt: return InputEnd::kDecodingError;
    case StreamEnd::kReadError: return InputEnd::kReadError;
    case StreamEnd::kNoMemory: return InputEnd::kNoMemory;
    case StreamEnd::kInterrupted: return InputEnd::kInterrupted;
    case StreamEnd::kCutShort: return InputEnd::kMemberCutShort;
    default: return otherwise;
  }
}

bool TarReadFile(RunContext& context, ByteStream& stream, const char* name, int64_t size,
                 const MemberHandler& handler) {
  const int64_t rounded = (size + kTarBlockSize - 1) / kTarBlockSize * kTarBlockSize;
  ProductEvent skipped;
  skipped.member = name;
  skipped.size = size;
  if (size > kMaxProductSize) {
    skipped.outcome = Outcome::kTooLarge;
    context.Report(skipped);
    return SkipBytes(stream, rounded);
  }
  bool complete = false;
  std::unique_ptr<uint8_t, FreeDeleter> data =
      ReadMember(stream, static_cast<int32_t>(rounded), &complete);
  if (!complete) return false;
  if (data == nullptr) {
    skipped.outcome = Outcome::kNoMemory;
    context.Report(skipped);
    return true;
  }
  handler(name, data.get(), static_cast<int32_t>(size));
  return true;
}

InputEnd WalkTar(RunContext& context, ByteStream& stream, const MemberHandler& handler) {
  InputEvent event;
  char name[kNameBufferSize] = {};
  auto finish = [&context, &event](InputEnd end) {
    event.end = end;
    context.Report(event);
    return end;
  };
  uint8_t block[kTarBlockSize];
  for (;;) {
    if (context.Stopped()) return finish(InputEnd::kInterrupted);
    int32_t got = stream.Read(block, kTarBlockSize);
    if (got != kTarBlockSize) {
      InputEnd cut = got == 0 ? InputEnd::kCleanEnd : InputEnd::kMemberCutShort;
      return finish(InputEndOf(stream.End(), cut));
    }
    if (IsZeroBlock(block)) return finish(InputEnd::kCleanEnd);

    int64_t checksum = 0;
    if (!ParseTarNumber(block, kTarChecksumOffset, kTarChecksumWidth, &checksum)) {
      return finish(InputEnd::kChecksumUnreadable);
    }
    // The blanks stay in the block: a later number whose white space runs on
    // into this field sees blanks here, not the checksum's digits.
    std::memset(block + kTarChecksumOffset, ' ', kTarChecksumWidth);
    if (TarHeaderSum(block) != checksum) return finish(InputEnd::kChecksumError);

    std::memset(name, 0, sizeof name);
    for (int32_t i = 0; i < kTarNameSize && block[kTarNameOffset + i] != 0; ++i) {
      name[i] = static_cast<char>(block[kTarNameOffset + i]);
    }
    if (name[0] == '\0') return finish(InputEnd::kUnusableHeader);

    int64_t size = 0;
    if (!ParseTarNumber(block, kTarSizeOffset, kTarNumberWidth, &size)) {
      return finish(InputEnd::kUnusableHeader);
    }
    if (size < 0) return finish(InputEnd::kSizeOutOfRange);
    if (size == 0) continue;

    int64_t modified = 0;
    if (!ParseTarNumber(block, kTarTimeOffset, kTarNumberWidth, &modified) || modified == 0) {
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
    event.end = failure == OpenFailure::kTooShort  ? InputEnd::kTooShort
                : failure == OpenFailure::kNoMemory ? InputEnd::kNoMemory
                                                    : InputEnd::kCantOpen;
    context.Report(event);
    return event.end;
  }
  if (handler != nullptr) return WalkTar(context, *stream, *handler);
  MemberHandler intake = [&context](const char* name, const uint8_t* data, int32_t size) {
    ProcessProduct(context, name, data, size);
  };
  return WalkTar(context, *stream, intake);
}

}  // namespace nimbrel
