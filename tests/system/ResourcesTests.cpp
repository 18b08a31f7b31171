#include <gtest/gtest.h>

#include <string>

#include "TempFolder.h"
#include "platform/system/Resources.h"

namespace qorv::platform {
namespace {

const StringResource kStrings[] = {
    {41000, "Application update wizard"},
    {41003, "Current file"},
    {41015, ""},
};
const unsigned char kBytes[] = {'M', 'Z', 0, 1};
const BinaryResource kBinaries[] = {{"AUUPG", "AUUPG", kBytes, sizeof kBytes}};

// Registered the way generated sources do it: from a static initialiser.
const bool kRegistered = (registerStringResources(kStrings), registerBinaryResources(kBinaries), true);

TEST(Resources, StringsByNumericId) {
  ASSERT_TRUE(kRegistered);
  EXPECT_EQ(LoadStr(41000), "Application update wizard");
  EXPECT_EQ(LoadStr(41003), "Current file");
  EXPECT_EQ(LoadStr(41001), "");
  std::string text = "unchanged";
  EXPECT_TRUE(FindStringResource(41015, text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(FindStringResource(41049, text));
}

TEST(Resources, BinariesByNameAndTypeWithoutCase) {
  const auto found = FindResource("auupg", "AuUpg");
  ASSERT_EQ(found.size(), sizeof kBytes);
  EXPECT_EQ(found.data(), kBytes);
  EXPECT_TRUE(FindResource("AUUPG", "RCDATA").empty());
  EXPECT_TRUE(FindResource("AUUP", "AUUPG").empty());
  EXPECT_TRUE(FindResource("AUUPGX", "AUUPG").empty());
}

TEST(Resources, FilesEmbeddedAtBuildTime) {
  const std::string expected = test::readText(QORV_TEST_DATA_DIR "/sample.bin");
  ASSERT_FALSE(expected.empty());
  const auto sample = FindResource("SAMPLE", "RCDATA");
  ASSERT_EQ(sample.size(), expected.size());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(sample.data()), sample.size()), expected);
  // An empty file is there, with no bytes.
  EXPECT_TRUE(FindResource("EMPTY", "RCDATA").empty());
  EXPECT_TRUE(FindResource("MISSING", "RCDATA").empty());
}

}  // namespace
}  // namespace qorv::platform
