#include "sources/volume_input.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "output/volume_format.h"
#include "output/volume_name.h"
#include "platform/path.h"
#include "products/product_intake.h"
#include "sources/tar_walker.h"

namespace nimbrel {

namespace {

constexpr char kCutShort[] = "the .jx4 file ends inside an image it indexes";

// What reading one .jx4 input has met so far.
class VolumeWalk {
 public:
  VolumeWalk(RunContext& context, const std::string& outer, const char* volumeFile)
      : context_(context), outer_(outer), volumeFile_(BaseName(volumeFile)) {}

  // Files entry `index`'s image.
  void File(const VolumeFileHeader& header, int32_t index, const uint8_t* image, int32_t length) {
    bool fromHeading = false;
    std::string name = StoredProductName(volumeFile_, header.volumeTime, header.entries[index].productId,
                                         image, length, &fromHeading);
    name = Member(name);
    ProcessProduct(context_, name.c_str(), image, length);
  }

  // Entry `index` gives no image: reported, and the input ends as `why`
  // (the first reason kept).
  void NotRead(const VolumeFileHeader& header, int32_t index, Outcome outcome, InputEnd why,
               const char* detail) {
    const VolumeIndexEntry& entry = header.entries[index];
    std::string name = Member(volumeFile_ + " entry " + std::to_string(index) + " (id " +
                              std::to_string(entry.productId) + ")");
    ProductEvent event;
    event.member = name.c_str();
    event.size = entry.length;
    event.outcome = outcome;
    event.productId = entry.productId <= INT32_MAX ? static_cast<int32_t>(entry.productId) : 0;
    event.detail = detail;
    context_.Report(event);
    if (outcome != Outcome::kTooLarge) Fault(why, detail);
  }

  void Fault(InputEnd why, const char* detail) {
    if (end_.end != InputEnd::kCleanEnd) return;
    end_.end = why;
    end_.detail = detail;
  }

  // The index, judged: false (the input ended) when it cannot be used.
  bool Usable(const VolumeFileHeader& header, int64_t fileSize) {
    for (const VolumeFinding& finding : CheckWellFormed(header, fileSize)) {
      if (finding.problem == VolumeProblem::kBadMagic || finding.problem == VolumeProblem::kEntryCount) {
        Fault(InputEnd::kDecodingError, VolumeProblemText(finding.problem));
        return false;
      }
    }
    return true;
  }

  bool Stopped() {
    if (context_.Stopped()) Fault(InputEnd::kInterrupted, "");
    return context_.Stopped();
  }

  VolumeInputEnd end() const { return end_; }

 private:
  std::string Member(const std::string& name) const { return outer_.empty() ? name : outer_ + "/" + name; }

  RunContext& context_;
  const std::string& outer_;
  std::string volumeFile_;
  VolumeInputEnd end_;
};

// Reads and drops `count` bytes of `stream`; false when it ends first.
bool Skip(ByteStream& stream, int64_t count, std::vector<uint8_t>& scratch) {
  scratch.resize(64 * 1024);
  while (count > 0) {
    int32_t want = static_cast<int32_t>(std::min<int64_t>(count, static_cast<int64_t>(scratch.size())));
    if (stream.Read(scratch.data(), want) != want) return false;
    count -= want;
  }
  return true;
}

// Reads the next `length` bytes into `image`, which grows with what
// arrives; false when the stream ends first.
bool ReadImage(ByteStream& stream, int32_t length, std::vector<uint8_t>* image) {
  constexpr int32_t kChunk = 256 * 1024;
  image->clear();
  for (int32_t done = 0; done < length;) {
    int32_t want = std::min(kChunk, length - done);
    image->resize(static_cast<size_t>(done + want));
    if (stream.Read(image->data() + done, want) != want) return false;
    done += want;
  }
  return true;
}

}  // namespace

bool LooksLikeVolume(const uint8_t* head, size_t size) {
  return HasVolumeMagic(head, static_cast<int64_t>(size));
}

VolumeInputEnd ProcessVolumeFile(RunContext& context, const char* path, const std::string& outer) {
  VolumeWalk walk(context, outer, path);
  VolumeReader reader;
  if (!reader.Open(path)) {
    walk.Fault(reader.start() == FileStart::kForeign ? InputEnd::kReadError : InputEnd::kMemberCutShort,
               "the .jx4 file is shorter than its header");
    return walk.end();
  }
  if (context.options.bytesRead != nullptr) context.options.bytesRead->fetch_add(kVolumeHeaderSize);
  const VolumeFileHeader& header = reader.header();
  if (!walk.Usable(header, reader.fileSize())) return walk.end();
  std::vector<uint8_t> image;
  for (int32_t i = 0; i < reader.entryCount() && !walk.Stopped(); ++i) {
    const VolumeIndexEntry& entry = header.entries[i];
    if (entry.length > static_cast<uint32_t>(kMaxProductSize)) {
      walk.NotRead(header, i, Outcome::kTooLarge, InputEnd::kCleanEnd, "");
    } else if (int64_t{entry.offset} + entry.length > reader.fileSize()) {
      walk.NotRead(header, i, Outcome::kCouldntRead, InputEnd::kMemberCutShort, kCutShort);
    } else if (!reader.ReadImage(i, &image)) {
      walk.NotRead(header, i, Outcome::kCouldntRead, InputEnd::kDecodingError,
                   entry.offset < static_cast<uint32_t>(kVolumeHeaderSize)
                       ? VolumeProblemText(VolumeProblem::kInsideHeader)
                       : "the image could not be read");
    } else {
      if (context.options.bytesRead != nullptr) context.options.bytesRead->fetch_add(entry.length);
      walk.File(header, i, image.data(), static_cast<int32_t>(image.size()));
    }
  }
  return walk.end();
}

VolumeInputEnd ProcessVolumeStream(RunContext& context, ByteStream& stream, const std::string& outer) {
  VolumeWalk walk(context, outer, outer.c_str());
  uint8_t bytes[kVolumeHeaderSize];
  if (stream.Read(bytes, kVolumeHeaderSize) != kVolumeHeaderSize) {
    walk.Fault(InputEnd::kMemberCutShort, "the .jx4 file is shorter than its header");
    return walk.end();
  }
  VolumeFileHeader header;
  DecodeVolumeHeader(bytes, &header);
  // The size is not known ahead: every image is taken to lie inside.
  if (!walk.Usable(header, INT64_MAX)) return walk.end();
  std::vector<int32_t> order(static_cast<size_t>(header.entryCount));
  for (int32_t i = 0; i < header.entryCount; ++i) order[static_cast<size_t>(i)] = i;
  std::stable_sort(order.begin(), order.end(), [&header](int32_t a, int32_t b) {
    return header.entries[a].offset < header.entries[b].offset;
  });
  std::vector<uint8_t> image, scratch;
  int64_t at = kVolumeHeaderSize;
  bool ended = false;  // the stream ran out
  for (int32_t i : order) {
    if (walk.Stopped()) break;
    const VolumeIndexEntry& entry = header.entries[i];
    if (ended) {
      walk.NotRead(header, i, Outcome::kCouldntRead, InputEnd::kMemberCutShort, kCutShort);
    } else if (entry.offset < at) {
      walk.NotRead(header, i, Outcome::kCouldntRead, InputEnd::kDecodingError,
                   entry.offset < static_cast<uint32_t>(kVolumeHeaderSize)
                       ? VolumeProblemText(VolumeProblem::kInsideHeader)
                       : "the image overlaps the one before it: not read from a stream");
    } else if (!Skip(stream, entry.offset - at, scratch)) {
      ended = true;
      walk.NotRead(header, i, Outcome::kCouldntRead, InputEnd::kMemberCutShort, kCutShort);
    } else if (entry.length > static_cast<uint32_t>(kMaxProductSize)) {
      at = entry.offset;
      walk.NotRead(header, i, Outcome::kTooLarge, InputEnd::kCleanEnd, "");
    } else {
      int32_t length = static_cast<int32_t>(entry.length);
      at = int64_t{entry.offset} + entry.length;
      if (!ReadImage(stream, length, &image)) {
        ended = true;
        walk.NotRead(header, i, Outcome::kCouldntRead, InputEnd::kMemberCutShort, kCutShort);
      } else {
        walk.File(header, i, image.data(), length);
      }
    }
  }
  // Whatever follows is read too, so that a damaged end of a compressed
  // file (a gzip trailer, say) does not pass unnoticed.
  if (!ended && !context.Stopped()) {
    const int32_t chunk = 64 * 1024;
    scratch.resize(chunk);
    while (stream.Read(scratch.data(), chunk) == chunk) {
    }
  }
  if (IsFault(stream.End())) walk.Fault(InputEndOf(stream.End(), InputEnd::kDecodingError), "");
  return walk.end();
}

}  // namespace nimbrel
