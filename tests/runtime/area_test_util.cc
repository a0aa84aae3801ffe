#include "area_test_util.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "platform/mailslot.h"
#include "runtime/driver_link.h"
#include "runtime/process_identity.h"

namespace kestrum::area_test {
namespace {

namespace fs = std::filesystem;

// The listener's side: args are the quiet time, the ready, report and stop files. The ready
// file gets "y" once the mailslot exists ("n" when it cannot be made). Messages are collected
// until the stop file exists and then `quiet` milliseconds pass without one (at most 60 s in
// all: a child started under wine takes seconds, so the test says when it is done); the report
// file gets the codes received, as 4-byte integers in the order they came.
PARVEX_TEST_CHILD(ListenOnProcessMailslot) {
  const int quiet_ms = std::stoi(args.at(0));
  Mailslot* slot = CreateMailslot(ProcessMailslotName(CurrentProcessId(), kLinuxPlatformId), 4);
  std::ofstream(args.at(1), std::ios::binary) << (slot ? "y" : "n");
  std::vector<int32_t> seen;
  int32_t code;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (slot && std::chrono::steady_clock::now() < end) {
    if (ReadMailslotFor(slot, &code, quiet_ms) == 4) {
      seen.push_back(code);
    } else if (fs::exists(args.at(3))) {
      break;
    }
  }
  CloseMailslot(slot);
  const std::string report = args.at(2);
  {
    std::ofstream out(report + ".part", std::ios::binary);
    out.write(reinterpret_cast<const char*>(seen.data()),
              static_cast<std::streamsize>(seen.size() * sizeof(int32_t)));
  }
  std::error_code ec;
  fs::rename(report + ".part", report, ec);
  return ec ? 1 : 0;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

Listener::Listener(int quiet_ms) {
  const fs::path ready = files_.path() / "ready";
  child_ = std::make_unique<parvex_test::TestChild>(
      "ListenOnProcessMailslot",
      std::vector<std::string>{std::to_string(quiet_ms), ready.string(),
                               (files_.path() / "report").string(), StopFile().string()});
  // A child under wine takes a while to start.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (child_->started() && std::chrono::steady_clock::now() < end) {
    const std::string answer = ReadAll(ready);
    if (!answer.empty()) {
      ok_ = answer == "y";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::vector<int32_t> Listener::Received() {
  std::vector<int32_t> codes;
  std::ofstream(StopFile()) << "stop";
  if (child_->Wait(70000) != 0) return codes;
  const std::string report = ReadAll(files_.path() / "report");
  codes.resize(report.size() / sizeof(int32_t));
  if (!codes.empty()) std::memcpy(codes.data(), report.data(), codes.size() * sizeof(int32_t));
  return codes;
}

}  // namespace kestrum::area_test
