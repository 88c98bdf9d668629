// Placeholder: the decoding kind arrives with its own change. Until then the
// stream delivers nothing.
#ifndef NIMBREL_STREAMS_BZ2_BLOCK_STREAM_H_
#define NIMBREL_STREAMS_BZ2_BLOCK_STREAM_H_

#include "streams/byte_stream.h"

class Bz2BlockStream : public ByteStream {
 public:
  Bz2BlockStream(const char* path, int32_t fd);
  ~Bz2BlockStream() override;
  int32_t Read(uint8_t* buffer, int32_t length) override;

 private:
  int32_t fd;
};

#endif  // NIMBREL_STREAMS_BZ2_BLOCK_STREAM_H_
