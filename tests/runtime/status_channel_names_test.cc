#include "runtime/status_channel_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "records/fixed_text.h"

namespace kestrum {
namespace {

TEST(StatusChannelName, FormatDependsOnDeviceAndGroup) {
  EXPECT_EQ(StatusChannelName("PARTCOUNT", 1, 0, "ST"), "PARTCOUNT_1_ST");
  EXPECT_EQ(StatusChannelName("PARTCOUNT", 1, 0, "STATUS"), "PARTCOUNT_1_STATUS");
  EXPECT_EQ(StatusChannelName("PARTCOUNT", 1, 2, "ST"), "PARTC_1_002_ST");
  EXPECT_EQ(StatusChannelName("PARTCOUNT", 0, 2, "RS"), "PARTCOUN_002_RS");
  EXPECT_EQ(StatusChannelName("PARTCOUNT", 0, 0, "TE"), "PARTCOUNT_TE");
  // Lower-case driver names are upper-cased; a long device number is not cut.
  EXPECT_EQ(StatusChannelName("parvex", 12345, 0, "RB"), "PARVEX_12345_RB");
  // The driver name ends at an embedded NUL of its record field.
  EXPECT_EQ(StatusChannelName(std::string_view("CNT\0XY", 6), 3, 0, "ST"), "CNT_3_ST");
}

class StatusGroupRecordsTest : public ::testing::Test {
 protected:
  StatusGroupRecordsTest() { std::memset(records_, 0xAB, sizeof records_); }
  ChannelConfigRecord records_[kStatusChannelsPerGroup];
};

TEST_F(StatusGroupRecordsTest, StateAndResetChannelsAreDigitalWithStateTexts) {
  InitStatusGroupRecords(records_, "PARTCOUNT", 1, 0, "");
  const ChannelConfigRecord& st = records_[kStatusChannelState];
  EXPECT_EQ(st.digital.Type, kTypeDO);
  EXPECT_EQ(st.digital.flags, digital_flags::kEnable);
  EXPECT_STREQ(GetChannelTag(st), "PARTCOUNT_1_ST");
  EXPECT_STREQ(GetChannelDescription(st), "PARTCOUNT_1_STATUS");
  EXPECT_EQ(FixedText(st.digital.HighStateText), "ENABLED");
  EXPECT_EQ(FixedText(st.digital.LowStateText), "DISABLED");
  const ChannelConfigRecord& rs = records_[kStatusChannelReset];
  EXPECT_EQ(rs.digital.Type, kTypeDO);
  EXPECT_STREQ(GetChannelTag(rs), "PARTCOUNT_1_RS");
  EXPECT_STREQ(GetChannelDescription(rs), "PARTCOUNT_1_RESET COUNTS");
  EXPECT_EQ(FixedText(rs.digital.HighStateText), "RESET");
  EXPECT_EQ(FixedText(rs.digital.LowStateText), "NORESET");
  // Everything not set is zero: no alarm or event handling on status channels.
  EXPECT_EQ(st.digital.AlarmPriority, 0);
  EXPECT_EQ(st.digital.AlarmDelay, 0);
  EXPECT_EQ(FixedText(st.digital.AlarmText), "");
}

TEST_F(StatusGroupRecordsTest, CountersAreValueChannelsWithUnits) {
  InitStatusGroupRecords(records_, "PARTCOUNT", 1, 2, "COM3");
  const char* units[] = {"BYTES",  "PACKETS", "TIMEOUTS", "ERRORS",
                         "ERRORS", "BYTES",   "PACKETS",  "ERRORS"};
  const char* descriptions[] = {"RECEIVE BYTES",       "RECEIVE PACKETS",    "RECEIVE TIMEOUTS",
                                "RECEIVE COMM ERRORS", "RECEIVE CRC ERRORS", "TRANSMIT BYTES",
                                "TRANSMIT PACKETS",    "TRANSMIT ERRORS"};
  for (uint32_t k = kStatusChannelFirstCounter; k < kStatusChannelsPerGroup; ++k) {
    SCOPED_TRACE(k);
    const ChannelConfigRecord& r = records_[k];
    EXPECT_EQ(r.analogue.Type, kTypeAO);
    EXPECT_EQ(r.analogue.flags, analogue_flags::kEnable);
    EXPECT_STREQ(GetChannelUnits(r), units[k - 2]);
    EXPECT_EQ(std::string(GetChannelDescription(r)),
              ("PARTC_1_002_" + std::string(descriptions[k - 2])).substr(0, 32));
    EXPECT_EQ(r.analogue.HighAlarmLimit, 0.0f);
  }
  EXPECT_STREQ(GetChannelTag(records_[9]), "PARTC_1_002_TE");
}

TEST_F(StatusGroupRecordsTest, PortTextExtendsOnlyTheStateChannelTexts) {
  InitStatusGroupRecords(records_, "PARTCOUNT", 1, 0, "COM3");
  EXPECT_EQ(FixedText(records_[0].digital.HighStateText), "ENABLED COM3");
  EXPECT_EQ(FixedText(records_[0].digital.LowStateText), "DISABLED COM3");
  EXPECT_EQ(FixedText(records_[1].digital.HighStateText), "RESET");
  EXPECT_EQ(FixedText(records_[1].digital.LowStateText), "NORESET");
}

TEST_F(StatusGroupRecordsTest, LongPortTextStaysInsideTheTextField) {
  // A module may fill all 20 bytes without a terminator; only 19 characters are taken, and
  // "DISABLED " plus 19 characters still fits the 32-character field.
  std::string port(25, 'P');
  InitStatusGroupRecords(records_, "PARTCOUNT", 1, 0, port);
  EXPECT_EQ(FixedText(records_[0].digital.LowStateText), "DISABLED " + std::string(19, 'P'));
  EXPECT_EQ(FixedText(records_[0].digital.HighStateText), "ENABLED " + std::string(19, 'P'));
  EXPECT_STREQ(GetChannelTag(records_[1]), "PARTCOUNT_1_RS");
}

}  // namespace
}  // namespace kestrum
