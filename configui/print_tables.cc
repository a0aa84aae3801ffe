#include "configui/print_tables.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "configui/channel_view.h"
#include "configui/print_format.h"
#include "platform/error_number.h"

namespace parvex {
namespace {

// The type/group/user and loop columns are named in the headers and left empty in the rows.
constexpr const char* kTypeColumn = " TYP/ GID/  UID/";
constexpr const char* kLoopColumn = " LP   LPNUM MNEM";

std::string ChannelName(std::string_view prefix, int n) {
  char name[32];
  std::snprintf(name, sizeof name, "%1.2s%d", std::string(prefix).c_str(), n);
  return name;
}

void PrintDisabledLine(PrintSink& out, const ChannelRange& r) {
  out.Format("CHANNELS %s - ", ChannelName(r.prefix, r.first).c_str());
  out.Format("%s DISABLED\n", ChannelName(r.prefix, r.last).c_str());
}

void PrintAnalogueHeader(PrintSink& out) {
  out.Format("CHAN    ENB TAG                  UNITS      %s EVENT CHCK ALARM CHECKING LOW/HIGH",
             kTypeColumn);
  out.Blanks(53);
  out.Text(" SIG CHNG");
  out.Text("\n");
  out.Format(
      "            DESCRIPTION                     %s ON LOW/HIG O C LIMIT    W LIMIT    H LIMIT"
      "    PRI DLY  MESSAGE",
      kLoopColumn);
  out.Blanks(25);
  out.Text(" ON/VALUE");
  out.Text("\n\n");
}

// The alarm pieces of one side; `hysteresis` is the printed deadband distance.
void PrintAlarm(PrintSink& out, const AlarmView& a, float hysteresis) {
  out.Format("%s %s %s ", YesNo(a.drive_common), FormatValue(a.limit).c_str(),
             YesNo(a.warning_enable));
  if (a.warning_enable) {
    out.Format("%s ", FormatValue(a.warning_limit).c_str());
  } else {
    out.Blanks(9);
  }
  out.Format("%s ", YesNo(a.deadband_enable));
  if (a.deadband_enable) {
    out.Format("%s ", FormatValue(hysteresis).c_str());
  } else {
    out.Blanks(9);
  }
  out.Format("%-3d %-4d %-32.32s", a.priority, a.delay, a.text.c_str());
}

void PrintEventLimit(PrintSink& out, const ChannelView& v, float limit) {
  if (v.event_enable) {
    out.Text(FormatValue(limit));
  } else {
    out.Blanks(8);
  }
}

void PrintAnalogueRow(PrintSink& out, const std::string& name, const ChannelView& v) {
  out.Format("%-7.7s [", name.c_str());
  out.Format("%s] ", YesNo(v.enable));
  out.Format("%-15.15s", v.tag.c_str());
  out.Blanks(6);
  out.Format("%-8.8s", v.units.c_str());
  out.Blanks(3);
  out.Format("%s %s ", "", YesNo(v.event_enable));
  PrintEventLimit(out, v, v.low_event_limit);
  out.Format(" %s ", YesNo(v.low.enable));
  if (v.low.enable) {
    PrintAlarm(out, v.low, v.low.deadband - v.low.limit);
  } else {
    out.Blanks(74);
  }
  out.Format(" [%s]", YesNo(v.sig_change_enable));
  out.Blanks(5);
  out.Text("\n");

  out.Blanks(12);
  out.Format("%-32.32s%s", v.description.c_str(), "");
  out.Blanks(3);
  PrintEventLimit(out, v, v.high_event_limit);
  out.Format(" %s ", YesNo(v.high.enable));
  if (v.high.enable) {
    PrintAlarm(out, v.high, v.high.limit - v.high.deadband);
  } else {
    out.Blanks(74);
  }
  if (v.sig_change_enable) {
    out.Format(" %s", FormatValue(v.sig_change_value).c_str());
  } else {
    out.Blanks(9);
  }
  out.Text("\n");
}

void PrintDigitalHeader(PrintSink& out) {
  out.Text("CHAN    ENB TAG");
  out.Blanks(30);
  out.Format(" LOW STAT                        %s EVENT  ALARM  COM ALM ALM  ALARM\n", kTypeColumn);
  out.Blanks(12);
  out.Text("DESCRIPTION");
  out.Blanks(22);
  out.Format(" HIG STAT                        %s STATE  STATE  ALM PRI DLY  MESSAGE\n\n",
             kLoopColumn);
}

void PrintDigitalRow(PrintSink& out, const std::string& name, const ChannelView& v) {
  out.Format("%-7.7s [", name.c_str());
  out.Text(YesNo(v.enable));
  out.Text("] ");
  out.Format("%-15.15s ", v.tag.c_str());
  out.Blanks(20);
  out.Format(" %-32.32s", v.low_state_text.c_str());
  out.Format("%s ", "");
  if (v.event_enable) {
    out.Format("[%s] ", LowHighName(v.event_state));
  } else {
    out.Text("[DISB] ");
  }
  if (v.alarm_enable) {
    out.Format("[%s] [%s] %-3d %-4d %-32.32s", LowHighName(v.alarm_state),
               YesNo(v.alarm_drive_common), v.alarm_priority, v.alarm_delay, v.alarm_text.c_str());
  } else {
    out.Text("[DISB] ");
  }
  out.Text("\n");
  out.Blanks(12);
  out.Format("%-32.32s ", v.description.c_str());
  out.Format(" %-32.32s%s\n", v.high_state_text.c_str(), "");
}

// The page walk both tables share. `digital` selects the digital table's page test (line below
// the page length instead of at most the page length) and its indifference to a failed form
// feed after its last channel. A form feed that fails on a full page ends either table with -1:
// the page stays full, so the walk could never go on.
int PrintTable(PrintSink& out, const ChannelRange& r, int lines_per_page, bool digital) {
  int n = r.first;
  bool printed_any = false;
  for (;;) {
    bool header_printed = false;
    while (n <= r.last &&
           (digital ? out.line_number() < lines_per_page : out.line_number() <= lines_per_page)) {
      ChannelView v = ViewChannel(r.records[n - r.first]);
      if (v.enable && v.digital == digital) {
        if (!header_printed) {
          digital ? PrintDigitalHeader(out) : PrintAnalogueHeader(out);
          header_printed = true;
        }
        std::string name = ChannelName(r.prefix, n);
        digital ? PrintDigitalRow(out, name, v) : PrintAnalogueRow(out, name, v);
        printed_any = true;
      }
      ++n;
    }
    if (n > r.last && !printed_any) {
      PrintDisabledLine(out, r);
      return out.line_number();
    }
    const bool channels_left = n <= r.last;
    if (out.Text("\f") < 0 && (channels_left || !digital)) return kestrum::FailWith(EIO);
    if (!channels_left) return out.line_number();
  }
}

}  // namespace

int PrintAnalogueTable(PrintSink& out, const ChannelRange& range, int lines_per_page) {
  return PrintTable(out, range, lines_per_page, false);
}

int PrintDigitalTable(PrintSink& out, const ChannelRange& range, int lines_per_page) {
  return PrintTable(out, range, lines_per_page, true);
}

}  // namespace parvex
