// Read-only descriptor I/O for archive input.
//
// A descriptor is a non-negative int32_t; -1 means "none". Reads never
// return more than asked; a negative result is an error. Nothing here prints.
#ifndef NIMBREL_PLATFORM_INPUT_FILE_H_
#define NIMBREL_PLATFORM_INPUT_FILE_H_

#include <cstdint>

namespace nimbrel {

// Opens `path` for reading in binary mode; -1 on failure.
int32_t OpenInputFile(const char* path);

// Reads up to `length` bytes; returns the count (0 at end of file) or -1.
// A read interrupted by a signal is retried.
int32_t ReadInputFile(int32_t fd, void* buffer, int32_t length);

// Reads until `length` bytes have arrived, the file ends or a read fails, so
// that a descriptor handing out less at a time (a pipe) is not taken for a
// short file; returns the bytes placed in `buffer`. `failed`, when given, is
// set when a read failed (as opposed to the file ending).
int32_t ReadInputFully(int32_t fd, void* buffer, int32_t length, bool* failed = nullptr);

// Waits until `fd` has bytes to read (or has ended or failed), at most
// `milliseconds`; false when the time ran out first. Always true where the
// system cannot wait on a descriptor: the read then blocks.
bool WaitForInput(int32_t fd, int32_t milliseconds);

// Reads until `length` bytes at `offset` have arrived or the file ends,
// without using the descriptor's position; the bytes placed, or -1 when a
// read failed.
int32_t ReadInputAt(int32_t fd, int64_t offset, void* buffer, int32_t length);

// The size in bytes of the open regular file, or -1.
int64_t InputFileSize(int32_t fd);

void CloseInputFile(int32_t fd);

}  // namespace nimbrel

#endif  // NIMBREL_PLATFORM_INPUT_FILE_H_
