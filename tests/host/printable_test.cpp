// Escaping text from files and the command line before it reaches a terminal.
#include "host/runtime/printable.hpp"

#include <gtest/gtest.h>

#include <string>

namespace ulv {
namespace {

using namespace std::string_literals;

TEST(Printable, KeepsPlainTextNewlinesTabsBackslashesAndValidUtf8) {
  for (const std::string& text : {"minimiza.mat"s, "a\tb\nc"s, "C:\\dir\\x41"s, "\u00e9t\u00e9"s,
                                  "\u20ac 5"s, "\U0001f600"s, "\u00a0\U0010ffff"s, ""s}) {
    EXPECT_EQ(printable(text), text);
  }
}

TEST(Printable, EscapesControlBytesThatATerminalWouldAct) {
  EXPECT_EQ(printable("\x1b[2J PNG chunk"), "\\x1b[2J PNG chunk");
  EXPECT_EQ(printable("a\rb\x7f"), "a\\x0db\\x7f");
  EXPECT_EQ(printable("nul\0here"s), "nul\\x00here");
  EXPECT_EQ(printable("\x07\x08"), "\\x07\\x08");
  // C1 controls are valid UTF-8, but some terminals take U+009B as CSI.
  EXPECT_EQ(printable("\xc2\x9b"
                      "2J"),
            "\\xc2\\x9b"
            "2J");
  EXPECT_EQ(printable("\xc2\x80"), "\\xc2\\x80");
}

TEST(Printable, EscapesEachByteOfMalformedUtf8AndResumesAfterIt) {
  EXPECT_EQ(printable("\x80"), "\\x80");             // a lone continuation byte
  EXPECT_EQ(printable("\xe2\x82"), "\\xe2\\x82");    // cut short at the end
  EXPECT_EQ(printable("\xe2\x82x"), "\\xe2\\x82x");  // cut short by ASCII
  EXPECT_EQ(printable("\xc0\xaf"), "\\xc0\\xaf");    // an overlong '/'
  EXPECT_EQ(printable("\xe0\x80\xaf"), "\\xe0\\x80\\xaf");
  EXPECT_EQ(printable("\xed\xa0\x80"), "\\xed\\xa0\\x80");           // a surrogate
  EXPECT_EQ(printable("\xf4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80");  // above U+10FFFF
  EXPECT_EQ(printable("\xff\u00e9"), "\\xff\u00e9");
}

TEST(Printable, EscapingTwiceChangesNothingMore) {
  const std::string once = printable("path\x1b]0;title\x07/\xc3(\xe2\x82\xac\\x1b.png");
  EXPECT_EQ(once, "path\\x1b]0;title\\x07/\\xc3(\u20ac\\x1b.png");
  EXPECT_EQ(printable(once), once);
}

}  // namespace
}  // namespace ulv
