// A corpus of synthetic radar-like products for the benchmarks: volume scans
// five minutes apart on 2005-07-03, 17 product kinds each, 2 to 60 KB of
// run-length-like body per product, under their usual archive names.
#ifndef NIMBREL_TESTS_SUPPORT_SYNTHETIC_CORPUS_H_
#define NIMBREL_TESTS_SUPPORT_SYNTHETIC_CORPUS_H_

#include <string>

namespace nimbrel {

// Writes the products of `volumeScans` scans into `folder` (which must exist)
// and their names, one per line, into `listFile` (for tar -T). False when a
// file cannot be written.
inline constexpr int kSyntheticKindsPerScan = 17;

bool WriteSyntheticScans(const std::string& folder, int volumeScans, const std::string& listFile);

// Converts `archive` into `folder`, telling nobody.
void ProcessTarQuietlyIn(const std::string& folder, const std::string& archive);

}  // namespace nimbrel

#endif  // NIMBREL_TESTS_SUPPORT_SYNTHETIC_CORPUS_H_
