#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "platform/core/Streams.h"
#include "platform/core/Strings.h"
#include "platform/core/SysUtils.h"

namespace qorv::platform {
namespace {

TEST(StringListTest, TextSplitsAtEveryLineBreakAndJoinsWithCrLf) {
  struct Row {
    const char* text;
    std::vector<std::string> lines;
    const char* joined;
  };
  const Row rows[] = {
      {"", {}, ""},
      {"a", {"a"}, "a\r\n"},
      {"a\r\nb\r\n", {"a", "b"}, "a\r\nb\r\n"},
      {"a\nb\rc", {"a", "b", "c"}, "a\r\nb\r\nc\r\n"},
      {"\r\n\r\n", {"", ""}, "\r\n\r\n"},
      {"a\n\rb", {"a", "", "b"}, "a\r\n\r\nb\r\n"},
      {" x = 1 \r\n", {" x = 1 "}, " x = 1 \r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    TStringList list;
    list.SetText(row.text);
    ASSERT_EQ(list.Count(), static_cast<int>(row.lines.size()));
    for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list[i], row.lines[static_cast<std::size_t>(i)]);
    EXPECT_EQ(list.Text(), row.joined);
  }
}

TEST(StringListTest, EditingNamesAndValues) {
  TStringList list;
  EXPECT_EQ(list.Add("url=http://a"), 0);
  list.Add("Version=1.0");
  list.Insert(0, "first");
  EXPECT_EQ(list.IndexOf("FIRST"), 0);
  EXPECT_EQ(list.Values("VERSION"), "1.0");
  EXPECT_EQ(list.Names(1), "url");
  list.SetValues("version", "2.0");
  EXPECT_EQ(list[2], "version=2.0");
  list.SetValues("new", "x");
  EXPECT_EQ(list.Count(), 4);
  list.SetValues("new", "");
  EXPECT_EQ(list.Count(), 3);
  list.Delete(0);
  EXPECT_EQ(list[0], "url=http://a");
  EXPECT_THROW(list.Get(5), EListError);
  try {
    list.Delete(-1);
    ADD_FAILURE();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (-1)");
  }
}

class TempDir {
public:
  TempDir() {
    char tmpl[] = "/tmp/qorv-core-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string file(const char* name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

private:
  std::string path_;
};

TEST(MemoryStreamTest, ReadWriteSeekAndSize) {
  TMemoryStream m;
  m.WriteBuffer("hello", 5);
  EXPECT_EQ(m.Size(), 5);
  EXPECT_EQ(m.Position(), 5);
  EXPECT_EQ(m.Seek(-2, soFromEnd), 3);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 2);
  EXPECT_EQ(std::string(buf, 2), "lo");
  EXPECT_EQ(m.Seek(-10, soFromCurrent), -1);
  EXPECT_EQ(m.Position(), 5);
  // Writing past the end fills the gap with zeros.
  m.Seek(7, soFromBeginning);
  m.WriteBuffer("!", 1);
  ASSERT_EQ(m.Size(), 8);
  EXPECT_EQ(m.Memory()[5], 0);
  m.SetPosition(6);
  EXPECT_THROW(m.ReadBuffer(buf, 3), EReadError);
  m.SetSize(2);
  EXPECT_EQ(m.Position(), 2);

  TMemoryStream copy;
  m.SetPosition(1);
  EXPECT_EQ(copy.CopyFrom(m, 0), 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(copy.Memory()), 2), "he");
}

TEST(MemoryStreamTest, FilesRoundTripAndFailuresNameTheFile) {
  TempDir dir;
  TStringStream s("line1\r\nline2\r\n");
  s.SaveToFile(dir.file("a.txt"));
  TMemoryStream m;
  m.LoadFromFile(dir.file("a.txt"));
  EXPECT_EQ(m.Size(), 14);
  TStringList list;
  list.LoadFromFile(dir.file("a.txt"));
  EXPECT_EQ(list.Count(), 2);

  std::string missing = dir.file("no/such/dir/b.txt");
  try {
    m.SaveToFile(missing);
    ADD_FAILURE();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file \"" + missing + "\". No such file or directory");
  }
  EXPECT_THROW(m.LoadFromFile(missing), EFOpenError);
}

}  // namespace
}  // namespace qorv::platform
