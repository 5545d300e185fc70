#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Args = std::vector<std::string>;

TEST(SplitCommandLine, BlanksSeparateAndRunsOfThemCountOnce) {
    EXPECT_EQ(splitCommandLine(""), Args{});
    EXPECT_EQ(splitCommandLine(" \t  "), Args{});
    EXPECT_EQ(splitCommandLine(" -y  -i\tin.flv \t"), (Args{"-y", "-i", "in.flv"}));
    // Only space and tab separate; other control characters belong to the argument.
    EXPECT_EQ(splitCommandLine("a\nb c"), (Args{"a\nb", "c"}));
    // The text ends at its first NUL.
    EXPECT_EQ(splitCommandLine(std::string_view("a b\0c d", 7)), (Args{"a", "b"}));
}

TEST(SplitCommandLine, QuotesSwitchQuotingInsideAnArgument) {
    EXPECT_EQ(splitCommandLine("a\"b c\"d e"), (Args{"ab cd", "e"}));
    EXPECT_EQ(splitCommandLine("\"unclosed quote runs to the end"),
              Args{"unclosed quote runs to the end"});
    EXPECT_EQ(splitCommandLine("\"\""), Args{""});
    EXPECT_EQ(splitCommandLine("a \"\" b"), (Args{"a", "", "b"}));
    EXPECT_EQ(splitCommandLine("\"\"\"\""), Args{"\""});
    // Inside quotes a doubled quote is a literal quote and quoting goes on.
    EXPECT_EQ(splitCommandLine("\"say \"\"hi there\"\"\" x"), (Args{"say \"hi there\"", "x"}));
    // Outside quotes "" opens and closes at once: nothing is added.
    EXPECT_EQ(splitCommandLine("a\"\"b"), Args{"ab"});
}

TEST(SplitCommandLine, BackslashesCountOnlyBeforeAQuote) {
    // Not before a quote: literal, as in Windows paths.
    EXPECT_EQ(splitCommandLine("C:\\Users\\名前\\sm9.flv a\\\\b"),
              (Args{"C:\\Users\\名前\\sm9.flv", "a\\\\b"}));
    EXPECT_EQ(splitCommandLine("trailing\\"), Args{"trailing\\"});
    // 2n backslashes and a quote: n backslashes, the quote switches quoting.
    EXPECT_EQ(splitCommandLine("a\\\\\"b c\""), Args{"a\\b c"});
    EXPECT_EQ(splitCommandLine("\"C:\\dir\\\\\" next"), (Args{"C:\\dir\\", "next"}));
    // 2n+1 backslashes and a quote: n backslashes and a literal quote.
    EXPECT_EQ(splitCommandLine("a\\\"b"), Args{"a\"b"});
    EXPECT_EQ(splitCommandLine("a\\\\\\\"b c"), (Args{"a\\\"b", "c"}));
    // A path that ends in a single backslash escapes the closing quote: the argument runs on.
    EXPECT_EQ(splitCommandLine("\"C:\\dir\\\" next"), Args{"C:\\dir\" next"});
}

TEST(QuoteArgument, SplitsBackToTheSameArgument) {
    // clang-format off
    const std::vector<std::string> samples = {"", "plain", "/home/ユーザー/My Videos/sm9.flv",
        "ends in a backslash\\", "ends in two\\\\", "has \"quotes\" inside",
        "backslash before quote\\\"", "\\\\server\\share\\file", "tab\tand blank", "\""};
    // clang-format on
    for (const std::string& sample : samples) {
        EXPECT_EQ(splitCommandLine("-in " + quoteArgument(sample) + " "), (Args{"-in", sample}))
            << sample;
    }
    // Ordinary paths are put into the quotes unchanged.
    EXPECT_EQ(escapeForQuotes("C:\\Users\\名前\\sm9.flv"), "C:\\Users\\名前\\sm9.flv");
    EXPECT_EQ(quoteArgument("/tmp/a b.flv"), "\"/tmp/a b.flv\"");
}
