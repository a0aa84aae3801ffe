// The Windows half of the mapping watch. A Windows file mapping cannot be cut short under its
// views: its size is fixed when it is created, and a view keeps the whole object until it is
// unmapped. So nothing is watched and every check finds the mapping whole.
#include "platform/mapped_file_watch.h"

namespace kestrum {

// The one watch that every mapping shares: there is nothing to remember about any of them.
struct MappedFileWatch {};

MappedFileWatch* WatchMappedFile(const std::string& /*path*/, void* /*address*/,
                                 std::size_t /*length*/) {
  static MappedFileWatch whole;
  return &whole;
}

void UnwatchMappedFile(void* /*address*/) {}

MappedFileWatch* FindMappedFileWatch(const void* /*address*/) { return nullptr; }

int CheckMappedFile(MappedFileWatch* /*watch*/) { return 0; }

}  // namespace kestrum
