// The names of a volume scan's .jx4 files and the folders a collection
// keeps them in.
//
// A volume's first file is "<station>_<yyyymmdd>_<hhmmss>.jx4" (the UTC time
// the scan began); when a store may continue a volume past the 60 products
// one file indexes, its further files are "..._2.jx4", "..._3.jx4", up to
// kMaxVolumeParts, each a whole .jx4 file of the same station and time.
// A layout puts the files in folders by station and date under the output
// folder: "ktlx/2024/05/ktlx_20240501_120312.jx4" for station/year/month,
// parted by the system's separator. Names are built in buffers of
// kPathBufferSize bytes; a signed 32-bit time falls in the years 1970 to
// 2038, so every field has its fixed width.
#ifndef NIMBREL_OUTPUT_VOLUME_NAME_H_
#define NIMBREL_OUTPUT_VOLUME_NAME_H_

#include <cstdint>
#include <string>

#include "platform/path.h"

namespace nimbrel {

inline constexpr char kVolumeSuffix[] = ".jx4";
// A volume's files, the first included. The catalogues hold 162 ids, which
// three files index; the bound only keeps a search of the set finite.
inline constexpr int32_t kMaxVolumeParts = 99;

enum class VolumeLayout : uint8_t {
  kFlat,                // every file in the output folder
  kStation,             // ktlx/
  kStationYear,         // ktlx/2024/
  kStationYearMonth,    // ktlx/2024/05/
  kStationYearMonthDay, // ktlx/2024/05/01/
  kCount
};

// "flat", "station", "station/year", "station/year/month",
// "station/year/month/day".
const char* LayoutName(VolumeLayout layout);
// Reads a name LayoutName gives; false, `layout` untouched, for any other.
bool ParseLayout(const char* text, VolumeLayout* layout);

// Writes "<station>_<yyyymmdd>_<hhmmss>.jx4" for the UTC time into `buffer`
// (at least 260 bytes). False, buffer untouched, for a negative time.
bool MakeVolumeFileName(char* buffer, const char* station, int32_t volumeTime);

// Writes the path of the volume's file `part` (1 to kMaxVolumeParts) under
// the output folder in `layout` into `buffer` (at least 260 bytes). False,
// buffer untouched, for a negative time or a part out of range.
bool MakeVolumePath(char* buffer, const char* station, int32_t volumeTime, VolumeLayout layout,
                    int32_t part);

// Which of its volume's files the file name `name` (no folder) is: 1 for
// "<station>_<yyyymmdd>_<hhmmss>.jx4", N for "..._N.jx4" (2 to
// kMaxVolumeParts, as MakeVolumePath writes it), 0 for any other name.
// `firstName`, when given and the name is a volume's, receives the name of
// the volume's first file.
int32_t VolumePart(const std::string& name, std::string* firstName = nullptr);

// The name of file `part` (2 or more) of the volume whose first file is
// named `firstName`: "ktlx_20240501_120312_2.jx4" for part 2 of
// "ktlx_20240501_120312.jx4".
std::string FurtherFileName(const std::string& firstName, int32_t part);

// The name a volume's stored product goes by outside its .jx4 file (jx4
// extract writes it under that name; read from a .jx4 input, it is the
// product's member name): its archive name from its own heading
// (products/archive_name.h), or, when that gives none, the name of the
// volume's first file (`volumeFile` is the name of one of its files, no
// folder) without ".jx4", an underscore and the product id, e.g.
// ktlx_20050703_120312_941. `fromHeading` says which.
std::string StoredProductName(const std::string& volumeFile, int32_t volumeTime, uint32_t productId,
                              const uint8_t* image, int32_t imageLength, bool* fromHeading);

}  // namespace nimbrel

#endif  // NIMBREL_OUTPUT_VOLUME_NAME_H_
