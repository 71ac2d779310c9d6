#include "capture/ToolRequests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Whatever a path or a message holds survives the line; anything that is
// not one of our lines is refused, never half read.
TEST(ToolRequests, LinesCarryAnyTextAndRefuseWhatIsNotOurs) {
    for (const std::string& text :
         std::vector<std::string>{"", "plain", "tab\there", "line\nbreak\r", "100%", "%41",
                                  "Ünïcode ~02.jpg", std::string("nul\0byte", 8)}) {
        ToolReply reply;
        ASSERT_TRUE(ParseReply(FormatReply({ToolReply::Kind::Done, text}), reply)) << text;
        EXPECT_EQ(reply.kind, ToolReply::Kind::Done);
        EXPECT_EQ(reply.text, text);
        ToolRequest request;
        ASSERT_TRUE(ParseRequest(FormatRequest({RequestVerb::Press, 12, text}), request));
        EXPECT_EQ(request.verb, RequestVerb::Press);
        EXPECT_EQ(request.number, 12);
        EXPECT_EQ(request.session, text);
    }
    ToolRequest request;
    for (const char* line : {"", "\n", "capture\t1\n", "capture\t1\ts\textra\n", "shoot\t1\ts\n",
                             "capture\t-1\ts\n", "capture\t0x10\ts\n", "capture\t\ts\n",
                             "capture\t99999999999\ts\n", "capture\t1\t%4\n", "capture\t1\t%zz\n"})
        EXPECT_FALSE(ParseRequest(line, request)) << line;
    ToolReply reply;
    for (const char* line : {"", "done\n", "finished\tx\n", "done\tx\ty\n", "failed\t%\n"})
        EXPECT_FALSE(ParseReply(line, reply)) << line;
}

}  // namespace
