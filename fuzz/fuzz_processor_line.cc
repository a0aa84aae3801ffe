// A data-processor list made of the input, read line by line and each line parsed against the
// lines accepted before it, as the driver manager reads the list at start-up.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "config/processor_file.h"
#include "fuzz_util.h"
#include "records/system_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::string path =
      (parvex_fuzz::Instance().root() / kestrum::kProcessorFileName).string();
  parvex_fuzz::WriteFile(path, data, size);
  int lines = kestrum::OpenProcessorFile(path.c_str());
  parvex_fuzz::Check(lines >= 0, "the list opens");

  constexpr int kMaxFields = 5;
  std::vector<kestrum::ProcessorEntry> table(static_cast<std::size_t>(lines) + 1);
  std::size_t accepted = 0;
  char* fields[kMaxFields];
  int columns[kMaxFields];
  int n;
  int seen = 0;
  while ((n = kestrum::NextProcessorLine(fields, columns, kMaxFields)) > 0) {
    parvex_fuzz::Check(n <= kMaxFields && ++seen <= lines, "fields and lines as counted");
    for (int i = 0; i < n; ++i) (void)std::strlen(fields[i]);
    int result = kestrum::ParseProcessorLine(&table[accepted], fields, columns, n, table.data());
    parvex_fuzz::Check(result == 1 || result == -2, "accepted or refused");
    if (result == 1) {
      const kestrum::ProcessorEntry& e = table[accepted];
      parvex_fuzz::Check(std::memchr(e.name, '\0', sizeof e.name) != nullptr &&
                             std::memchr(e.print_name, '\0', sizeof e.print_name) != nullptr,
                         "names are terminated");
      ++accepted;
    } else {
      (void)std::strlen(kestrum::ProcessorParseErrorText());
    }
  }
  parvex_fuzz::Check(seen == lines, "every counted line was read");
  kestrum::CloseProcessorFile();
  return 0;
}
