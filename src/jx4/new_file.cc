#include "jx4/new_file.h"

#include <memory>

#include "platform/path.h"
#include "platform/system_error.h"

namespace nimbrel {

namespace {

std::string Reason(int error) {
  char reason[128];
  DescribeSystemError(error, reason, sizeof reason);
  return reason;
}

}  // namespace

std::string PathInFolder(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (!path.empty() && !EndsAFolder(path.back())) path += kPathSeparator;
  return path + name;
}

bool NewFiles::Write(StoreFolder* folder, const std::string& name, const std::string& shown,
                     const std::string& source, const std::vector<uint8_t>& bytes,
                     std::string* error) {
  if (bytes.size() > static_cast<size_t>(INT32_MAX)) {
    *error = "'" + shown + "' would be larger than 2 GiB; not written";
    return false;
  }
  int createError = 0;
  std::unique_ptr<StoreFile> file = folder->CreateNew(name.c_str(), &createError);
  if (file == nullptr) {
    auto earlier = written_.find(name);
    if (IsExistsError(createError) && earlier != written_.end()) {
      *error = "'" + shown + "' was written from " + earlier->second + " already; not overwritten";
    } else if (IsExistsError(createError)) {
      *error = "'" + shown + "' exists already; not overwritten";
    } else {
      *error = "cannot create '" + shown + "': " + Reason(createError);
    }
    return false;
  }
  bool whole = file->WriteAt(0, bytes.data(), static_cast<int32_t>(bytes.size()));
  int writeError = whole ? 0 : LastSystemError();
  bool closed = file->Close();
  if (whole && closed) {
    written_[name] = source;
    return true;
  }
  if (closed) writeError = writeError != 0 ? writeError : LastSystemError();
  file.reset();
  bool removed = folder->Remove(name.c_str());
  *error = "writing '" + shown + "' failed: " +
           Reason(writeError != 0 ? writeError : LastSystemError()) + "; " +
           (removed ? "nothing was left" : "remove what was written of it");
  return false;
}

}  // namespace nimbrel
