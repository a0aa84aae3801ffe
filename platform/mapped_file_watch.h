// Shared-file mappings that survive their file being cut short.
//
// A process that maps a file MAP_SHARED gets SIGBUS when it touches a page that lies past the
// end of the file, which happens when another process truncates the file after it was mapped.
// Every mapping made by MapSharedFile is watched: such a touch replaces the pages from the
// touched one to the end of the mapping with zero-filled private pages, marks the mapping cut,
// and lets the touching instruction go on. CheckMappedFile tells a mapping's owner that its file
// is short, and maps the file again once it is whole. A SIGBUS that is not such a touch goes to
// whatever handled it before.
//
// On Windows a mapping cannot be cut short (a file mapping's size is fixed when it is created and
// a view holds the whole object until it is unmapped): nothing is watched, FindMappedFileWatch
// finds no watch and CheckMappedFile always returns 0.
//
// Cost: nothing on any access to a mapping; CheckMappedFile reads a flag and a coarse clock,
// and looks at the file's length at most every kMappedFileCheckMs (on every call while the
// mapping is cut or the file short).
#ifndef PARVEX_PLATFORM_MAPPED_FILE_WATCH_H_
#define PARVEX_PLATFORM_MAPPED_FILE_WATCH_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrum {

/// How often, at most, CheckMappedFile looks at the length of a file whose mapping is whole.
inline constexpr int64_t kMappedFileCheckMs = 250;

/// The watch of one mapping. Opaque; lives as long as the process.
struct MappedFileWatch;

/// Starts watching the mapping of `length` bytes at `address` of the file at `path`, installing
/// the process's SIGBUS handler on first use. Returns the watch, or null with errno as the error
/// number when the handler cannot be installed (the mapping is then unprotected).
MappedFileWatch* WatchMappedFile(const std::string& path, void* address, std::size_t length);

/// Stops watching the mapping at `address`; called before it is unmapped.
void UnwatchMappedFile(void* address);

/// The watch of the mapping that starts at `address`, or null when it is not watched.
MappedFileWatch* FindMappedFileWatch(const void* address);

/// Checks that the file behind `watch` is still as long as its mapping (at most every
/// kMappedFileCheckMs while all is well) and maps it again over the replaced pages once it is.
/// Returns 0 (also for a null watch), or -1: error number 0 (platform error EBADMSG) while the
/// file is missing or shorter than the mapping, errno when it cannot be mapped again.
int CheckMappedFile(MappedFileWatch* watch);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_MAPPED_FILE_WATCH_H_
