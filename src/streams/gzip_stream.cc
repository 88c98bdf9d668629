#include "streams/gzip_stream.h"

#include "platform/input_file.h"

GzipStream::GzipStream(const char* path, int32_t fd) : ByteStream(path), fd(fd) {}

GzipStream::~GzipStream() { CloseInputFile(fd); }

int32_t GzipStream::Read(uint8_t*, int32_t) { return 0; }
