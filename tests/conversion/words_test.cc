#include "conversion/words.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "support/test_env.h"

namespace nimbrel {

namespace {

// The manual page's word lists: each ".B word" line of the REPORT section
// with the line after it, groff's escapes undone ("\-" is "-").
std::multimap<std::string, std::string> ManualWords() {
  std::vector<uint8_t> bytes = ReadFileBytes(std::string(NIMBREL_SOURCE_DIR) + "/man/jx4.1");
  std::string page(bytes.begin(), bytes.end());
  auto plain = [](std::string line) {
    for (size_t at; (at = line.find("\\-")) != std::string::npos;) line.erase(at, 1);
    return line;
  };
  std::multimap<std::string, std::string> words;
  size_t at = page.find("\n.SH REPORT");
  size_t end = page.find("\n.SH ", at + 1);
  std::string previous;
  while (at < end) {
    size_t next = page.find('\n', at + 1);
    std::string line = page.substr(at + 1, next - at - 1);
    if (previous.rfind(".B ", 0) == 0) words.emplace(plain(previous.substr(3)), plain(line));
    previous = line;
    at = next;
  }
  return words;
}

template <typename Value>
void ExpectListed(const std::multimap<std::string, std::string>& manual,
                  const char* (*word)(Value), const char* (*meaning)(Value)) {
  std::set<std::string> seen;
  for (int i = 0; i < static_cast<int>(Value::kCount); ++i) {
    auto value = static_cast<Value>(i);
    std::string w = word(value);
    EXPECT_TRUE(seen.insert(w).second) << "word used twice: " << w;
    EXPECT_EQ(w.find_first_not_of("abcdefghijklmnopqrstuvwxyz-"), std::string::npos) << w;
    EXPECT_NE(std::string(meaning(value)), "") << w;
    auto [first, last] = manual.equal_range(w);
    bool found = false;
    for (auto it = first; it != last; ++it) found |= it->second == meaning(value);
    EXPECT_TRUE(found) << "man/jx4.1 does not list '" << w << "' as: " << meaning(value);
  }
}

}  // namespace

// Every word of the report, with its meaning as the help prints it, is in
// the manual page; words are unique and plain.
TEST(Words, TheManualPageListsEveryWordWithItsMeaning) {
  std::multimap<std::string, std::string> manual = ManualWords();
  ASSERT_FALSE(manual.empty()) << "man/jx4.1 has no REPORT section";
  ExpectListed<Outcome>(manual, OutcomeWord, OutcomeMeaning);
  ExpectListed<InputEnd>(manual, InputEndWord, InputEndMeaning);
}

TEST(Words, EveryHeaderTestHasItsText) {
  std::set<std::string> seen;
  for (int i = 1; i < kHeaderTestCount; ++i) {
    std::string text = HeaderTestText(static_cast<HeaderTest>(i));
    EXPECT_NE(text, "") << i;
    EXPECT_TRUE(seen.insert(text).second) << text;
  }
  EXPECT_STREQ(HeaderTestText(HeaderTest::kNone), "");
}

}  // namespace nimbrel
