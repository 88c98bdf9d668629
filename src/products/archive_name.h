// The name a product file carries in the day archives it is ordered from,
// CCCC_TTAAII_PPPSSS_YYYYMMDDHHMM (e.g. KTLX_SDUS54_N0RTLX_200507031203),
// made from the product's own 30-byte heading:
//
//   "TTAAII CCCC DDHHMM\r\r\nPPPSSS\r\r\n"
//
// (WMO data type and issuing office, the day of month and time it was sent,
// and its AWIPS id). The heading has no year or month: they are those of the
// volume scan, one month later when the heading's day is smaller than the
// volume scan's (the product went out after the month's end).
#ifndef NIMBREL_PRODUCTS_ARCHIVE_NAME_H_
#define NIMBREL_PRODUCTS_ARCHIVE_NAME_H_

#include <cstdint>

namespace nimbrel {

// The 31 characters of the name and a zero byte.
inline constexpr int32_t kArchiveNameSize = 32;

// Writes the name of the product `image` whose volume scan began at
// `volumeTime` (seconds since 1970 UTC) into `buffer`. False, buffer
// untouched, when the image does not begin with a heading of that form
// (letters and digits in the ids, a real day, hour and minute, blanks and
// line ends between) or the volume time is before 1970.
bool MakeArchiveName(const uint8_t* image, int32_t imageLength, int32_t volumeTime,
                     char (&buffer)[kArchiveNameSize]);

}  // namespace nimbrel

#endif  // NIMBREL_PRODUCTS_ARCHIVE_NAME_H_
