// Records filled field by field must produce exactly the bytes other processes read: every
// field at its offset, little-endian, nothing written anywhere else.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "records/alarm_record.h"
#include "records/area_layout.h"
#include "records/channel_config.h"
#include "records/channel_table.h"
#include "records/device_record.h"
#include "records/error_entries.h"
#include "records/fixed_text.h"
#include "records/saved_value.h"
#include "records/system_records.h"
#include "records/time_stamp.h"

namespace kestrum {
namespace {

// An expected byte image, built independently of the structs.
class Image {
 public:
  explicit Image(size_t size) : bytes_(size, 0) {}
  Image& Le(size_t offset, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) bytes_.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
    return *this;
  }
  Image& U8(size_t offset, uint8_t v) { return Le(offset, v, 1); }
  Image& U16(size_t offset, uint16_t v) { return Le(offset, v, 2); }
  Image& U32(size_t offset, uint32_t v) { return Le(offset, v, 4); }
  Image& F32(size_t offset, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return U32(offset, bits);
  }
  Image& Text(size_t offset, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) bytes_.at(offset + i) = text[i];
    return *this;
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

template <typename T>
std::vector<uint8_t> BytesOf(const T& record) {
  std::vector<uint8_t> out(sizeof(T));
  std::memcpy(out.data(), &record, sizeof(T));
  return out;
}

// Reports the first differing offset, which names the misplaced field.
void ExpectSameBytes(const std::vector<uint8_t>& actual, const Image& expected) {
  ASSERT_EQ(actual.size(), expected.bytes().size());
  for (size_t i = 0; i < actual.size(); ++i) {
    ASSERT_EQ(actual[i], expected.bytes()[i]) << "first difference at offset " << i;
  }
}

TEST(RecordBytes, SharedMemoryRecordsLandAtTheirOffsets) {
  {
    AreaHeader h{};
    h.magic = kAreaMagic;
    h.size = 0x01020304;
    h.mutex_name_offset = 0x200;
    h.update_pending = 7;
    h.lock_holder = 0xBEEF;
    h.data_size = 0x1000;
    h.lock_depth = 2;
    h.subscriber_table_offset = 0x1080;
    h.message_table_offset = 0x10BC;
    ExpectSameBytes(BytesOf(h), Image(128)
                                    .U16(0, 0x4AFC)
                                    .U32(4, 0x01020304)
                                    .U32(8, 0x200)
                                    .U16(108, 7)
                                    .U16(110, 0xBEEF)
                                    .U32(112, 0x1000)
                                    .U32(116, 2)
                                    .U32(120, 0x1080)
                                    .U32(124, 0x10BC));
  }
  {
    DeviceRecord d{};
    SetFixedText(d.driver_name, "parvex", true);
    SetFixedText(d.device_name, "COUNTER ROOM 4", true);
    d.device_number = 812;
    SetFixedText(d.folder_name, "DEV1", true);
    std::memcpy(d.prefixes[0], "P1", 2);
    std::memcpy(d.prefixes[4], "P5", 2);
    d.scanner_attached = 1;
    d.config.comm.ScanRate = 1000;
    d.config.comm.BaudRate = 9600;
    SetFixedText(d.config.comm.PortName, "COM3", true);
    d.config.comm.Parity = kParityEven;
    d.config.comm.DataBits = 7;
    d.last_scan_ms = 42;
    d.next_scan = TimeStamp{1700000000, 250, 0};
    d.operation_in_progress = 1;
    d.scanner_pid = 0x12345678;
    d.scanner_ready = 1;
    ExpectSameBytes(BytesOf(d), Image(788)
                                    .Text(0, "parvex")
                                    .Text(9, "COUNTER ROOM 4")
                                    .U16(34, 812)
                                    .Text(36, "DEV1")
                                    .Text(48, "P1")
                                    .Text(56, "P5")
                                    .U8(58, 1)
                                    .U32(60, 1000)
                                    .U32(64, 9600)
                                    .Text(68, "COM3")
                                    .U32(76, 2)
                                    .U32(80, 7)
                                    .U32(764, 42)
                                    .U32(768, 1700000000)
                                    .U16(772, 250)
                                    .U8(776, 1)
                                    .U32(780, 0x12345678)
                                    .U8(784, 1));
  }
  {
    std::vector<uint8_t> data(20);
    ChannelTableHeader t{};
    std::memcpy(t.prefix, "AI", 2);
    t.live_bytes = 8;
    t.channel_count = 300;
    t.error_code = 0xFFFF;
    t.scan_duration_ms = 17;
    t.stamp = TimeStamp{-5, 999, 0};
    ExpectSameBytes(BytesOf(t), Image(20)
                                    .Text(0, "AI")
                                    .U16(2, 8)
                                    .U16(4, 300)
                                    .U16(6, 0xFFFF)
                                    .U32(8, 17)
                                    .U32(12, 0xFFFFFFFB)
                                    .U16(16, 999));
  }
  {
    ShortErrorEntry s{};
    s.source_type = kErrorSourceDevice;
    SetFixedText(s.source_name, std::string(30, 'N'), true);
    SetFixedText(s.message, "CAN'T SCAN DEVICE -0002", true);
    ExpectSameBytes(
        BytesOf(s),
        Image(57).U8(0, 2).Text(1, std::string(24, 'N')).Text(26, "CAN'T SCAN DEVICE -0002"));
    LongErrorEntry l{};
    l.source_type = kErrorSourceResubLogger;
    SetFixedText(l.source_name, "LOGGER", true);
    SetFixedText(l.message, std::string(300, 'm'), true);
    ExpectSameBytes(BytesOf(l),
                    Image(386).U8(0, 5).Text(1, "LOGGER").Text(131, std::string(254, 'm')));
  }
  {
    DataProcessorRecord p{};
    SetFixedText(p.name, "SYSER", true);
    std::memcpy(p.prefix, "SY", 2);
    p.write_mode = -1;
    p.present = 1;
    p.value_kind = 3;
    p.owner_pid = 4242;
    ExpectSameBytes(
        BytesOf(p),
        Image(60).Text(0, "SYSER").Text(34, "SY").U8(36, 0xFF).U8(37, 1).U8(39, 3).U32(40, 4242));
    LoggerRecord g{};
    SetFixedText(g.kind_text, "resub", true);
    g.enabled = 1;
    g.process_id = 77;
    SetFixedText(g.name, "L_AB_CDEFGH_IJ_KL_M", true);
    ExpectSameBytes(
        BytesOf(g),
        Image(172).Text(0, "resub").U8(9, 1).U32(12, 77).Text(37, "L_AB_CDEFGH_IJ_KL_M"));
  }
}

TEST(RecordBytes, ConfigurationRecordsLandAtTheirOffsets) {
  {
    ChannelConfigRecord r{};
    AnalogueChannelConfig& a = r.analogue;
    a.Type = kTypeCI;
    a.flags = analogue_flags::kEnable | analogue_flags::kErrorAlarmDriveCommon;
    a.Gain = 2.5f;
    a.Offset = -1.0f;
    a.HighEventLimit = 3.0f;
    a.LowEventLimit = 4.0f;
    a.HighAlarmLimit = 5.0f;
    a.HighAlarmDeadband = 6.0f;
    a.LowAlarmLimit = 7.0f;
    a.LowAlarmDeadband = 8.0f;
    a.SigChangeValue = 9.0f;
    a.HighAlarmPriority = 10;
    a.LowAlarmPriority = 11;
    SetFixedText(a.HighAlarmText, std::string(32, 'H'), false);
    SetFixedText(a.LowAlarmText, "low", false);
    a.ErrorAlarmPriority = 12;
    a.ErrorAlarmDelay = 0x1314;
    a.MaximumUnits = 15.0f;
    a.MinimumUnits = 16.0f;
    a.HighWarningLimit = 17.0f;
    a.LowWarningLimit = 18.0f;
    a.HighAlarmDelay = 19;
    a.LowAlarmDelay = 20;
    a.Analogue.FieldType = kFieldValue;
    a.Analogue.PortNumber = 255;
    a.Analogue.ValueType = kValueFlow;
    SetChannelUnits(&r, "m3/h");
    ExpectSameBytes(BytesOf(r), Image(216)
                                    .U8(24, 4)
                                    .U32(28, 0x4001)
                                    .Text(32, "m3/h")
                                    .F32(36, 2.5f)
                                    .F32(40, -1.0f)
                                    .F32(44, 3.0f)
                                    .F32(48, 4.0f)
                                    .F32(52, 5.0f)
                                    .F32(56, 6.0f)
                                    .F32(60, 7.0f)
                                    .F32(64, 8.0f)
                                    .F32(68, 9.0f)
                                    .U8(72, 10)
                                    .U8(73, 11)
                                    .Text(74, std::string(32, 'H'))
                                    .Text(106, "low")
                                    .U8(165, 12)
                                    .U16(166, 0x1314)
                                    .F32(168, 15.0f)
                                    .F32(172, 16.0f)
                                    .F32(176, 17.0f)
                                    .F32(180, 18.0f)
                                    .U16(184, 19)
                                    .U16(186, 20)
                                    .U8(188, 0)
                                    .U8(189, 255)
                                    .U8(190, 8));
  }
  {
    ChannelConfigRecord r{};
    DigitalChannelConfig& d = r.digital;
    d.Type = kTypeDO;
    d.flags = digital_flags::kAlarmState | digital_flags::kErrorAlarmDriveCommon;
    SetFixedText(d.HighStateText, "RUNNING", false);
    SetFixedText(d.LowStateText, "STOPPED", false);
    d.AlarmPriority = 200;
    SetFixedText(d.AlarmText, std::string(32, 'A'), false);
    d.ErrorAlarmPriority = 9;
    d.ErrorAlarmDelay = 300;
    d.AlarmDelay = 0xABCD;
    d.Digital[0] = 0x11;
    d.Digital[23] = 0x22;
    ExpectSameBytes(BytesOf(r), Image(216)
                                    .U8(24, 3)
                                    .U32(28, 0xA0)
                                    .Text(32, "RUNNING")
                                    .Text(64, "STOPPED")
                                    .U8(96, 200)
                                    .Text(97, std::string(32, 'A'))
                                    .U8(186, 9)
                                    .U16(188, 300)
                                    .U16(190, 0xABCD)
                                    .U8(192, 0x11)
                                    .U8(215, 0x22));
  }
  {
    SaveConfigFile s{1, 0, 60000};
    ExpectSameBytes(BytesOf(s), Image(6).U8(0, 1).U32(2, 60000));
    ProcessorEntry e{};
    SetFixedText(e.name, "CALC1", true);
    SetFixedText(e.print_name, "CALCULATOR", true);
    std::memcpy(e.prefix, "CA", 2);
    e.channel_count = 100;
    e.run = 1;
    e.kind = kProcessorKindAnalogue;
    ExpectSameBytes(BytesOf(e), Image(42)
                                    .Text(0, "CALC1")
                                    .Text(10, "CALCULATOR")
                                    .Text(36, "CA")
                                    .U16(38, 100)
                                    .U8(40, 1)
                                    .U8(41, 2));
    SavedValueRecord v{};
    SetFixedText(v.tag, "FLOW_TOTAL_LONGNAME", false);
    v.value = 0x3F800000;
    ExpectSameBytes(BytesOf(v), Image(16).Text(0, "FLOW_TOTAL_L").U32(12, 0x3F800000));
  }
}

TEST(RecordBytes, AlarmRecordsCarryTheFieldsTheirKindNeeds) {
  struct Case {
    const char* what;
    AlarmRecordContent content;
    Image expected;
  };
  const std::string long_user(40, 'u');
  const uint32_t status = kStatusValueChannel | kStatusAlarmSide | kStatusNoValue;
  AlarmRecordContent raised{
      AlarmRecordKind::kAlarmRaised, {'A', 'I'}, 4, status, true, 0xFF, 5, true, 12.5f,
      "scada-host-with-a-long-name", long_user};
  AlarmRecordContent ended = raised;
  ended.kind = AlarmRecordKind::kAlarmEnded;
  ended.has_value = false;
  AlarmRecordContent warning = raised;
  warning.kind = AlarmRecordKind::kWarningRaised;
  warning.status = kStatusWarningSide;  // digital-looking word: no value-channel bit
  warning.priority = 3;
  Case cases[] = {
      {"alarm raised", raised,
       Image(296)
           .Text(0, "AI")
           .U16(2, 0x8005)
           .U16(4, 5)
           .U32(8, 0x8 | 0x10 | 0x20 | (0xFFu << 7))
           .F32(12, 12.5f)
           .Text(16, "scada-host-with")
           .Text(32, std::string(32, 'u'))},
      {"alarm ended", ended,
       Image(296)
           .Text(0, "AI")
           .U16(2, 0x8005)
           .U32(8, 0x1 | 0x8 | 0x10)
           .U32(12, 0x7FFFFFFF)
           .Text(16, "scada-host-with")
           .Text(32, std::string(32, 'u'))},
      {"warning raised", warning,
       Image(296)
           .Text(0, "AI")
           .U16(2, 5)
           .U32(8, 0x4 | 0x10 | (3u << 7))
           .F32(12, 12.5f)
           .Text(16, "scada-host-with")
           .Text(32, std::string(32, 'u'))},
  };
  for (const Case& c : cases) {
    AlarmRecord record;
    std::memset(&record, 0xCC, sizeof record);  // the builder must clear everything it skips
    BuildAlarmRecord(c.content, &record);
    SCOPED_TRACE(c.what);
    ExpectSameBytes(BytesOf(record), c.expected);
  }
}

}  // namespace
}  // namespace kestrum
