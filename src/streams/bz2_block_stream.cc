#include "streams/bz2_block_stream.h"

#include "platform/input_file.h"

Bz2BlockStream::Bz2BlockStream(const char* path, int32_t fd) : ByteStream(path), fd(fd) {}

Bz2BlockStream::~Bz2BlockStream() { CloseInputFile(fd); }

int32_t Bz2BlockStream::Read(uint8_t*, int32_t) { return 0; }
