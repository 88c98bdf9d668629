#include "output/volume_file.h"

#include <cstring>
#include <ctime>
#include <memory>

#include "output/store_io.h"
#include "platform/clock.h"

namespace nimbrel {

namespace {

// Writes `value` (0 or more) as exactly `width` decimal digits.
char* PutDigits(char* at, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    at[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return at + width;
}

}  // namespace

bool MakeVolumeFileName(char* buffer, const char* station, int32_t volumeTime) {
  if (volumeTime < 0) return false;
  std::tm fields;
  if (!UtcCalendar(volumeTime, &fields)) return false;
  // "<station>_<yyyymmdd>_<hhmmss>.jx4": a signed 32-bit time falls in the
  // years 1970 to 2038, so every field has its fixed width.
  size_t length = strnlen(station, kPathBufferSize - 24);
  char* at = buffer;
  std::memcpy(at, station, length);
  at += length;
  *at++ = '_';
  at = PutDigits(at, fields.tm_year + 1900, 4);
  at = PutDigits(at, fields.tm_mon + 1, 2);
  at = PutDigits(at, fields.tm_mday, 2);
  *at++ = '_';
  at = PutDigits(at, fields.tm_hour, 2);
  at = PutDigits(at, fields.tm_min, 2);
  at = PutDigits(at, fields.tm_sec, 2);
  std::memcpy(at, ".jx4", 5);
  return true;
}

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

}  // namespace

StoreResult StoreProduct(RunContext& context, const char* station, int32_t productId,
                         int32_t volumeTime, int32_t reserved, const uint8_t* image,
                         int32_t imageLength) {
  StoreResult result;
  if (!MakeVolumeFileName(result.fileName, station, volumeTime)) {
    result.outcome = Outcome::kVolumeTimeOutOfRange;
    return result;
  }
  if (image == nullptr || imageLength < 0) {
    result.outcome = Outcome::kNotProduct;
    return result;
  }
  std::unique_ptr<StoreFile> file = context.folder->Open(result.fileName);
  if (file == nullptr) {
    result.outcome = Outcome::kCouldntCreate;
    return result;
  }
  result.outcome = Outcome::kCouldntWrite;
  int64_t sizeBefore = file->Size();
  uint8_t before[kVolumeHeaderSize];
  int32_t got = sizeBefore < 0 ? -1 : file->ReadAt(0, before, kVolumeHeaderSize);
  if (got < 0) return result;  // unknown content is never taken for a foreign file

  VolumeFileHeader header;
  int64_t dataEnd = kVolumeHeaderSize;
  bool fresh = got != kVolumeHeaderSize || !HasVolumeMagic(before, got);
  if (fresh) {
    header = NewVolumeHeader(station, volumeTime);
  } else {
    DecodeVolumeHeader(before, &header);
    dataEnd = CheckAppendable(header, sizeBefore);
    if (dataEnd < 0) {
      result.outcome = Outcome::kDamagedOutput;
      return result;
    }
    for (int32_t i = 0; i < header.entryCount; ++i) {
      if (header.entries[i].productId == static_cast<uint32_t>(productId)) {
        result.outcome = Outcome::kAlreadyPresent;
        return result;
      }
    }
    if (header.entryCount >= kMaxVolumeEntries) {
      result.outcome = Outcome::kIndexFull;
      return result;
    }
  }
  if (dataEnd + imageLength > kMaxVolumeFileSize) return result;

  header.entries[header.entryCount] = {static_cast<uint32_t>(productId),
                                       static_cast<uint32_t>(reserved),
                                       static_cast<uint32_t>(dataEnd),
                                       static_cast<uint32_t>(imageLength)};
  header.entryCount += 1;
  if (!Append(*file, context.syncStores, sizeBefore, dataEnd, header, image, imageLength)) {
    // Back to what the file held: its valid images (a tail already cut stays
    // cut), or nothing for a file this call set out to (re)create. The old
    // header goes back too, in case the write tore it.
    file->Truncate(fresh ? 0 : dataEnd);
    if (!fresh) file->WriteAt(0, before, kVolumeHeaderSize);
    return result;
  }
  if (!file->Close()) return result;
  result.outcome = Outcome::kStored;
  result.created = fresh;
  if (fresh) ++context.stats.filesCreated;
  ++context.stats.productsStored;
  return result;
}

}  // namespace nimbrel
