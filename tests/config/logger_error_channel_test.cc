// The logger name rules installed into the error reporting find the SYSER channel that the
// configuration tools name after a logger.
#include <gtest/gtest.h>

#include <cstring>

#include "config/logger_names.h"
#include "records/channel_config.h"
#include "records/channel_table.h"
#include "runtime/channel_prefixes.h"
#include "runtime/error_reporting.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"
#include "tools/dm/instance.h"

namespace kestrum {
namespace {

TEST(LoggerErrorChannel, ResubLoggerFindsItsChannelByTagAndDescription) {
  ForgetSharedAreas();
  auto instance = dm::BuildInstance(R"({
    "data_processors": [{"name": "SYSER", "prefix": "SE", "channels": 8, "live_bytes": 4}],
    "loggers": [{"name": "HISTORY"}, {"name": "L_AB_CDEFGH_IJ_KL_M"}]
  })");
  ASSERT_NE(instance, nullptr);
  SystemArea loggers;
  ASSERT_EQ(OpenLoggerArea(&loggers), 0);
  std::memcpy(reinterpret_cast<LoggerRecord*>(loggers.records)[1].kind_text, "RESUB", 5);
  auto* records = static_cast<ChannelConfigRecord*>(GetChannelConfigRecords("SE"));
  ASSERT_NE(records, nullptr);
  for (uint32_t c : {2u, 5u}) {
    records[c].digital.Type = kTypeDO;
    records[c].digital.flags = digital_flags::kEnable;
  }
  SetChannelTag(&records[2], "AB_CDEFGH      ");
  SetChannelDescription(&records[2], "_IJ_KL_M");
  SetChannelDescription(&records[5], "EXP HISTORY");

  SetErrorSourceNameRules(ExportedName, ShortenResubName);
  ChannelTableView table;
  ASSERT_EQ(GetChannelTableView("SE", &table), 0);
  ASSERT_EQ(RegisterErrorSource(kErrorSourceResubLogger, "L_AB_CDEFGH_IJ_KL_M"), 0);
  ReportError("RESUB FAILED");
  EXPECT_EQ(table.status[2] & kStatusState, kStatusState);
  ASSERT_EQ(RegisterErrorSource(kErrorSourceLogger, "HISTORY"), 0);
  ReportError("EXPORT FAILED");
  EXPECT_EQ(table.status[5] & kStatusState, kStatusState);
  SetErrorSourceNameRules(nullptr, nullptr);
  ForgetSharedAreas();
}

}  // namespace
}  // namespace kestrum
