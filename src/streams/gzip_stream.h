// Placeholder: the decoding kind arrives with its own change. Until then the
// stream delivers nothing.
#ifndef NIMBREL_STREAMS_GZIP_STREAM_H_
#define NIMBREL_STREAMS_GZIP_STREAM_H_

#include "streams/byte_stream.h"

class GzipStream : public ByteStream {
 public:
  GzipStream(const char* path, int32_t fd);
  ~GzipStream() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;

 private:
  int32_t fd;
};

#endif  // NIMBREL_STREAMS_GZIP_STREAM_H_
