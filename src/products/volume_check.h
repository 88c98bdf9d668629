// Checking a .jx4 file down to its images: the format module's check of the
// header and index (CheckWellFormed), and for each indexed image what the
// intake would have had to see to file it there: an id of either catalogue
// (the extended one holds the classic one), a header that decodes and
// passes every consistency test, the file's volume time, a site id of the
// file's station and a category code of the entry's product id. The deep
// check also decodes every image: compressed symbology must inflate, every
// block offset lie inside the message and every packet fit its layer
// (ProductDecoder::Check). Nothing here prints or changes a file.
#ifndef NIMBREL_PRODUCTS_VOLUME_CHECK_H_
#define NIMBREL_PRODUCTS_VOLUME_CHECK_H_

#include <cstdint>
#include <vector>

#include "conversion/run_context.h"
#include "decode/decode_result.h"
#include "output/volume_format.h"

namespace nimbrel {

// What is wrong with one indexed image.
enum class ImageProblem : uint8_t {
  kUnknownId,       // the entry's product id is not in the catalogue
  kUnreadable,      // the image cannot be read, or is larger than any product
  kHeader,          // its product header does not decode or fails a test
  kTimeOutOfRange,  // its volume time does not fit the file format
  kVolumeTime,      // its volume time is not the file's
  kStation,         // its site id is not that of the file's station
  kCategory,        // its category code is not that of the entry's product id
  kDoesNotDecode,   // (deep check) its message does not decode
};

struct ImageFinding {
  ImageProblem problem;
  int32_t entry = -1;
  HeaderTest failedTest = HeaderTest::kNone;  // kHeader: the first test failed
  char found[4] = {};                         // kStation, kCategory: the image's code
  int64_t volumeTime = 0;                     // kVolumeTime: the image's
  DecodeResult decoded = {};                  // kDoesNotDecode: the first problem
};

// A short English description, e.g. "volume time differs from the file's".
const char* ImageProblemText(ImageProblem problem);

// The checks of image `image` (`imageLength` bytes) against entry `index`
// of `header`, whose index is taken as sound. Does not check the id.
std::vector<ImageFinding> CheckStoredImage(const VolumeFileHeader& header, int32_t index,
                                           const uint8_t* image, int32_t imageLength);

struct VolumeCheck {
  std::vector<VolumeFinding> format;  // CheckWellFormed's findings
  std::vector<ImageFinding> images;   // in entry order
  bool sound() const { return format.empty() && images.empty(); }
};

// Every check of the open file; with `deep`, every image decoded too.
// Images are not looked at when the magic or the count is wrong, nor an
// image placed outside the file.
VolumeCheck CheckVolumeFile(const VolumeReader& reader, bool deep = false);

// Whether the findings leave an index that can be read entry by entry: the
// file holds a header, its magic is right and its count is 0..60.
bool IndexUsable(const std::vector<VolumeFinding>& findings);

}  // namespace nimbrel

#endif  // NIMBREL_PRODUCTS_VOLUME_CHECK_H_
