// Placeholder: the decoding kind arrives with its own change. Until then the
// stream delivers nothing.
#ifndef NIMBREL_STREAMS_LZW_STREAM_H_
#define NIMBREL_STREAMS_LZW_STREAM_H_

#include "streams/byte_stream.h"

class LzwStream : public ByteStream {
 public:
  LzwStream(const char* path, int32_t fd);
  ~LzwStream() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;

 private:
  int32_t fd;
};

#endif  // NIMBREL_STREAMS_LZW_STREAM_H_
