#include "sources/name_index.h"

#include <algorithm>
#include <cstring>

#include "platform/directory_search.h"

namespace nimbrel {

namespace {

unsigned char Fold(char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

bool ByteLess(const char* a, const char* b) { return std::strcmp(a, b) < 0; }

// Compares the folded text of `name` and `ending`, both read from their last
// byte backwards, over the shorter length: 0 when `ending` is an ending of
// `name`; otherwise the sign of name's order relative to ending's.
int CompareEnding(const char* name, size_t nameLength, const char* ending, size_t endingLength) {
  size_t common = std::min(nameLength, endingLength);
  for (size_t i = 1; i <= common; ++i) {
    unsigned char a = Fold(name[nameLength - i]);
    unsigned char b = Fold(ending[endingLength - i]);
    if (a != b) return a < b ? -1 : 1;
  }
  return nameLength < endingLength ? -1 : 0;
}

}  // namespace

bool WildcardMatch(const char* pattern, const char* name) {
  // Greedy with one point of return: after a '*', a mismatch retries the
  // rest of the pattern one character further along the name.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = ++pattern;
      resume = name;
    } else if (*pattern != '\0' && Fold(*pattern) == Fold(*name)) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

bool NameIndex::Read(const char* directory) {
  text_.clear();
  byName_.clear();
  byEnding_.clear();
  if (!ListDirectory(directory, &text_)) {
    text_.clear();
    return false;
  }
  for (size_t at = 0; at < text_.size(); at += std::strlen(&text_[at]) + 1) byName_.push_back(at);

  const char* text = text_.data();
  std::sort(byName_.begin(), byName_.end(),
            [text](size_t a, size_t b) { return ByteLess(text + a, text + b); });
  byEnding_ = byName_;
  std::sort(byEnding_.begin(), byEnding_.end(), [text](size_t a, size_t b) {
    const char* x = text + a;
    const char* y = text + b;
    return CompareEnding(x, std::strlen(x), y, std::strlen(y)) < 0;
  });
  return true;
}

void NameIndex::Search(const char* pattern, std::vector<const char*>* matches) const {
  matches->clear();
  const char* text = text_.data();
  const char* ending = pattern + 1;
  if (pattern[0] != '*' || std::strchr(ending, '*') != nullptr) {
    for (size_t at : byName_) {
      if (WildcardMatch(pattern, text + at)) matches->push_back(text + at);
    }
    return;
  }
  size_t endingLength = std::strlen(ending);
  auto order = [text, ending, endingLength](size_t at) {
    const char* name = text + at;
    return CompareEnding(name, std::strlen(name), ending, endingLength);
  };
  auto first = std::partition_point(byEnding_.begin(), byEnding_.end(),
                                    [&order](size_t at) { return order(at) < 0; });
  auto last = std::partition_point(first, byEnding_.end(),
                                   [&order](size_t at) { return order(at) == 0; });
  for (auto it = first; it != last; ++it) matches->push_back(text + *it);
  std::sort(matches->begin(), matches->end(), ByteLess);
}

}  // namespace nimbrel
