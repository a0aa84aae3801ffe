// One lock and unlock of a named mutex nobody else holds: what every lock of a shared area costs
// before its work starts (the scanner takes a table's lock once per scan and per write). On
// Linux a robust process-shared mutex in a mapped file, so no system call while uncontended; on
// Windows a kernel mutex, so two system calls, each a request to the wine server under wine.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "platform/named_mutex.h"
#include "platform/own_process.h"

namespace {

// A mutex of this process alone: on Linux a file in the temporary folder, on Windows an object
// name of the session.
std::string MutexPath() {
  const std::string name = "parvex_bench_" + std::to_string(kestrum::OwnProcessId()) + ".mut";
#ifdef _WIN32
  return "Local\\" + name;
#else
  return (std::filesystem::temp_directory_path() / name).string();
#endif
}

void BM_LockUnlock(benchmark::State& state) {
  const std::string path = MutexPath();
  kestrum::NamedMutex* mutex = nullptr;
  if (kestrum::CreateNamedMutex(path) != 0 || (mutex = kestrum::OpenNamedMutex(path)) == nullptr) {
    return state.SkipWithError("cannot create the mutex");
  }
  for (auto _ : state) {
    kestrum::LockNamedMutex(mutex);
    kestrum::UnlockNamedMutex(mutex);
  }
  kestrum::CloseNamedMutex(mutex);
#ifndef _WIN32
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
#endif
}
BENCHMARK(BM_LockUnlock);

}  // namespace

BENCHMARK_MAIN();
