// The data-processor list "DATPROC.TXT": reading it line by line, parsing and checking one line
// into a ProcessorEntry, and the parse-error report.
//
// Each thread that reads the list has a reader state of its own (open file, current line, line
// number, file name for messages, text of the last parse error), so threads may read at the
// same time.
#ifndef PARVEX_CONFIG_PROCESSOR_FILE_H_
#define PARVEX_CONFIG_PROCESSOR_FILE_H_

#include <cstddef>

#include "records/system_records.h"

namespace kestrum {

/// File name of the data-processor list, in the folder that holds the device folders.
inline constexpr const char* kProcessorFileName = "DATPROC.TXT";

/// Longest line kept; the rest of a longer line is dropped.
inline constexpr int kProcessorLineMax = 499;
/// Longest processor name and print name a line may give.
inline constexpr std::size_t kProcessorNameMax = 8;
inline constexpr std::size_t kProcessorPrintNameMax = 24;
/// Channels a processor line may give its prefix.
inline constexpr int kProcessorChannelsMin = 1;
inline constexpr int kProcessorChannelsMax = 62500;
/// Entries of the alarm processor's queue: the bounds a line may give, and the number taken
/// when it gives none.
inline constexpr int kAlarmQueueMin = 2;
inline constexpr int kAlarmQueueMax = 1000;
inline constexpr int kAlarmQueueDefault = 256;

/// Opens `file_name` for the calling thread, replacing an earlier reader of the thread. A name
/// without a folder is taken relative to the current directory and its full path is shown in
/// messages; with a folder the shown name is empty. Returns the number of data lines (lines
/// that are neither blank nor comments starting with "*"), or -1 with the platform's error.
int OpenProcessorFile(const char* file_name);

/// Reads the next data line of the calling thread's file and splits it at every ",": stores
/// up to `maximum` field texts in `fields` (valid until the next call) and their 0-based start
/// columns in `columns` (may be null). Returns the number of fields, 0 at the end of the file
/// (the reader is then rewound and its line number reset), -1 when the thread has no file open.
int NextProcessorLine(char** fields, int* columns, int maximum);

/// Closes the calling thread's file and frees its reader state. A thread that reads the list
/// closes it before it ends (a reader left open stays open until the process ends).
void CloseProcessorFile();

/// Parses one split line into `entry`. The entries from `first` up to `entry` (excluded) are
/// those accepted before, against which duplicate names are refused. Upper-cases field 3's
/// first letter and lower-cases field 4 in place. Returns 1 when accepted, -2 when not (after
/// ReportParseError).
int ParseProcessorLine(ProcessorEntry* entry, char** fields, const int* columns, int field_count,
                       const ProcessorEntry* first);

/// Checks a channel prefix (one letter, or two letters) and a channel count (kProcessorChannelsMin
/// to kProcessorChannelsMax).
/// Returns 1, or 0 after reporting "invalid channel prefix" or "invalid number of channels"
/// with the field at `column`, `length` marked.
int CheckChannelPrefix(const char* prefix, int count, int column, int length);

/// Formats the report of a parse error into the calling thread's reader state: "Can't Parse
/// %s\nLine %d : **** %s ****\n", the line with the field at `column`, `length` enclosed in
/// ">" and "<" (unchanged when `length` is 0), and "\nError : %d\n" for a non-zero `code`.
void ReportParseError(int code, const char* message, int column, int length);

/// Returns the calling thread's last parse-error report ("" when none), valid until the next
/// report or CloseProcessorFile.
const char* ProcessorParseErrorText();

}  // namespace kestrum

#endif  // PARVEX_CONFIG_PROCESSOR_FILE_H_
