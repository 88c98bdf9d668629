// The names of one directory, read once and indexed for wildcard searches.
//
// A pattern's '*' matches any run of characters, none included; every other
// byte matches itself, ASCII letters regardless of case. A search yields
// each matching name once, in ascending byte order of the names. A pattern
// of one leading '*' and literal text after it (a name ending) is answered
// from an index of the names ordered by their case-folded text read from the
// end, in O(log n + k log k) for k matches; any other pattern scans all n
// names. The listing does not change after Read, whatever happens on disk.
#ifndef NIMBREL_SOURCES_NAME_INDEX_H_
#define NIMBREL_SOURCES_NAME_INDEX_H_

#include <cstddef>
#include <vector>

namespace nimbrel {

class NameIndex {
 public:
  // Reads and indexes the names in `directory`; false (and no names) when
  // the directory cannot be read.
  bool Read(const char* directory);

  // Replaces `matches` with the names that match `pattern`. The pointers
  // stay valid until the next Read.
  void Search(const char* pattern, std::vector<const char*>* matches) const;

  size_t size() const { return byName_.size(); }

 private:
  std::vector<char> text_;          // every name, zero-terminated, back to back
  std::vector<size_t> byName_;      // offsets into text_, ascending byte order
  std::vector<size_t> byEnding_;    // offsets ordered by folded text from the end
};

// Whether `name` matches `pattern` as described above.
bool WildcardMatch(const char* pattern, const char* name);

}  // namespace nimbrel

#endif  // NIMBREL_SOURCES_NAME_INDEX_H_
