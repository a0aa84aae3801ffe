#include "tools/monitor/monitor_screen.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/console_screen.h"
#include "tools/monitor/view_render.h"

namespace kestrum::monitor {
namespace {

// What a line's colour says.
constexpr ScreenColour kPlain = ScreenColour::kDefault;
constexpr ScreenColour kAlarm = ScreenColour::kRed;
constexpr ScreenColour kWarning = ScreenColour::kYellow;
constexpr ScreenColour kEvent = ScreenColour::kCyan;
constexpr ScreenColour kNoValue = ScreenColour::kBlue;
constexpr ScreenColour kTitle = ScreenColour::kGreen;

// While the alarm feed is bound, the longest wait for input before the feed is drained again:
// no handle signals a waiting message on Windows, so the feed is asked in these steps on every
// platform.
constexpr int kFeedStepMs = 50;

// One line of the scrolling channel list.
struct Line {
  std::string text;
  ScreenColour colour = kPlain;
  bool bold = false;
};

ScreenColour ColourOf(const ChannelState& s) {
  if (s.alarm != AlarmState::kNone) return kAlarm;
  if (s.warning != Side::kNone) return kWarning;
  if (s.no_value) return kNoValue;
  if (s.event != Side::kNone) return kEvent;
  return kPlain;
}

std::string Fit(const std::string& text, std::size_t width) {
  return text.size() > width ? text.substr(0, width) : text;
}

std::vector<Line> ChannelLines(const DeviceView& v) {
  std::vector<Line> lines;
  char text[256];
  for (const TableView& t : v.tables) {
    std::snprintf(text, sizeof(text), "%s %s  %zu channels  scan %u ms  error code %u%s",
                  TableKindName(t.kind), t.prefix.c_str(), t.channels.size(), t.scan_duration_ms,
                  t.error_code, t.has_config ? "" : "  (no configuration)");
    lines.push_back({text, t.error_code != 0 ? kAlarm : kPlain, true});
    std::snprintf(text, sizeof(text), "%4s  %-15s %12s  %-8s  %s", "#", "TAG", "VALUE", "UNITS",
                  "STATE");
    lines.push_back({text, kPlain, true});
    for (const ChannelView& c : t.channels) {
      std::snprintf(text, sizeof(text), "%4u  %-15s %12s  %-8s  %s", c.number, c.tag.c_str(),
                    ValueText(c).c_str(), c.units.c_str(), StateText(c.state).c_str());
      lines.push_back({text, ColourOf(c.state), false});
    }
    lines.push_back({"", kPlain, false});
  }
  return lines;
}

class Screen {
 public:
  Screen(ConsoleScreen* console, AlarmFeed* feed) : console_(console), feed_(feed) {}

  void Draw(const DeviceView* view, const std::string& problem) {
    console_->BeginFrame();
    const int rows = console_->rows();
    char text[512];
    std::time_t now = std::time(nullptr);
    char clock[16];
    std::strftime(clock, sizeof(clock), "%H:%M:%S", std::localtime(&now));
    if (!view) {
      Put(0, std::string("kestrum_monitor  ") + clock, kTitle, true);
      Put(2, "waiting for the device: " + problem, kNoValue, false);
      Footer();
      console_->ShowFrame();
      return;
    }
    std::snprintf(text, sizeof(text), "%s  (%s %u, folder %s, port %s)   %s", view->name.c_str(),
                  view->driver.c_str(), view->number, view->folder.c_str(),
                  view->port.empty() ? "default" : view->port.c_str(), clock);
    Put(0, text, kTitle, true);
    std::snprintf(text, sizeof(text), "scanner pid %u  %s  %s%s  last scan %u ms  scan rate %u ms",
                  view->scanner_pid, view->attached ? "attached" : "not attached",
                  view->ready ? "ready" : "not ready", view->operation_in_progress ? "  busy" : "",
                  view->last_scan_ms, view->scan_rate_ms);
    Put(1, text, kPlain, false);
    const bool has_error = view->error_source_found && !view->error_message.empty();
    Put(2,
        "error: " + (!view->error_source_found ? std::string("(no entry in dm_errors)")
                     : has_error               ? view->error_message
                                               : std::string("none")),
        has_error ? kAlarm : kPlain, has_error);

    const int alarm_rows = std::clamp(rows / 4, 3, 10);
    const int list_top = 4;
    const int list_rows = std::max(1, rows - list_top - alarm_rows - 2);
    std::vector<Line> lines = ChannelLines(*view);
    const int max_scroll = std::max(0, static_cast<int>(lines.size()) - list_rows);
    scroll_ = std::clamp(scroll_, 0, max_scroll);
    for (int i = 0; i < list_rows && scroll_ + i < static_cast<int>(lines.size()); ++i) {
      const Line& line = lines[static_cast<std::size_t>(scroll_ + i)];
      Put(list_top + i, line.text, line.colour, line.bold);
    }
    DrawAlarms(*view, rows - alarm_rows - 2, alarm_rows);
    Footer();
    page_ = list_rows;
    console_->ShowFrame();
  }

  void Key(int key) {
    switch (key) {
      case kScreenKeyUp:
        scroll_ -= 1;
        break;
      case kScreenKeyDown:
        scroll_ += 1;
        break;
      case kScreenKeyPageUp:
        scroll_ -= page_;
        break;
      case kScreenKeyPageDown:
        scroll_ += page_;
        break;
      case kScreenKeyHome:
        scroll_ = 0;
        break;
      case kScreenKeyEnd:
        scroll_ = 1 << 20;
        break;
      default:
        break;
    }
    scroll_ = std::max(scroll_, 0);
  }

 private:
  void DrawAlarms(const DeviceView& view, int top, int rows) {
    if (!feed_->bound()) {
      Put(top, "alarms: not listening (\"xalarms\" belongs to another process)", kNoValue, true);
      return;
    }
    char text[128];
    std::snprintf(text, sizeof(text), "alarms on xalarms: %llu received",
                  static_cast<unsigned long long>(feed_->received()));
    Put(top, text, kPlain, true);
    const auto& entries = feed_->entries();
    const int shown = std::min(rows - 1, static_cast<int>(entries.size()));
    for (int i = 0; i < shown; ++i) {
      // Newest first.
      const AlarmEntry& e = entries[entries.size() - 1 - static_cast<std::size_t>(i)];
      const bool raised =
          e.kind == AlarmRecordKind::kAlarmRaised || e.kind == AlarmRecordKind::kWarningRaised;
      const bool alarm = e.kind == AlarmRecordKind::kAlarmRaised;
      Put(top + 1 + i, "  " + AlarmLine(e, &view),
          alarm    ? kAlarm
          : raised ? kWarning
                   : kPlain,
          false);
    }
  }

  void Put(int row, const std::string& text, ScreenColour colour, bool bold) {
    console_->Put(row, text, colour, bold);
  }

  void Footer() {
    Put(console_->rows() - 1, Fit("q quit   arrows, PgUp, PgDn scroll", console_->columns()),
        kNoValue, false);
  }

  ConsoleScreen* console_;
  AlarmFeed* feed_;
  int scroll_ = 0;
  int page_ = 10;
};

}  // namespace

int RunScreen(const ScreenOptions& options, AlarmFeed* feed, volatile std::sig_atomic_t* stop) {
  std::unique_ptr<ConsoleScreen> console = ConsoleScreen::Open();
  if (!console) {
    std::fprintf(stderr, "kestrum_monitor: the live view needs a terminal (use --once)\n");
    return 1;
  }

  Screen screen(console.get(), feed);
  using Clock = std::chrono::steady_clock;
  Clock::time_point next_read = Clock::now();
  DeviceView view;
  bool have_view = false;
  std::string problem;
  bool dirty = true;
  while (!*stop) {
    if (Clock::now() >= next_read) {
      have_view = ReadDeviceView(options.selector, &view, &problem) == 0;
      next_read = Clock::now() + std::chrono::milliseconds(options.refresh_ms);
      dirty = true;
    }
    if (feed->Drain() > 0) dirty = true;
    for (int key; (key = console->ReadKey()) != kScreenNoKey; dirty = true) {
      if (key == 'q' || key == 'Q') *stop = 1;
      screen.Key(key);
    }
    if (*stop) break;
    if (dirty) screen.Draw(have_view ? &view : nullptr, problem);
    dirty = false;
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(next_read - Clock::now());
    long long wait_ms = std::max<long long>(0, wait.count());
    if (feed->bound()) wait_ms = std::min<long long>(wait_ms, kFeedStepMs);
    console->WaitForInput(static_cast<int>(wait_ms));
  }
  return 0;
}

}  // namespace kestrum::monitor
