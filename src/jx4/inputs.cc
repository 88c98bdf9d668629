#include "jx4/inputs.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace nimbrel {

namespace {

namespace fs = std::filesystem;

struct Expansion {
  fs::path output;
  std::vector<InputUnit>* units;

  void Unreadable(const std::string& path, const std::string& problem) {
    units->push_back({path, InputUnit::Kind::kUnreadable, 0, problem});
  }

  bool IsOutput(const fs::path& folder) const {
    std::error_code error;
    return fs::equivalent(folder, output, error);
  }

  // Whether `path` (which exists) is the output folder or lies inside it,
  // links followed.
  bool InsideOutput(const fs::path& path) const {
    std::error_code error;
    fs::path at = fs::canonical(path, error);
    for (; !error && !at.empty(); at = at.parent_path()) {
      if (IsOutput(at)) return true;
      if (at == at.parent_path()) break;
    }
    return false;
  }

  // Every regular file under `folder` (also through a link), entries in
  // name order; folders are walked, links to folders are not (they may
  // loop), other kinds are passed over.
  void Walk(const fs::path& folder) {
    if (IsOutput(folder)) return;
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      entries.push_back(*it);
    }
    if (error) return Unreadable(folder.string(), error.message());
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    for (const fs::directory_entry& entry : entries) {
      fs::file_status status = entry.status(error);
      if (error) {
        Unreadable(entry.path().string(), Reason(entry.path(), error));
      } else if (fs::is_regular_file(status) && entry.is_symlink(error) && InsideOutput(entry.path())) {
        units->push_back({entry.path().string(), InputUnit::Kind::kOutput, 0, ""});
      } else if (fs::is_regular_file(status)) {
        units->push_back({entry.path().string(), InputUnit::Kind::kFile,
                          static_cast<int64_t>(entry.file_size(error)), ""});
      } else if (fs::is_directory(status) && !entry.is_symlink(error)) {
        Walk(entry.path());
      }
    }
  }

  // Why `path` cannot be examined: the system's words, or that it is a
  // link to nothing.
  static std::string Reason(const fs::path& path, const std::error_code& error) {
    std::error_code ignored;
    if (fs::is_symlink(fs::symlink_status(path, ignored))) return "a symbolic link to nothing";
    return error.message();
  }
};

}  // namespace

std::vector<InputUnit> ExpandInputs(const std::vector<std::string>& inputs,
                                    const std::string& outputFolder) {
  std::vector<InputUnit> units;
  Expansion expansion{outputFolder, &units};
  for (const std::string& input : inputs) {
    if (input == kStandardInput) {
      units.push_back({input, InputUnit::Kind::kStream, 0, ""});
      continue;
    }
    std::error_code error;
    fs::file_status status = fs::status(input, error);
    if (error) {
      expansion.Unreadable(input, Expansion::Reason(input, error));
    } else if (expansion.InsideOutput(input)) {
      units.push_back({input, InputUnit::Kind::kOutput, 0, ""});
    } else if (fs::is_regular_file(status)) {
      units.push_back({input, InputUnit::Kind::kFile, static_cast<int64_t>(fs::file_size(input, error)), ""});
    } else if (fs::is_directory(status)) {
      expansion.Walk(input);
    } else {
      units.push_back({input, InputUnit::Kind::kStream, 0, ""});
    }
  }
  return units;
}

}  // namespace nimbrel
