#include "sources/content_kind.h"

#include <cstring>

#include "products/framed_product.h"
#include "sources/archive_reader.h"
#include "sources/tar_format.h"
#include "sources/volume_input.h"
#include "streams/bz2_block_stream.h"
#include "streams/gzip_stream.h"
#include "streams/lzw_stream.h"

namespace nimbrel {

namespace {

// A Level II volume begins with its 24-byte volume header: "AR2V" and a
// version, or "ARCHIVE2" in the oldest volumes.
bool LooksLikeLevelTwo(const uint8_t* head, size_t size) {
  return (size >= 4 && std::memcmp(head, "AR2V", 4) == 0) ||
         (size >= 8 && std::memcmp(head, "ARCHIVE2", 8) == 0);
}

bool LooksLikeArchive(const uint8_t* head, size_t size) {
  return ArchiveFormatRecognises(head, size) || LooksLikeTar(head, size);
}

struct Recogniser {
  ContentKind kind;
  bool (*recognises)(const uint8_t* head, size_t size);
  bool console;  // among the console program's kinds
};

// Asked in this order. Level II goes before the bzip2 blocks (its volumes
// have 'BZ' at 28 too) and is no kind of the console program, which reads
// such a volume as bzip2 blocks.
constexpr Recogniser kRecognisers[] = {
    {ContentKind::kCompress, LzwStream::Recognises, true},
    {ContentKind::kGzip, GzipStream::Recognises, true},
    {ContentKind::kLevelTwo, LooksLikeLevelTwo, false},
    {ContentKind::kVolume, LooksLikeVolume, false},
    {ContentKind::kBz2Blocks, Bz2BlockStream::Recognises, true},
    {ContentKind::kCompressed, ArchiveFilterRecognises, false},
    {ContentKind::kArchive, LooksLikeArchive, false},
    {ContentKind::kFramed, LooksFramed, false},
};

}  // namespace

ContentKind RecogniseContent(const uint8_t* head, size_t size, Readers readers) {
  for (const Recogniser& row : kRecognisers) {
    if ((row.console || readers == Readers::kEvery) && row.recognises(head, size)) return row.kind;
  }
  return ContentKind::kOther;
}

}  // namespace nimbrel
