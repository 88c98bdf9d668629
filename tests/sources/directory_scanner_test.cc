#include "sources/directory_scanner.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "products/catalogue.h"
#include "sources/name_index.h"
#include "sources/tar_walker.h"
#include "support/output_dir.h"
#include "support/product_builder.h"
#include "support/recording_reporter.h"
#include "support/test_env.h"
#include "support/volume_reader.h"

namespace nimbrel {

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The product that an archive name announces: issuer, heading, category and
// site from the name (any case), scanned 2005-07-03 12:03:12, its body
// seeded by the name so that every file differs.
Bytes ProductFor(const std::string& name) {
  ProductSpec fields;
  fields.issuer = Upper(name.substr(0, 4));
  fields.wmoHeading = Upper(name.substr(5, 6));
  fields.category = Upper(name.substr(12, 3));
  fields.site = Upper(name.substr(15, 3));
  fields.seed = static_cast<uint32_t>(std::hash<std::string>{}(name));
  return BuildProduct(fields);
}

const char kAnchor[] = "KTLX_SDUS54_N0RTLX_200507031203";
const char kMember[] = "KTLX_SDUS54_N1RTLX_200507031203";

enum class Kind { kProduct, kEmpty, kFolder };

struct Entry {
  std::string name;  // under the scanned folder; may hold a subfolder
  Kind kind = Kind::kProduct;
};

void Lay(const std::string& folder, const Entry& entry) {
  std::string path = folder + "/" + entry.name;
  fs::create_directories(fs::path(path).parent_path());
  if (entry.kind == Kind::kFolder) {
    fs::create_directories(path);
    return;
  }
  std::string base = fs::path(entry.name).filename().string();
  // Names that are not archive names still hold a storable product.
  Bytes content = base.size() == 31 ? ProductFor(base) : ProductFor(kAnchor);
  if (entry.kind == Kind::kEmpty) content.clear();
  ASSERT_TRUE(WriteFileBytes(path, content));
}

struct ScanCase {
  const char* title;
  std::vector<Entry> entries;
  // Names handed to the intake, in order; "!" before a name: couldn't open.
  std::vector<std::string> handed;
  // Site-volume files and the names whose images they hold, in order.
  std::map<std::string, std::vector<std::string>> volumes;
};

const char kVolume[] = "ktlx_20050703_120312.jx4";

std::string Transcript(const std::vector<std::string>& handed) {
  std::string text;
  for (const std::string& name : handed) {
    if (name[0] == '!') {
      text += "*** couldn't open 'in" + std::string(1, kPathSeparator) + name.substr(1) + "'\n";
    } else {
      text += "\rProcessing: " + name + "      ";
    }
  }
  return text;
}

void ExpectVolumes(const std::map<std::string, std::vector<std::string>>& volumes,
                   const std::string& sources) {
  std::vector<std::string> expectedNames;
  for (const auto& [volume, names] : volumes) expectedNames.push_back(volume);
  ASSERT_EQ(ListVolumeFiles("."), expectedNames);
  for (const auto& [volume, names] : volumes) {
    VolumeContents contents = ReadVolumeFile(volume);
    ASSERT_TRUE(contents.readable) << volume;
    ASSERT_EQ(contents.entries.size(), names.size()) << volume;
    for (size_t i = 0; i < names.size(); ++i) {
      const StoredImage& entry = contents.entries[i];
      EXPECT_EQ(static_cast<int32_t>(entry.productId),
                FindProductByCode(Upper(names[i].substr(12, 3)).c_str()))
          << names[i];
      EXPECT_TRUE(entry.image == ReadFileBytes(sources + "/" + names[i])) << names[i];
    }
  }
}

TEST(ProcessDirectory, RunsTheGroupOfEachAnchor) {
  const ScanCase cases[] = {
      {"an anchor and its group; another time is another group",
       {{kAnchor}, {kMember}, {"KTLX_SDUS54_N1RTLX_200507031208"}},
       {kAnchor, kMember},
       {{kVolume, {kAnchor, kMember}}}},
      {"no anchor", {{kMember}}, {}, {}},
      {"anchors of 30 and 32 characters, or of an unknown site",
       {{"KTLX_SDUS54N0RTLX_200507031203"},
        {"KTLX_SDUS54_N0RXTLX_200507031203"},
        {"KTLX_SDUS54_N0RQQQ_200507031203"},
        {"KTLX_SDUS54_N1RQQQ_200507031203"},
        {kMember}},
       {},
       {}},
      {"notes that mention n0r", {{"n0r_notes.txt"}, {"KTLX_n0r_notes_200507031203.txt"}}, {}, {}},
      {"a 32-character name ending like a member is not loaded",
       {{kAnchor}, {std::string("X") + kMember, Kind::kFolder}},
       {kAnchor},
       {{kVolume, {kAnchor}}}},
      {"an empty member is skipped quietly",
       {{kAnchor}, {kMember, Kind::kEmpty}, {"KTLX_SDUS84_N0VTLX_200507031203"}},
       {kAnchor, "KTLX_SDUS84_N0VTLX_200507031203"},
       {{kVolume, {kAnchor, "KTLX_SDUS84_N0VTLX_200507031203"}}}},
      {"a folder named like an anchor cannot be opened",
       {{kAnchor, Kind::kFolder}, {kMember}},
       {std::string("!") + kAnchor, kMember},
       {{kVolume, {kMember}}}},
      {"letters match regardless of case; members come in byte order",
       {{"ktlx_sdus54_n0rtlx_200507031203"},
        {kMember},
        {"Ktlx_Sdus84_N0vTlx_200507031203"}},
       {kMember, "Ktlx_Sdus84_N0vTlx_200507031203", "ktlx_sdus54_n0rtlx_200507031203"},
       {{kVolume,
         {kMember, "Ktlx_Sdus84_N0vTlx_200507031203", "ktlx_sdus54_n0rtlx_200507031203"}}}},
      {"two anchors run their group twice",
       {{"KOUN_SDUS54_N0RTLX_200507031203"}, {kAnchor}, {kMember}},
       {"KOUN_SDUS54_N0RTLX_200507031203", kAnchor, kMember, "KOUN_SDUS54_N0RTLX_200507031203",
        kAnchor, kMember},
       {{kVolume, {"KOUN_SDUS54_N0RTLX_200507031203", kMember}}}},
      {"subfolders are not entered",
       {{std::string("sub/") + kAnchor}, {std::string("n0r/") + kMember}},
       {},
       {}},
  };
  for (const ScanCase& c : cases) {
    SCOPED_TRACE(c.title);
    TempDir work(true);
    for (const Entry& entry : c.entries) Lay("in", entry);
    EXPECT_EQ(ConvertInto("in", "."), Transcript(c.handed));
    ExpectVolumes(c.volumes, "in");
  }
}

TEST(ProcessDirectory, UnreadableOrTooLongFoldersYieldNothing) {
  TempDir work(true);
  Lay("in", {kAnchor});
  std::string longPath = "in";
  while (longPath.size() + 1 + 31 < 260) longPath += "/.";
  const std::string paths[] = {"absent", "in/" + std::string(kAnchor), longPath};
  for (const std::string& path : paths) {
    OutputDir out;
    RecordingReporter recorder;
    out.relay.target = &recorder;
    EXPECT_EQ(ProcessDirectory(out.context, path.c_str()), InputEnd::kCantOpen) << path;
    EXPECT_TRUE(recorder.products.empty()) << path;
  }
  EXPECT_TRUE(ListVolumeFiles(".").empty());
  // The longest path that leaves room for a name still works.
  longPath.resize(longPath.size() - 2);
  EXPECT_NE(ConvertInto(longPath, ".").find(kAnchor), std::string::npos);
  EXPECT_EQ(ListVolumeFiles("."), std::vector<std::string>{kVolume});
}

TEST(ParseArchiveName, ReadsLikeFormattedInput) {
  const struct {
    const char* name;
    const char* station;  // null: rejected
  } cases[] = {
      {"KTLX_SDUS54_N0RTLX_200507031203", "ktlx"},
      {"ktlx_sdus54_n0rtlx_200507031203", "ktlx"},
      {"XXXXXXXXXXXXN0RJUA_200507031203", "tjua"},
      {"KTLX_SDUS54_N0RTLX_20050703120", nullptr},    // 30 characters
      {"KTLX_SDUS54_N0RTLX_2005070312030", nullptr},  // 32 characters
      {"KTLX_SDUS54_N0RQQQ_200507031203", nullptr},   // unknown site
      {"KTLX_SDUS54_N0RTLX-200507031203", nullptr},   // no underscore
      {"KTLX_SDUS54_N0RTLX_2005070312xx", nullptr},   // minute does not convert
      {"KTLX_SDUS54_N0RTLX_20050703120x", "ktlx"},    // minute "0", rest unread
      {"KTLX_SDUS54_N0RTLX_2005 7 31203", "ktlx"},    // blanks before numbers
      {"KTLX_SDUS54_N0RTLX_-00507031203", "ktlx"},    // a signed year
      {"KTLX_SDUS54_N0 TLX_200507031203", "ktlx"},    // a blank ends the category
      {"KTLX_SDUS54_ N0TLX_200507031203", nullptr},   // "N0T", "LX_", then "_" vs "2"
      {"n0r_notes.txt", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    const char* station = ParseArchiveName(c.name);
    if (c.station == nullptr) {
      EXPECT_EQ(station, nullptr) << c.name;
    } else {
      ASSERT_NE(station, nullptr) << c.name;
      EXPECT_STREQ(station, c.station) << c.name;
    }
  }
}

TEST(PathCombine, JoinsWithOneSlashWithinTheBuffer) {
  const struct {
    std::string directory;
    const char* name;
    const char* joined;  // null: does not fit
  } cases[] = {
      {"in", "a", kPathSeparator == '/' ? "in/a" : "in\\a"},
      {"in/", "a", "in/a"},
      {"/", "a", "/a"},
#ifdef _WIN32
      {"in\\", "a", "in\\a"},
      {"C:", "a", "C:a"},  // the drive's current folder
#endif
      {"", "a", "a"},
      {std::string(257, 'd'), "a", "ddd"},  // 259 characters: fits
      {std::string(258, 'd'), "a", nullptr},
  };
  for (const auto& c : cases) {
    char buffer[kPathBufferSize];
    bool fits = PathCombine(buffer, c.directory.c_str(), c.name);
    ASSERT_EQ(fits, c.joined != nullptr) << c.directory.size();
    if (!fits) continue;
    if (c.directory.size() > 200) {
      EXPECT_EQ(std::strlen(buffer), 259u);
    } else {
      EXPECT_STREQ(buffer, c.joined);
    }
  }
}

TEST(LoadWholeFile, LoadsRegularFilesOnly) {
  TempDir work(true);
  Bytes content = ProductFor(kAnchor);
  ASSERT_TRUE(WriteFileBytes("product", content));
  ASSERT_TRUE(WriteFileBytes("empty", Bytes{}));
  fs::create_directory("folder");
#ifndef _WIN32  // Windows has no named pipes among files
  ASSERT_EQ(mkfifo("pipe", 0600), 0);
#endif
  {
    std::FILE* big = std::fopen("big", "wb");
    ASSERT_NE(big, nullptr);
    std::fclose(big);
    fs::resize_file("big", uint64_t{1} << 31);  // sparse: 2 GiB
  }
  {
    std::FILE* large = std::fopen("large", "wb");
    ASSERT_NE(large, nullptr);
    std::fclose(large);
    fs::resize_file("large", (16u << 20) + 1);  // one byte over the limit
  }
  const struct {
    const char* path;
    bool loads;
    Outcome why;
  } cases[] = {
      {"product", true, Outcome::kStored},      {"empty", false, Outcome::kNotProduct},
      {"big", false, Outcome::kTooLarge},       {"large", false, Outcome::kTooLarge},
      {"absent", false, Outcome::kCouldntOpen}, {"folder", false, Outcome::kCouldntOpen},
#ifndef _WIN32
      {"pipe", false, Outcome::kCouldntOpen},
#endif
  };
  for (const auto& c : cases) {
    int32_t size = -1;
    Outcome why = Outcome::kStored;
    std::unique_ptr<uint8_t[]> image = LoadWholeFile(c.path, &size, &why);
    ASSERT_EQ(image != nullptr, c.loads) << c.path;
    if (!c.loads) {
      EXPECT_EQ(why, c.why) << c.path;
    } else {
      ASSERT_EQ(size, static_cast<int32_t>(content.size()));
      EXPECT_TRUE(Bytes(image.get(), image.get() + size) == content);
    }
  }
}

TEST(WildcardMatch, StarsAndLettersOfAnyCase) {
  const struct {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"*n0r*", "KTLX_SDUS54_N0RTLX_200507031203", true},
      {"*n0r*", "n0r", true},
      {"*n0r*", "n0", false},
      {"*TLX_200507031203", "ktlx_sdus54_n1rtlx_200507031203", true},
      {"*TLX_200507031203", "KTLX_SDUS54_N1RTLX_2005070312031", false},
      {"*abc", "abcabc", true},
      {"*abc", "abcd", false},
      {"a*c", "abbbc", true},
      {"a*c", "abbbd", false},
      {"a**b*", "ab", true},
      {"*", "", true},
      {"", "", true},
      {"", "a", false},
      {"?", "?", true},  // only '*' is special
      {"?", "a", false},
      {"\xC4", "\xE4", false},  // only ASCII letters fold
      {"[", "{", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.matches) << c.pattern << " / " << c.name;
  }
}

// The index must give exactly what a plain scan of the sorted names gives.
TEST(NameIndex, AgreesWithAPlainScan) {
  TempDir work;
  std::mt19937 random(7);
  const char alphabet[] = "aAbB_*0";
#ifdef _WIN32
  const char nameAlphabet[] = "ab_0";  // Windows file names ignore case and hold no '*'
#else
  const char* nameAlphabet = alphabet;
#endif
  std::set<std::string> names;
  while (names.size() < 400) {
    std::string name(1 + random() % 6, 'x');
    for (char& c : name) c = nameAlphabet[random() % std::strlen(nameAlphabet)];
    names.insert(name);
  }
  for (const std::string& name : names) ASSERT_TRUE(WriteFileBytes(work.File(name), "x"));
  NameIndex index;
  ASSERT_TRUE(index.Read(work.path().c_str()));
  ASSERT_EQ(index.size(), names.size());  // "." and ".." are not listed

  std::vector<const char*> found;
  for (int round = 0; round < 600; ++round) {
    std::string pattern(random() % 5, 'x');
    for (char& c : pattern) c = alphabet[random() % (sizeof alphabet - 1)];
    if (round % 2 == 0) pattern = "*" + pattern;  // the indexed form, mostly
    std::vector<std::string> expected;
    for (const std::string& name : names) {  // std::set orders by bytes
      if (WildcardMatch(pattern.c_str(), name.c_str())) expected.push_back(name);
    }
    index.Search(pattern.c_str(), &found);
    EXPECT_EQ(std::vector<std::string>(found.begin(), found.end()), expected) << pattern;
  }
  EXPECT_FALSE(index.Read(work.File("absent").c_str()));
  index.Search("*", &found);
  EXPECT_TRUE(found.empty());
}

// The real product files, under archive names, in a folder and in a tar of
// the anchored groups' files: the same site-volume files, byte for byte, and
// nothing from groups without an N0R file.
TEST(ProcessDirectory, RealProductsMatchTheTarRun) {
  NIMBREL_REQUIRE_TESTDATA();
  if (RunCommand("tar --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tar";
  TempDir work(true);
  fs::create_directories("in");
  std::map<std::string, std::vector<std::string>> groups;  // upper-case key -> names
  for (const auto& file : fs::directory_iterator(TestdataDir() + "/level3")) {
    std::string name = file.path().filename().string();
    Bytes bytes = ReadFileBytes(file.path().string());
    if (name.size() != 31 || ParseArchiveName(name.c_str()) == nullptr) continue;
    ASSERT_TRUE(WriteFileBytes("in/" + name, bytes));
    groups[Upper(name.substr(15))].push_back(name);
  }
  std::vector<std::string> anchored, unanchored;
  for (auto& [key, names] : groups) {
    bool anchor = std::any_of(names.begin(), names.end(), [](const std::string& name) {
      return Upper(name).find("N0R") != std::string::npos;
    });
    (anchor ? anchored : unanchored).insert((anchor ? anchored : unanchored).end(), names.begin(),
                                            names.end());
  }
  ASSERT_GE(anchored.size(), 40u);
  ASSERT_GE(unanchored.size(), 40u);

  auto tarOf = [](const std::string& archive, std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    std::string list;
    for (const std::string& name : names) list += name + "\n";
    WriteFileBytes(archive + ".list", list);
    return RunCommand("tar --format=gnu -cf " + archive + " -C in -T " + archive + ".list") == 0;
  };
  ASSERT_TRUE(tarOf("anchored.tar", anchored));
  std::vector<std::string> everything = anchored;
  everything.insert(everything.end(), unanchored.begin(), unanchored.end());
  ASSERT_TRUE(tarOf("all.tar", everything));

  ConvertInto("in", "from-folder");
  ConvertInto("anchored.tar", "from-anchored-tar");
  ConvertInto("all.tar", "from-all-tar");

  std::vector<std::string> volumes = ListVolumeFiles("from-folder");
  EXPECT_EQ(volumes, ListVolumeFiles("from-anchored-tar"));
  EXPECT_GT(ListVolumeFiles("from-all-tar").size(), volumes.size());
  ASSERT_FALSE(volumes.empty());
  size_t stored = 0;
  for (const std::string& volume : volumes) {
    VolumeContents contents = ReadVolumeFile("from-folder/" + volume);
    ASSERT_TRUE(contents.readable) << volume;
    stored += contents.entries.size();
    EXPECT_TRUE(ReadFileBytes("from-folder/" + volume) ==
                ReadFileBytes("from-anchored-tar/" + volume))
        << volume;
  }
  EXPECT_GE(stored, 40u);
}

}  // namespace

}  // namespace nimbrel
