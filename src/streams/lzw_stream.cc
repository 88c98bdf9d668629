#include "streams/lzw_stream.h"

#include "platform/input_file.h"

LzwStream::LzwStream(const char* path, int32_t fd) : ByteStream(path), fd(fd) {}

LzwStream::~LzwStream() { CloseInputFile(fd); }

int32_t LzwStream::Read(uint8_t*, int32_t) { return 0; }
