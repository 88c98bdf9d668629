#include "sources/any_input.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/input_file.h"
#include "platform/path.h"
#include "products/feed_splitter.h"
#include "products/product_intake.h"
#include "sources/archive_reader.h"
#include "sources/candidate_buffer.h"
#include "sources/content_kind.h"
#include "sources/tar_walker.h"
#include "sources/volume_input.h"
#include "streams/open_stream.h"
#include "streams/read_ahead_stream.h"

namespace nimbrel {

namespace {

// One input's walk through nested content.
struct Walk {
  explicit Walk(RunContext& runContext) : context(runContext) {}
  RunContext& context;
  // The first fault met; the walk goes on past faults inside members.
  InputEnd end = InputEnd::kCleanEnd;
  std::string faultMember;
  std::string detail;
  CandidateBuffer candidate;  // kept between candidates

  void Fault(InputEnd why, const std::string& member, const char* what) {
    if (end != InputEnd::kCleanEnd) return;
    end = why;
    faultMember = member;
    detail = what != nullptr ? what : "";
  }
  // The fault `stream` ended in, if it did.
  void FaultOf(const ByteStream& stream, const std::string& member) {
    if (IsFault(stream.End())) Fault(InputEndOf(stream.End(), InputEnd::kDecodingError), member, nullptr);
  }
  void Report(const std::string& member, int64_t size, Outcome outcome, const char* why = "") {
    ProductEvent event;
    event.member = member.c_str();
    event.size = size;
    event.outcome = outcome;
    event.detail = why;
    context.Report(event);
  }
};

// Where a level of nesting stands: the member path so far and the depths.
struct Level {
  std::string member;
  int archives = 0;
  int decoders = 0;
};

std::string Join(const std::string& outer, const char* name) {
  return outer.empty() ? std::string(name) : outer + "/" + name;
}

void HandleStream(Walk& walk, const Level& level, std::unique_ptr<ByteStream> stream, int64_t size);

// Reads every member of an opened archive. A failure once the data under
// the archive has run out is an archive cut short.
void ReadArchive(Walk& walk, const Level& level, ArchiveReader& reader) {
  ArchiveReader::Next next;
  while ((next = reader.NextMember()) == ArchiveReader::Next::kMember) {
    if (walk.context.Stopped()) return walk.Fault(InputEnd::kInterrupted, level.member, nullptr);
    // Members of the input's own archive go by their names; those of a
    // nested archive by the path through it; a compressed file's content by
    // the file's name.
    Level inner = level;
    if (!reader.Raw()) {
      inner.member = level.archives > 1 ? Join(level.member, reader.MemberName()) : reader.MemberName();
    }
    HandleStream(walk, inner, reader.MemberData(inner.member.c_str()), reader.MemberSize());
  }
  if (next == ArchiveReader::Next::kFailed) {
    walk.Fault(InputEndOf(reader.Failure(), InputEnd::kDecodingError), level.member, reader.Error());
  }
}

// Reads an archive (or a file of the library's compressions) from `stream`.
void ReadArchiveStream(Walk& walk, const Level& level, std::unique_ptr<ByteStream> stream, bool raw) {
  ArchiveReader reader;
  if (!reader.OpenStream(*stream, raw)) {
    return walk.Fault(InputEnd::kDecodingError, level.member, reader.Error());
  }
  ReadArchive(walk, level, reader);
  if (walk.end != InputEnd::kCleanEnd) return;
  // Whatever follows the archive's end is read too, so that a damaged end
  // of a compressed file (a gzip trailer, say) does not pass unnoticed.
  uint8_t rest[4096];
  while (stream->Read(rest, sizeof rest) == static_cast<int32_t>(sizeof rest)) {
  }
  walk.FaultOf(*stream, level.member);
}

// Files the products of a framed stream as each frame arrives. Products
// go by the member's name, numbered (#1, #2, ...) unless one frame is all
// the stream holds; frames that give none are reported with their offset.
void SplitFeed(Walk& walk, const Level& level, ByteStream& stream) {
  FeedSplitter splitter(stream);
  FeedItem item;
  std::string name;
  std::string detail;
  for (int64_t number = 1; splitter.Next(&item); ++number) {
    if (walk.context.Stopped()) return walk.Fault(InputEnd::kInterrupted, level.member, nullptr);
    name = item.wholeStream ? level.member : level.member + "#" + std::to_string(number);
    if (item.problem.has_value()) {
      detail = "at byte " + std::to_string(item.offset) + ": " + item.why;
      walk.Report(name, item.frameSize, *item.problem, detail.c_str());
    } else {
      ProcessProduct(walk.context, name.c_str(), item.image, static_cast<int32_t>(item.size));
    }
  }
  if (splitter.NoMemory()) walk.Fault(InputEnd::kNoMemory, level.member, "no memory to hold a frame");
  walk.FaultOf(stream, level.member);
}

bool Framed(const uint8_t* head, size_t size) {
  return RecogniseContent(head, size) == ContentKind::kFramed;
}

void HandleStream(Walk& walk, const Level& level, std::unique_ptr<ByteStream> stream, int64_t size) {
  if (walk.context.Stopped()) return walk.Fault(InputEnd::kInterrupted, level.member, nullptr);
  std::vector<uint8_t> head;
  // A feed's first product may be shorter than a head: it is not waited for.
  stream = Peek(std::move(stream), kHeadSize, &head, Framed);
  ContentKind kind = RecogniseContent(head.data(), head.size());
  switch (kind) {
    case ContentKind::kCompress:
    case ContentKind::kGzip:
    case ContentKind::kBz2Blocks: {
      if (level.decoders >= kMaxNesting) return walk.Report(level.member, size, Outcome::kTooDeep);
      std::unique_ptr<ByteStream> decoded = WrapStream(kind, std::move(stream));
      if (decoded == nullptr) return walk.Fault(InputEnd::kNoMemory, level.member, nullptr);
      // The outermost decoder runs on a thread of its own.
      if (walk.context.options.decodeAhead && level.decoders == 0 && level.archives == 0) {
        decoded = std::make_unique<ReadAheadStream>(std::move(decoded));
      }
      Level inner = level;
      ++inner.decoders;
      return HandleStream(walk, inner, std::move(decoded), -1);
    }
    case ContentKind::kLevelTwo:
      return walk.Report(level.member, size, Outcome::kLevelTwo);
    case ContentKind::kVolume: {
      VolumeInputEnd end = ProcessVolumeStream(walk.context, *stream, level.member);
      if (end.end != InputEnd::kCleanEnd) walk.Fault(end.end, level.member, end.detail.c_str());
      return walk.FaultOf(*stream, level.member);
    }
    case ContentKind::kArchive:
    case ContentKind::kCompressed: {
      if (level.archives >= kMaxNesting) return walk.Report(level.member, size, Outcome::kTooDeep);
      Level inner = level;
      ++inner.archives;
      return ReadArchiveStream(walk, inner, std::move(stream), kind == ContentKind::kCompressed);
    }
    case ContentKind::kFramed:
      return SplitFeed(walk, level, *stream);
    case ContentKind::kOther:
      break;
  }
  if (size > kMaxProductSize) return walk.Report(level.member, size, Outcome::kTooLarge);
  std::optional<Outcome> problem = walk.candidate.Take(*stream, size);
  if (problem.has_value()) {
    return walk.Report(level.member, static_cast<int64_t>(walk.candidate.Size()), *problem);
  }
  if (IsFault(stream->End())) return walk.FaultOf(*stream, level.member);
  ProcessProduct(walk.context, level.member.c_str(), walk.candidate.Data(),
                 static_cast<int32_t>(walk.candidate.Size()));
}

// Reports how the walk ended, once.
InputEnd Finish(const Walk& walk) {
  InputEvent event;
  event.end = walk.end;
  event.member = walk.faultMember.c_str();
  event.detail = walk.detail.c_str();
  walk.context.Report(event);
  return event.end;
}

}  // namespace

InputEnd ProcessAnyFile(RunContext& context, const char* path) {
  Walk walk(context);
  int32_t fd = OpenInputFile(path);
  if (fd < 0) {
    walk.Fault(InputEnd::kCantOpen, "", nullptr);
    return Finish(walk);
  }
  uint8_t head[kHeadSize];
  bool failed = false;
  int32_t got = ReadInputFully(fd, head, kHeadSize, &failed);
  ContentKind kind = RecogniseContent(head, static_cast<size_t>(got));
  Level top;
  top.member = BaseName(path);
  if (failed) {
    CloseInputFile(fd);
    walk.Fault(InputEnd::kReadError, top.member, nullptr);
  } else if (kind == ContentKind::kVolume) {
    CloseInputFile(fd);
    VolumeInputEnd end = ProcessVolumeFile(context, path, "");
    if (end.end != InputEnd::kCleanEnd) walk.Fault(end.end, top.member, end.detail.c_str());
  } else if (kind == ContentKind::kArchive || kind == ContentKind::kCompressed) {
    // Read by the library from the file itself, which it may position (the
    // index of a zip or 7z archive lies at its end).
    int64_t fileSize = InputFileSize(fd);
    CloseInputFile(fd);
    ArchiveReader reader;
    top.archives = 1;
    if (!reader.OpenFile(path, fileSize, context.options.bytesRead, kind == ContentKind::kCompressed)) {
      walk.Fault(InputEnd::kDecodingError, top.member, reader.Error());
    } else {
      ReadArchive(walk, top, reader);
    }
  } else {
    if (context.options.bytesRead != nullptr) context.options.bytesRead->fetch_add(got);
    auto file = std::make_unique<FileStream>(path, fd, nullptr, context.options.bytesRead);
    HandleStream(walk, top,
                 std::make_unique<PrefixedStream>(head, static_cast<size_t>(got), std::move(file)), -1);
  }
  return Finish(walk);
}

InputEnd ProcessAnyStream(RunContext& context, std::unique_ptr<ByteStream> stream) {
  Walk walk(context);
  Level top;
  top.member = stream->Name();
  HandleStream(walk, top, std::move(stream), -1);
  return Finish(walk);
}

}  // namespace nimbrel
