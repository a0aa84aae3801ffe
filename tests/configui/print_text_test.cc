#include "configui/print_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace parvex {
namespace {

// Records every printer call as a text, and refuses page starts or ends on request.
struct CallLog {
  std::vector<std::string> calls;
  int refuse_start = 0;  // answer of the next start_page when not 0
  int refuse_end = 0;
  ParvexPrinter printer() {
    return ParvexPrinter{this,
                         [](void* u) {
                           auto* l = static_cast<CallLog*>(u);
                           l->calls.push_back("start");
                           return l->refuse_start ? l->refuse_start : 1;
                         },
                         [](void* u) {
                           auto* l = static_cast<CallLog*>(u);
                           l->calls.push_back("end");
                           return l->refuse_end ? l->refuse_end : 1;
                         },
                         [](void* u, int x, int y, const char* t, int n) {
                           static_cast<CallLog*>(u)->calls.push_back(std::to_string(x) + "," +
                                                                     std::to_string(y) + ":" +
                                                                     std::string(t, n));
                         },
                         [](void*, int index) {
                           switch (index) {
                             case PARVEX_CAP_PHYSICALHEIGHT:
                               return 1000;
                             case PARVEX_CAP_PHYSICALOFFSETX:
                               return 7;
                             case PARVEX_CAP_PHYSICALOFFSETY:
                               return 20;
                             default:
                               return -999;
                           }
                         },
                         [](void*) { return 12; }};
  }
};

using Calls = std::vector<std::string>;

TEST(PrintText, DrawsEachLineBelowTheOffsetAndStartsOnePage) {
  CallLog log;
  ParvexPrinter p = log.printer();
  PageState state;
  PrintSink out(p, state);
  EXPECT_EQ(out.Text("AB"), 1);
  EXPECT_EQ(out.Text("C\nD"), 1);
  EXPECT_EQ(out.Text("\n\nE\n"), 1);
  // x is twice the horizontal offset; line n is drawn at offset + n x line height.
  EXPECT_EQ(log.calls, (Calls{"start", "14,32:ABC", "14,44:D", "14,68:E"}));
  EXPECT_EQ(state.line_number, 5);
  EXPECT_FALSE(state.page_pending);
  EXPECT_EQ(state.line, "");
}

TEST(PrintText, FormFeedEndsThePageAndTheNextTextStartsANewOne) {
  CallLog log;
  ParvexPrinter p = log.printer();
  PageState state;
  PrintSink out(p, state);
  out.Text("one\n");
  out.Text("\f");
  EXPECT_EQ(state.line_number, 1);
  EXPECT_TRUE(state.page_pending);
  EXPECT_EQ(log.calls, (Calls{"start", "14,32:one", "end"}));  // no page started after the feed
  out.Text("two\n");
  EXPECT_EQ(log.calls.back(), "14,32:two");
  EXPECT_EQ(log.calls[3], "start");
}

TEST(PrintText, RefusedPageStartOrEndEmptiesTheLineAndFails) {
  CallLog log;
  ParvexPrinter p = log.printer();
  PageState state;
  PrintSink out(p, state);
  log.refuse_start = -1;
  EXPECT_EQ(out.Text("lost\n"), -1);
  EXPECT_EQ(state.line, "");
  EXPECT_TRUE(state.page_pending);
  log.refuse_start = 0;
  EXPECT_EQ(out.Text("kept\n"), 1);
  log.refuse_end = 0 - 5;
  EXPECT_EQ(out.Text("tail"), 1);
  EXPECT_EQ(out.Text("\f"), -1);
  EXPECT_EQ(state.line, "");
  EXPECT_EQ(log.calls, (Calls{"start", "start", "14,32:kept", "end"}));
}

TEST(PrintText, CutsOverlongLinesAndCountsPageLines) {
  CallLog log;
  ParvexPrinter p = log.printer();
  PageState state;
  PrintSink out(p, state);
  out.Text(std::string(250, 'x') + "\n");
  ASSERT_EQ(log.calls.size(), 2u);
  EXPECT_EQ(log.calls[1], "14,32:" + std::string(kMaxLineLength, 'x'));
  EXPECT_EQ(out.LinesPerPage(), (1000 - 6 * 20) / 12);
}

}  // namespace
}  // namespace parvex
