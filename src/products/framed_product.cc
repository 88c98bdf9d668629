#include "products/framed_product.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "products/product_intake.h"

namespace nimbrel {

namespace {

constexpr uint8_t kStart[] = {0x01, '\r', '\r', '\n'};
constexpr uint8_t kEnd[] = {'\r', '\r', '\n', 0x03};
constexpr uint8_t kLineEnd[] = {'\r', '\r', '\n'};
// The sequence line and the heading are short; a frame whose lines run
// longer is no frame.
constexpr size_t kMaxLine = 64;
// A communications control block before the heading in inflated data.
constexpr size_t kMaxControlBlock = 64;

// Position of `needle` in data[from, to), or `to`.
size_t Find(const uint8_t* data, size_t from, size_t to, const uint8_t* needle, size_t length) {
  while (from + length <= to) {
    const void* first = std::memchr(data + from, needle[0], to - length + 1 - from);
    if (first == nullptr) break;
    size_t at = static_cast<size_t>(static_cast<const uint8_t*>(first) - data);
    if (std::memcmp(data + at, needle, length) == 0) return at;
    from = at + 1;
  }
  return to;
}

// The end of the line starting at `from` (just past CR CR LF), or 0.
size_t LineEnd(const uint8_t* data, size_t size, size_t from) {
  size_t at = Find(data, from, std::min(size, from + kMaxLine), kLineEnd, 3);
  return at + 3 <= size && at < std::min(size, from + kMaxLine) ? at + 3 : 0;
}

bool IsZlibHeader(const uint8_t* data, size_t size) {
  return size >= 2 && (data[0] & 0x0F) == 8 && (data[0] >> 4) <= 7 &&
         ((data[0] << 8) | data[1]) % 31 == 0;
}

// Where the frame that begins at `from` ends: at a CR CR LF ETX that is the
// end of the data or is followed by the next frame; `size` when none is.
size_t FrameEnd(const uint8_t* data, size_t size, size_t from) {
  for (size_t at = from;; ++at) {
    at = Find(data, at, size, kEnd, 4);
    if (at == size) return size;
    size_t next = at + 4;
    while (next < size && (data[next] == '\r' || data[next] == '\n' || data[next] == 0)) ++next;
    if (next == size || (size - next >= 4 && std::memcmp(data + next, kStart, 4) == 0)) return at;
  }
}

// Inflates back-to-back zlib streams from data[at, end) onto `out`; the
// position after the last stream, or 0 when a stream is broken, or 1 when
// the output would pass the product limit.
size_t InflateStreams(const uint8_t* data, size_t at, size_t end, std::vector<uint8_t>* out) {
  uint8_t chunk[16384];
  while (at < end && IsZlibHeader(data + at, end - at)) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return 0;
    zs.next_in = const_cast<uint8_t*>(data + at);
    zs.avail_in = static_cast<uInt>(end - at);
    int rc = Z_OK;
    while (rc == Z_OK) {
      zs.next_out = chunk;
      zs.avail_out = sizeof chunk;
      rc = inflate(&zs, Z_NO_FLUSH);
      size_t made = sizeof chunk - zs.avail_out;
      if (out->size() + made > static_cast<size_t>(kMaxProductSize)) {
        inflateEnd(&zs);
        return 1;
      }
      out->insert(out->end(), chunk, chunk + made);
      if (rc == Z_BUF_ERROR && made > 0) rc = Z_OK;
    }
    size_t used = (end - at) - zs.avail_in;
    inflateEnd(&zs);
    if (rc != Z_STREAM_END) return 0;
    at += used;
  }
  return at;
}

// Takes one frame's content (from the heading to the end framing) apart.
UnframedProduct Unframe(const uint8_t* data, size_t size) {
  UnframedProduct product;
  size_t headingEnd = LineEnd(data, size, 0);
  headingEnd = headingEnd > 0 ? LineEnd(data, size, headingEnd) : 0;
  if (headingEnd == 0) {
    product.problem = Outcome::kNotProduct;
    return product;
  }
  if (!IsZlibHeader(data + headingEnd, size - headingEnd)) {
    product.image.assign(data, data + size);
    return product;
  }
  std::vector<uint8_t> inflated;
  size_t after = InflateStreams(data, headingEnd, size, &inflated);
  if (after <= 1) {
    product.problem = after == 1 ? Outcome::kTooLarge : Outcome::kNotProduct;
    return product;
  }
  inflated.insert(inflated.end(), data + after, data + size);
  // The inflated data holds the heading again, perhaps behind a control
  // block; without it, the outer heading goes in front.
  size_t heading = Find(inflated.data(), 0, std::min(inflated.size(), kMaxControlBlock + headingEnd),
                        data, headingEnd);
  if (heading <= kMaxControlBlock && heading < inflated.size()) {
    product.image.assign(inflated.begin() + static_cast<std::ptrdiff_t>(heading), inflated.end());
  } else {
    product.image.assign(data, data + headingEnd);
    product.image.insert(product.image.end(), inflated.begin(), inflated.end());
  }
  if (product.image.size() > static_cast<size_t>(kMaxProductSize)) {
    product.image.clear();
    product.problem = Outcome::kTooLarge;
  }
  return product;
}

}  // namespace

bool LooksFramed(const uint8_t* data, size_t size) {
  return size >= 4 && std::memcmp(data, kStart, 4) == 0;
}

std::vector<UnframedProduct> UnframeProducts(const uint8_t* data, size_t size) {
  std::vector<UnframedProduct> products;
  size_t at = 0;
  while (at < size && LooksFramed(data + at, size - at)) {
    size_t heading = LineEnd(data, size, at + 4);  // past the sequence line
    size_t end = heading > 0 ? FrameEnd(data, size, heading) : size;
    if (heading == 0 || end == size) {
      products.push_back({{}, Outcome::kNotProduct});
      break;
    }
    products.push_back(Unframe(data + heading, end - heading));
    at = end + 4;
    while (at < size && (data[at] == '\r' || data[at] == '\n' || data[at] == 0)) ++at;
  }
  return products;
}

}  // namespace nimbrel
