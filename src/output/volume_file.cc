#include "output/volume_file.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "output/store_io.h"
#include "platform/system_error.h"

namespace nimbrel {

namespace {

// Appends the image behind `dataEnd` and indexes it; false at the first
// step that fails.
bool Append(StoreFile& file, bool sync, int64_t sizeBefore, int64_t dataEnd,
            const VolumeFileHeader& header, const uint8_t* image, int32_t imageLength) {
  uint8_t bytes[kVolumeHeaderSize];
  EncodeVolumeHeader(header, bytes);
  return (sizeBefore == dataEnd || file.Truncate(dataEnd)) &&
         file.WriteAt(dataEnd, image, imageLength) && (!sync || file.Sync()) &&
         file.WriteAt(0, bytes, kVolumeHeaderSize) && (!sync || file.Sync());
}

// A failed write: the system's reason kept, before the rollback's calls.
StoreResult& WriteFailed(StoreResult* result) {
  result->outcome = Outcome::kCouldntWrite;
  result->error = LastSystemError();
  return *result;
}

// One file of a volume's set, open and locked, and what it holds.
struct SetFile {
  std::unique_ptr<StoreFile> file;
  int64_t sizeBefore = 0;
  uint8_t before[kVolumeHeaderSize];  // its first bytes
  VolumeFileHeader header;            // as it is, or fresh
  int64_t dataEnd = kVolumeHeaderSize;
  bool fresh = false;                 // it can hold no product: started afresh

  bool Full() const { return header.entryCount >= kMaxVolumeEntries; }
};

// Reads the opened file's start and judges it: true when an image may be
// appended; else false with the outcome (kCouldntWrite, kDamagedOutput) in
// `result`. Unknown content is never taken for a file that holds nothing.
bool Judge(SetFile& set, const char* station, int32_t volumeTime, StoreResult* result) {
  set.sizeBefore = set.file->Size();
  int32_t wanted = static_cast<int32_t>(std::clamp<int64_t>(set.sizeBefore, 0, kVolumeHeaderSize));
  if (set.sizeBefore < 0 || set.file->ReadAt(0, set.before, wanted) != wanted) {
    WriteFailed(result);
    return false;
  }
  FileStart start = JudgeFileStart(set.before, set.sizeBefore);
  result->outcome = Outcome::kDamagedOutput;
  result->damage = VolumeProblem::kForeign;
  if (start == FileStart::kForeign) return false;
  set.fresh = start == FileStart::kRemnant;
  if (set.fresh) {
    set.header = NewVolumeHeader(station, volumeTime);
    return true;
  }
  DecodeVolumeHeader(set.before, &set.header);
  VolumeFinding finding{VolumeProblem::kForeign};
  set.dataEnd = CheckAppendable(set.header, set.sizeBefore, &finding);
  result->damage = finding.problem;
  return set.dataEnd >= 0;
}

// Whether the file indexes `productId` already; if so, the outcome says so
// (and whether the bytes stored differ).
bool HoldsId(SetFile& set, int32_t productId, const uint8_t* image, int32_t imageLength,
             StoreResult* result) {
  for (int32_t i = 0; i < set.header.entryCount; ++i) {
    const VolumeIndexEntry& entry = set.header.entries[i];
    if (entry.productId == static_cast<uint32_t>(productId)) {
      result->outcome = Outcome::kAlreadyPresent;
      result->differs = entry.length != static_cast<uint32_t>(imageLength) ||
                        !set.file->Holds(entry.offset, image, imageLength);
      return true;
    }
  }
  return false;
}

}  // namespace

static_assert(kMaxRemnantSize == kMaxProductSize, "an interrupted store leaves at most one image");

StoreResult StoreProduct(RunContext& context, const char* station, int32_t productId,
                         int32_t volumeTime, int32_t reserved, const uint8_t* image,
                         int32_t imageLength) {
  StoreResult result;
  const VolumeLayout layout = context.options.layout;
  char firstName[kPathBufferSize];
  if (!MakeVolumePath(firstName, station, volumeTime, layout, 1)) {
    result.outcome = Outcome::kVolumeTimeOutOfRange;
    return result;
  }
  // The file a result concerns.
  auto concern = [&result](const char* name) { std::memcpy(result.fileName, name, kPathBufferSize); };
  concern(firstName);
  if (image == nullptr || imageLength < 0) {
    result.outcome = Outcome::kNotProduct;
    return result;
  }
  // The first file's lock is held until the store is done, whichever file
  // of the set it stores into.
  SetFile first;
  first.file = context.folder.Open(firstName, &result.error);
  if (first.file == nullptr) {
    result.outcome = Outcome::kCouldntCreate;
    return result;
  }
  if (!Judge(first, station, volumeTime, &result)) return result;
  if (HoldsId(first, productId, image, imageLength, &result)) return result;

  SetFile* target = first.Full() ? nullptr : &first;
  SetFile further;  // the further file stored into, when it is one
  char furtherName[kPathBufferSize];
  if (context.options.catalogue == Catalogue::kExtended) {
    char name[kPathBufferSize];
    int32_t part = 2;
    for (; part <= kMaxVolumeParts; ++part) {
      MakeVolumePath(name, station, volumeTime, layout, part);
      SetFile next;
      next.file = context.folder.OpenExisting(name, &result.error);
      if (next.file == nullptr && IsNotFoundError(result.error)) break;
      concern(name);
      if (next.file == nullptr) {
        result.outcome = Outcome::kCouldntCreate;
        return result;
      }
      if (!Judge(next, station, volumeTime, &result)) return result;
      if (HoldsId(next, productId, image, imageLength, &result)) return result;
      if (target == nullptr && !next.Full()) {
        further = std::move(next);
        target = &further;
        std::memcpy(furtherName, name, sizeof name);
      }
    }
    result.error = 0;
    if (target == nullptr && part <= kMaxVolumeParts) {
      // Every file of the set is full: the next one begins.
      concern(name);
      further.file = context.folder.Open(name, &result.error);
      if (further.file == nullptr) {
        result.outcome = Outcome::kCouldntCreate;
        return result;
      }
      if (!Judge(further, station, volumeTime, &result)) return result;
      target = &further;
      std::memcpy(furtherName, name, sizeof name);
    }
  }
  concern(target == &further ? furtherName : firstName);
  if (target == nullptr) {
    result.outcome = Outcome::kIndexFull;
    return result;
  }

  SetFile& set = *target;
  result.outcome = Outcome::kCouldntWrite;
  if (set.dataEnd + imageLength > kMaxVolumeFileSize) return result;
  VolumeFileHeader& header = set.header;
  header.entries[header.entryCount] = {static_cast<uint32_t>(productId),
                                       static_cast<uint32_t>(reserved),
                                       static_cast<uint32_t>(set.dataEnd),
                                       static_cast<uint32_t>(imageLength)};
  header.entryCount += 1;
  if (!Append(*set.file, context.options.syncStores, set.sizeBefore, set.dataEnd, header, image,
              imageLength)) {
    // Back to what the file held: its valid images (a tail already cut stays
    // cut), or nothing for a file this call set out to (re)create. The old
    // header goes back too, in case the write tore it.
    WriteFailed(&result);
    set.file->Truncate(set.fresh ? 0 : set.dataEnd);
    if (!set.fresh) set.file->WriteAt(0, set.before, kVolumeHeaderSize);
    return result;
  }
  if (!set.file->Close()) return WriteFailed(&result);
  result.outcome = Outcome::kStored;
  result.created = set.fresh;
  if (set.fresh) ++context.stats.filesCreated;
  ++context.stats.productsStored;
  return result;
}

}  // namespace nimbrel
