#include "tools/cf_host/device_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "records/device_record.h"
#include "test_util.h"

namespace parvex {
namespace {

std::vector<uint8_t> Bytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

struct DeviceFolderTest : ::testing::Test {
  parvex_test::ScopedTempDir dir;
  std::filesystem::path folder = dir.path() / "DEV12345678901234";
  void SetUp() override { std::filesystem::create_directories(folder); }
};

TEST_F(DeviceFolderTest, ReadsTheFilesAndBuildsTheDeviceEntry) {
  Write(folder / "config", Pattern(705, 1));
  Write(folder / "saveconfig", {1, 0, 0x60, 0xEA, 0, 0});
  Write(folder / "ai", Pattern(8 + 216 * 3 + 100, 3));  // a partial record is not a channel
  Write(folder / "do", Pattern(8 + 216, 4));
  DeviceFolder read;
  std::string error;
  ASSERT_EQ(ReadDeviceFolder(folder, &read, &error), 0) << error;
  EXPECT_EQ(read.auto_enable, 1);
  EXPECT_EQ(read.block[0], Pattern(705, 1)[1]);
  EXPECT_EQ(read.save_outputs, 1);
  EXPECT_EQ(read.save_rate, 60000u);
  EXPECT_EQ(read.channels[0].size(), 3u);
  EXPECT_EQ(read.channels[3].size(), 1u);
  EXPECT_EQ(read.channels[3][0].Bytes[0], Pattern(8 + 216, 4)[8]);

  ParvexDeviceEntry entry = MakeDeviceEntry(read, 7, "A NAME LONGER THAN TWENTY-FOUR CHARACTERS");
  EXPECT_EQ(entry.DeviceNumber, 7);
  EXPECT_STREQ(entry.DeviceName, "A NAME LONGER THAN TWENT");
  EXPECT_STREQ(entry.FolderName, "DEV123456789");
  EXPECT_EQ(std::string(entry.Blocks[0].Prefix, 2), "AI");
  EXPECT_EQ(entry.Blocks[0].ChannelCount, 3);
  EXPECT_EQ(entry.Blocks[1].Prefix[0], '\0');
  EXPECT_EQ(std::string(entry.Blocks[3].Prefix, 2), "DO");
  EXPECT_EQ(std::memcmp(entry.Config.Bytes, read.block.data(), kestrum::kDeviceConfigBlockSize), 0);
}

TEST_F(DeviceFolderTest, MissingOrShortFilesAreReported) {
  DeviceFolder read;
  std::string error;
  EXPECT_EQ(ReadDeviceFolder(folder, &read, &error), -1);
  EXPECT_NE(error.find("config"), std::string::npos);
  // A "config" of any other size than 705 bytes would be edited from defaults and written back
  // cut: it is refused with its name and size.
  for (size_t size : {0, 3, 704, 706}) {
    Write(folder / "config", Pattern(size, 1));
    EXPECT_EQ(ReadDeviceFolder(folder, &read, &error), -1) << size;
    EXPECT_NE(error.find((folder / "config").string()), std::string::npos) << error;
    EXPECT_NE(error.find(" " + std::to_string(size) + " bytes"), std::string::npos) << error;
  }
  Write(folder / "config", Pattern(705, 1));
  ASSERT_EQ(ReadDeviceFolder(folder, &read, &error), 0) << error;
  Write(folder / "saveconfig", {1, 0, 0x60, 0xEA, 0});
  EXPECT_EQ(ReadDeviceFolder(folder, &read, &error), -1);
  EXPECT_NE(error.find("saveconfig"), std::string::npos);
}

TEST_F(DeviceFolderTest, WritesBackOnlyTheEditedBytes) {
  std::vector<uint8_t> config = Pattern(705, 9);
  std::vector<uint8_t> ai = Pattern(8 + 216 * 3, 5);
  Write(folder / "config", config);
  Write(folder / "ai", ai);
  DeviceFolder read;
  std::string error;
  ASSERT_EQ(ReadDeviceFolder(folder, &read, &error), 0);

  // Everything of the block may differ in memory; only BaudRate..DataBits reach the file.
  std::fill(read.block.begin(), read.block.end(), 0xEE);
  ASSERT_EQ(WritePortSettings(read, &error), 0) << error;
  std::vector<uint8_t> expected = config;
  std::fill(expected.begin() + 5, expected.begin() + 25, 0xEE);
  EXPECT_EQ(Bytes(folder / "config"), expected);

  read.channels[0][1].Bytes[188] = 4;
  read.channels[0][2].Bytes[0] = 0;  // not written: only the named record goes back
  ASSERT_EQ(WriteChannelRecord(read, 0, 1, &error), 0) << error;
  expected = ai;
  expected[8 + 216 + 188] = 4;
  EXPECT_EQ(Bytes(folder / "ai"), expected);

  EXPECT_EQ(WriteChannelRecord(read, 0, 3, &error), -1);
  EXPECT_EQ(WriteChannelRecord(read, 1, 0, &error), -1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);  // no leftovers
}

}  // namespace
}  // namespace parvex
