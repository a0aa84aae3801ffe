// Shared-memory files: the carrier of a named file mapping.
//
// On Linux a named mapping is a regular file under the instance directory, mapped MAP_SHARED.
// Opening never creates: a missing file means "the object does not exist yet" (error number 0).
// A creator publishes a file atomically (a temporary file in the same folder, written
// completely, then renamed into place), so an opener sees either no file or a whole one.
//
// On Windows it is a page-file-backed named file mapping, and `path` is its object name
// (ObjectPath). Opening never creates either. A published mapping is filled before the call
// returns and lives until the publishing process ends (platform/kept_handles.h); its size is
// fixed, an existing one is refused (ERROR_ALREADY_EXISTS) rather than replaced, `mode` is not
// used (the object gets the shared security attributes), and a mapped length is that of whole
// pages. A creator outside the services' session needs the privilege to create global objects
// for a "Global\" name; opening needs none.
#ifndef PARVEX_PLATFORM_SHARED_FILE_H_
#define PARVEX_PLATFORM_SHARED_FILE_H_

#include <cstddef>
#include <functional>
#include <span>
#include <string>

namespace kestrum {

/// Maps the whole existing file at `path` for reading and writing, shared with every other
/// process that maps it. Refuses a file shorter than `min_length` (or empty), so a caller never
/// touches bytes past the end of the file. Stores the mapped length in `*length`.
/// Returns the address, or null with the error number set: 0 when the file does not exist or is
/// too short, errno for any other failure. The mapping stays until UnmapSharedFile. A file cut
/// short later never raises SIGBUS in this process (platform/mapped_file_watch.h).
void* MapSharedFile(const std::string& path, std::size_t min_length, std::size_t* length);

/// Unmaps a mapping made by MapSharedFile. Returns 0, or -1 with errno as the error number.
int UnmapSharedFile(void* address, std::size_t length);

/// Reads up to `buffer.size()` bytes from the start of the existing file at `path` without
/// mapping it. Returns the number of bytes read, or -1 with the error number set (0 when the
/// file does not exist).
long ReadSharedFileHead(const std::string& path, std::span<std::byte> buffer);

/// Publishes `contents` as the file at `path`: writes a temporary file in the same folder with
/// permission bits `mode`, then renames it over `path`. The folder must exist. Returns 0, or -1
/// with the error number set (no temporary file is left behind).
int PublishSharedFile(const std::string& path, std::span<const std::byte> contents,
                      unsigned mode = 0660);

/// Publishes a file of `length` zero bytes at `path` after `initialise` has filled it in place
/// through a shared mapping (for objects such as a process-shared mutex that must be initialised
/// where they live). `initialise` returns 0, or an errno value that fails the publication.
/// Returns 0, or -1 with the error number set (no temporary file is left behind).
int PublishSharedFileWith(const std::string& path, std::size_t length,
                          const std::function<int(void* address)>& initialise,
                          unsigned mode = 0660);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_SHARED_FILE_H_
