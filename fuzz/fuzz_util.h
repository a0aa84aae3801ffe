// Helpers shared by the fuzz targets: one temporary SCADA instance per fuzzing process, and
// writing an input into a file.
#ifndef PARVEX_FUZZ_FUZZ_UTIL_H_
#define PARVEX_FUZZ_FUZZ_UTIL_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_util.h"

namespace parvex_fuzz {

/// The process's instance (KESTRUM_RUNDIR, KESTRUM_REGISTRY in a fresh temporary folder),
/// created on first use and removed when the process exits normally.
inline parvex_test::ScopedInstance& Instance() {
  static parvex_test::ScopedInstance instance;
  return instance;
}

/// Replaces the file `path` with `size` bytes of `data`. Aborts when the file cannot be written:
/// a fuzzing run that silently tests nothing is worse than one that stops.
inline void WriteFile(const std::string& path, const uint8_t* data, std::size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
    std::fprintf(stderr, "fuzz: cannot write %s\n", path.c_str());
    std::abort();
  }
}

/// Stops the run with `what` when an expectation about the code under test fails.
inline void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz: expectation failed: %s\n", what);
    std::abort();
  }
}

/// With PARVEX_FUZZ_VERBOSE set, prints a call's result and message (to check that the seeds
/// reach what they are meant to).
inline void Trace(int result, const char* message) {
  static const bool verbose = std::getenv("PARVEX_FUZZ_VERBOSE") != nullptr;
  if (verbose) std::fprintf(stderr, "fuzz: result %d: %s\n", result, message ? message : "");
}

}  // namespace parvex_fuzz

#endif  // PARVEX_FUZZ_FUZZ_UTIL_H_
