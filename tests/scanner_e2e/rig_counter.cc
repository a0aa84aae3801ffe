#include "rig_counter.h"

#include <algorithm>
#include <ctime>
#include <sstream>

namespace parvex_test {
namespace {

using Ms = std::chrono::milliseconds;
using counter_sim::Fault;

Ms ToMs(double seconds) { return Ms(static_cast<long long>(seconds * 1000)); }

bool ToInt(const std::string& text, int* out) {
  std::istringstream in(text);
  return static_cast<bool>(in >> *out) && in.eof();
}

}  // namespace

bool ParseCounterArgs(const std::vector<std::string>& args, CounterOptions* options) {
  for (std::size_t i = 0; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return false;
    const std::string& name = args[i];
    const std::string& value = args[i + 1];
    bool ok = true;
    if (name == "--interval") {
      ok = ToInt(value, &options->interval_ms);
    } else if (name == "--fragments") {
      ok = ToInt(value, &options->fragments);
    } else if (name == "--fragment-pause") {
      ok = ToInt(value, &options->fragment_pause_ms);
    } else if (name == "--volume") {
      std::istringstream in(value);
      ok = static_cast<bool>(in >> options->volume);
    } else if (name == "--ports") {
      options->ports.clear();
      std::istringstream in(value);
      for (std::string part; std::getline(in, part, ',');) {
        int port = 0;
        ok = ok && ToInt(part, &port);
        options->ports.push_back(port);
      }
      ok = ok && !options->ports.empty();
    } else {
      ok = false;
    }
    if (!ok) return false;
  }
  return true;
}

RigCounter::RigCounter(CounterOptions options)
    : options_(std::move(options)), source_(1, 300, 1.0) {
  options_.interval_ms = std::max(options_.interval_ms, 10);
}

RigCounter::~RigCounter() {
  if (dead_) return;
  Die();
  kestrum::RemovePortAlias(options_.port);
}

int RigCounter::Publish() {
  if (pty_.Create(/*raw=*/true) != 0) return -1;
  return kestrum::PublishPortAlias(options_.port, pty_.slave_path());
}

int RigCounter::Start() {
  if (Publish() != 0) return -1;
  start_ = Clock::now();
  next_report_ = start_ + Ms(options_.interval_ms);
  thread_ = std::thread([this] { Run(); });
  return 0;
}

bool RigCounter::Command(const std::string& line) {
  std::istringstream in(line);
  std::string word;
  in >> word;
  if (word != "now" && word != "level" && word != "total" && word != "diff" &&
      !counter_sim::ParseFault(word)) {
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  commands_.push_back(line);
  return true;
}

void RigCounter::Die() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  pty_.HangUp();
  dead_ = true;
}

void RigCounter::TakeCommands(Clock::time_point now) {
  std::vector<std::string> lines;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lines.swap(commands_);
  }
  for (const std::string& line : lines) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    double number = 0;
    const bool has_number = static_cast<bool>(in >> number);
    if (word == "now") {
      next_report_ = now;
    } else if (word == "level") {
      if (has_number) source_.set_level(number);
    } else if (word == "total" || word == "diff") {
      total_count_ = word == "total";
    } else if (std::optional<Fault> fault = counter_sim::ParseFault(word)) {
      queued_.push_back(*fault);
      fault_seconds_.push_back(has_number ? number : 0);
    }
  }
}

// Sleeps `ms` in short steps; false when the counter was stopped meanwhile.
bool RigCounter::Pause(int ms) {
  for (int waited = 0; waited < ms; waited += 10) {
    if (stop_) return false;
    std::this_thread::sleep_for(Ms(10));
  }
  return !stop_;
}

void RigCounter::SendNext(Clock::time_point now) {
  Fault fault = Fault::kNone;
  double seconds = 0;
  if (!queued_.empty()) {
    fault = queued_.front();
    seconds = fault_seconds_.front();
    queued_.pop_front();
    fault_seconds_.pop_front();
  }
  if (fault == Fault::kSilence) {
    silent_until_ = now + ToMs(seconds > 0 ? seconds : options_.silence_s);
    return;
  }
  if (fault == Fault::kHangUp) {
    // Point the alias at nothing first, so that no opener reaches a terminal number reused.
    kestrum::PublishPortAlias(options_.port, pty_.slave_path() + ".hung-up");
    pty_.HangUp();
    hung_up_ = true;
    back_at_ = now + ToMs(seconds > 0 ? seconds : options_.hangup_s);
    return;
  }
  // The data line belongs to the port the previous header announced.
  const auto& ports = options_.ports;
  counter_sim::Sample sample;
  counter_sim::SampleSource::Stamp(std::time(nullptr), &sample);
  const int data_port = ports[static_cast<std::size_t>(sent_) % ports.size()];
  sample.header_port = ports[static_cast<std::size_t>(sent_ + 1) % ports.size()];
  sample.values = source_.Values(std::chrono::duration<double>(now - start_).count(), data_port);
  sample.total_count = total_count_;
  sample.volume = options_.volume;
  const std::string bytes = counter_sim::FormatFaultyReport(sample, fault, noise_seed_++);
  pty_.Drain();
  if (fault == Fault::kSlowFragments) {
    for (const std::string& piece : counter_sim::SplitIntoFragments(bytes, options_.fragments)) {
      if (pty_.Write(piece, 500) != 0 || !Pause(options_.fragment_pause_ms)) break;
    }
  } else {
    pty_.Write(bytes, 500);
  }
  ++sent_;
}

void RigCounter::Run() {
  while (!stop_) {
    std::this_thread::sleep_for(Ms(10));
    Clock::time_point now = Clock::now();
    TakeCommands(now);
    pty_.Drain();
    if (hung_up_ && now >= back_at_) {
      if (Publish() != 0) return;
      hung_up_ = false;
    }
    if (now < next_report_) continue;
    next_report_ += Ms(options_.interval_ms);
    if (next_report_ <= now) next_report_ = now + Ms(options_.interval_ms);
    if (hung_up_ || now < silent_until_) continue;
    SendNext(now);
  }
}

}  // namespace parvex_test
