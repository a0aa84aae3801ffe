#include "tools/counter_sim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <sstream>
#include <thread>

#include "platform/instance_paths.h"

namespace counter_sim {
namespace {

using Ms = std::chrono::milliseconds;

Ms ToMs(double seconds) { return Ms(static_cast<long long>(seconds * 1000)); }

}  // namespace

Simulator::Simulator(Options options, std::ostream& log)
    : options_(std::move(options)),
      log_(log),
      source_(options_.seed, options_.period_s, options_.level),
      noise_seed_(options_.seed) {
  if (options_.ports.empty()) options_.ports = {1};
  options_.interval_ms = std::max(options_.interval_ms, 10);
  queued_.assign(options_.faults.begin(), options_.faults.end());
}

Simulator::~Simulator() = default;

std::string Simulator::FifoPath() const {
  return kestrum::InstanceDir() + "/counter_sim/" + options_.port + ".ctl";
}

int Simulator::Publish() {
  if (pty_.Create(/*raw=*/true) != 0) {
    log_ << "cannot create a pseudo-terminal: " << std::strerror(errno) << std::endl;
    return -1;
  }
  if (kestrum::PublishPortAlias(options_.port, pty_.slave_path()) != 0) {
    log_ << "cannot publish " << kestrum::PortAliasPath(options_.port) << ": "
         << std::strerror(errno) << std::endl;
    return -1;
  }
  log_ << "port " << options_.port << " -> " << pty_.slave_path() << std::endl;
  return 0;
}

void Simulator::HangUp(Clock::time_point now, double seconds) {
  // Point the alias at nothing first: a /dev/pts number freed by the hang-up may soon belong to
  // another terminal, and an opener must fail instead of reaching it.
  kestrum::PublishPortAlias(options_.port,
                            kestrum::InstanceDir() + "/dev/." + options_.port + ".hung-up");
  pty_.HangUp();
  hung_up_ = true;
  back_at_ = now + ToMs(seconds);
  log_ << "hang-up for " << seconds << " s" << std::endl;
}

Sample Simulator::NextSample(Clock::time_point now) {
  const auto& ports = options_.ports;
  Sample sample;
  SampleSource::Stamp(std::time(nullptr), &sample);
  // The data line belongs to the port announced by the previous header.
  int data_port = ports[static_cast<std::size_t>(sent_) % ports.size()];
  sample.header_port = ports[static_cast<std::size_t>(sent_ + 1) % ports.size()];
  double elapsed = std::chrono::duration<double>(now - start_).count();
  sample.values = source_.Values(elapsed, data_port);
  sample.total_count = options_.total_count;
  sample.volume = options_.volume;
  return sample;
}

void Simulator::SendNext(Clock::time_point now) {
  Fault fault = Fault::kNone;
  if (!queued_.empty()) {
    fault = queued_.front();
    queued_.pop_front();
  }
  if (fault == Fault::kSilence) {
    double s = pending_silence_s_ > 0 ? pending_silence_s_ : options_.silence_s;
    pending_silence_s_ = 0;
    silent_until_ = now + ToMs(s);
    log_ << "silence for " << s << " s" << std::endl;
    return;
  }
  if (fault == Fault::kHangUp) {
    double s = pending_hangup_s_ > 0 ? pending_hangup_s_ : options_.hangup_s;
    pending_hangup_s_ = 0;
    HangUp(now, s);
    return;
  }
  Sample sample = NextSample(now);
  std::string bytes = FormatFaultyReport(sample, fault, noise_seed_++);
  pty_.Drain();
  if (fault == Fault::kSlowFragments) {
    WriteSlowly(bytes, stop_);
  } else if (pty_.Write(bytes, 500) != 0) {
    log_ << "report dropped: nobody reads the port" << std::endl;
  }
  ++sent_;
  log_ << "report " << sent_ << " " << FaultName(fault) << " header port " << sample.header_port
       << std::endl;
}

void Simulator::WriteSlowly(const std::string& report, const std::atomic<int>* stop) {
  for (const std::string& fragment : SplitIntoFragments(report, options_.fragments)) {
    if (pty_.Write(fragment, 500) != 0) return;
    for (int waited = 0; waited < options_.fragment_pause_ms && !(stop && stop->load());
         waited += 10) {
      std::this_thread::sleep_for(Ms(10));
    }
  }
}

bool Simulator::Command(const std::string& line) {
  std::istringstream in(line);
  std::string word;
  if (!(in >> word)) return true;
  double number = 0;
  bool has_number = static_cast<bool>(in >> number);
  if (word == "quit") {
    quit_ = true;
  } else if (word == "now") {
    next_report_ = Clock::now();
  } else if (word == "level" && has_number) {
    source_.set_level(number);
  } else if (word == "total" || word == "diff") {
    options_.total_count = word == "total";
  } else if (std::optional<Fault> fault = ParseFault(word)) {
    if (*fault == Fault::kSilence && has_number) pending_silence_s_ = number;
    if (*fault == Fault::kHangUp && has_number) pending_hangup_s_ = number;
    queued_.push_back(*fault);
  } else {
    log_ << "unknown command: " << line << std::endl;
    return false;
  }
  return true;
}

void Simulator::ReadCommands(int fd, std::string* pending, bool* open) {
  char buf[256];
  ssize_t got = read(fd, buf, sizeof buf);
  if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
    *open = false;
    return;
  }
  if (got < 0) return;
  pending->append(buf, static_cast<std::size_t>(got));
  std::size_t end;
  while ((end = pending->find('\n')) != std::string::npos) {
    Command(pending->substr(0, end));
    pending->erase(0, end + 1);
  }
}

int Simulator::Run(const std::atomic<int>* stop) {
  stop_ = stop;
  if (Publish() != 0) return 1;
  int fifo = -1;
  std::string fifo_path = FifoPath();
  if (options_.control_fifo) {
    mkdir((kestrum::InstanceDir() + "/counter_sim").c_str(), 0770);
    unlink(fifo_path.c_str());
    if (mkfifo(fifo_path.c_str(), 0660) == 0) {
      // Opened for writing too, so the FIFO never reports end-of-file between writers.
      fifo = open(fifo_path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    }
  }
  bool stdin_open = options_.read_stdin;
  std::string stdin_pending, fifo_pending;
  start_ = Clock::now();
  next_report_ = start_ + Ms(options_.interval_ms);
  while (!stop->load() && !quit_ && (options_.reports == 0 || sent_ < options_.reports)) {
    auto now = Clock::now();
    auto wait = std::chrono::duration_cast<Ms>(next_report_ - now).count();
    if (hung_up_)
      wait = std::min<long long>(wait, std::chrono::duration_cast<Ms>(back_at_ - now).count());
    pollfd fds[3] = {
        {stdin_open ? 0 : -1, POLLIN, 0}, {fifo, POLLIN, 0}, {pty_.master_fd(), POLLIN, 0}};
    poll(fds, 3, static_cast<int>(std::clamp<long long>(wait, 0, 200)));
    if (fds[0].revents) ReadCommands(0, &stdin_pending, &stdin_open);
    bool fifo_open = true;
    if (fds[1].revents) ReadCommands(fifo, &fifo_pending, &fifo_open);
    pty_.Drain();
    now = Clock::now();
    if (hung_up_ && now >= back_at_) {
      hung_up_ = false;
      if (Publish() != 0) break;
      log_ << "line back" << std::endl;
    }
    if (now < next_report_) continue;
    next_report_ += Ms(options_.interval_ms);
    if (next_report_ <= now) next_report_ = now + Ms(options_.interval_ms);
    if (hung_up_ || now < silent_until_) continue;
    SendNext(now);
  }
  if (options_.reports != 0 && sent_ >= options_.reports) {
    // Give the reader one interval to take the last report before the line goes away.
    for (int waited = 0; waited < options_.interval_ms && !stop->load(); waited += 10) {
      std::this_thread::sleep_for(Ms(10));
    }
  }
  if (fifo >= 0) close(fifo);
  if (options_.control_fifo) unlink(fifo_path.c_str());
  kestrum::RemovePortAlias(options_.port);
  pty_.HangUp();
  log_ << "stopped after " << sent_ << " reports" << std::endl;
  return 0;
}

}  // namespace counter_sim
