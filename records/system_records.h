// Records of the system areas "dm_datproc" and "dm_loggers", and the processor entry parsed
// from a line of the data-processor list.
#ifndef PARVEX_RECORDS_SYSTEM_RECORDS_H_
#define PARVEX_RECORDS_SYSTEM_RECORDS_H_

#include <cstddef>
#include <cstdint>

namespace kestrum {

/// One data processor in "dm_datproc" (60 bytes).
struct DataProcessorRecord {
  char name[10];  ///< NUL-terminated, up to 8 significant characters
  uint8_t reserved_10[24];
  char prefix[2];     ///< the processor's channel prefix
  int8_t write_mode;  ///< signed; the prefix's write mode is this + 1
  uint8_t present;    ///< non-zero when the processor is configured and running
  uint8_t reserved_38;
  uint8_t value_kind;  ///< the prefix's value kind
  uint32_t owner_pid;  ///< process id of the processor
  uint8_t reserved_44[16];
};

static_assert(sizeof(DataProcessorRecord) == 60);
static_assert(offsetof(DataProcessorRecord, name) == 0);
static_assert(offsetof(DataProcessorRecord, reserved_10) == 10);
static_assert(offsetof(DataProcessorRecord, prefix) == 34);
static_assert(offsetof(DataProcessorRecord, write_mode) == 36);
static_assert(offsetof(DataProcessorRecord, present) == 37);
static_assert(offsetof(DataProcessorRecord, reserved_38) == 38);
static_assert(offsetof(DataProcessorRecord, value_kind) == 39);
static_assert(offsetof(DataProcessorRecord, owner_pid) == 40);
static_assert(offsetof(DataProcessorRecord, reserved_44) == 44);

/// One logger in "dm_loggers" (172 bytes). Loggers are numbered from 1 in record order.
struct LoggerRecord {
  char kind_text[9];  ///< the logger's kind; "resub" loggers shorten their names
  uint8_t enabled;    ///< non-zero: the logger is told of new events
  uint8_t reserved_10[2];
  uint32_t process_id;
  uint8_t reserved_16[21];
  char name[135];  ///< NUL-terminated logger name
};

static_assert(sizeof(LoggerRecord) == 172);
static_assert(offsetof(LoggerRecord, kind_text) == 0);
static_assert(offsetof(LoggerRecord, enabled) == 9);
static_assert(offsetof(LoggerRecord, reserved_10) == 10);
static_assert(offsetof(LoggerRecord, process_id) == 12);
static_assert(offsetof(LoggerRecord, reserved_16) == 16);
static_assert(offsetof(LoggerRecord, name) == 37);

/// Channel kind values of ProcessorEntry::kind.
inline constexpr uint8_t kProcessorKindAnalogue = 2;
inline constexpr uint8_t kProcessorKindDigital = 3;
inline constexpr uint8_t kProcessorKindModbus = 6;

/// One parsed line of the data-processor list (42 bytes; entries of a table are contiguous).
struct ProcessorEntry {
  char name[10];           ///< NUL-terminated, upper case
  char print_name[26];     ///< NUL-terminated, upper case
  char prefix[2];          ///< second byte NUL for a one-letter prefix; both NUL for none
  uint16_t channel_count;  ///< for "ALARM" the number of alarm queue entries
  uint8_t run;             ///< 1 when the line says "run"
  uint8_t kind;            ///< kProcessorKindAnalogue, kProcessorKindDigital or ...Modbus
};

static_assert(sizeof(ProcessorEntry) == 42);
static_assert(offsetof(ProcessorEntry, name) == 0);
static_assert(offsetof(ProcessorEntry, print_name) == 10);
static_assert(offsetof(ProcessorEntry, prefix) == 36);
static_assert(offsetof(ProcessorEntry, channel_count) == 38);
static_assert(offsetof(ProcessorEntry, run) == 40);
static_assert(offsetof(ProcessorEntry, kind) == 41);

}  // namespace kestrum

#endif  // PARVEX_RECORDS_SYSTEM_RECORDS_H_
