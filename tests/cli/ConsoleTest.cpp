// Text from files, the line and the command line reaches the terminal with its controls shown,
// not obeyed, and everything else as it was.
#include "Console.h"

#include <gtest/gtest.h>

namespace kvel::cli {
namespace {

TEST(ConsoleTest, ControlsAreShownAndTextStaysAsItWas) {
    const struct {
        const char* text;
        const char* shown;
    } cases[] = {
        {"Напряжение 54,5 В, 75 °C\nстрока два\n", "Напряжение 54,5 В, 75 °C\nстрока два\n"},
        {"\x1b]0;owned\x07", "\\u001b]0;owned\\u0007"},
        {"\x1b[2J\x1b[H", "\\u001b[2J\\u001b[H"},
        {"a\rb\tc\x7f", "a\\u000db\\u0009c\\u007f"},
        {"\xc2\x9b"
         "2J \xc2\x85 \xc2\xa0",
         "\\u009b2J \\u0085 \xc2\xa0"},
        {"\x9b"
         "2J",
         "\\x9b2J"},
        {"\xd0", "\\xd0"},
        {"\xc0\x9b", "\\xc0\\x9b"},
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"\xf0\x9f\x98\x80 \xe2\x82\xac", "\xf0\x9f\x98\x80 \xe2\x82\xac"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TerminalSafe(c.text), c.shown) << c.text;
    EXPECT_EQ(TerminalSafe(std::string("a\0b", 3)), "a\\u0000b");
}

} // namespace
} // namespace kvel::cli
