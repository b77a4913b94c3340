// kt_viewer's command line: what is accepted, and what is refused before anything connects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ViewerSession.h"

TEST(ViewerArgs, AcceptsTheDocumentedFormsAndRefusesTheRest) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        unsigned port;
        std::vector<std::string> images;
        int rate;
        long frames;
    };
    const std::vector<std::string> native = {"Native Image"};
    const Case cases[] = {
        {{"127.0.0.1", "8080", "--out", "d"}, true, 8080, native, 10, -1},
        {{"cam", "1", "--out", "d", "--images", " Native Image , Processed Image,,", "--fps", "0", "--frames", "20"},
         true, 1, {"Native Image", "Processed Image"}, 0, 20},
        {{"cam", "65535", "--out", "d", "--rate", "65535"}, true, 65535, native, 65535, -1},
        {{"cam", "65536", "--out", "d"}, false, 0, {}, 0, 0},  // above the port range: refused, not wrapped
        {{"cam", "0", "--out", "d"}, false, 0, {}, 0, 0},
        {{"cam", "80x", "--out", "d"}, false, 0, {}, 0, 0},
        {{"cam", "80"}, false, 0, {}, 0, 0},  // frames need a folder
        {{"cam", "80", "--ping"}, true, 80, native, 10, -1},
        {{"cam", "80", "--out", "d", "--rate", "70000"}, false, 0, {}, 0, 0},
        {{"cam", "80", "--out", "d", "--frames", "0"}, false, 0, {}, 0, 0},
        {{"cam", "80", "--out", "d", "--seconds"}, false, 0, {}, 0, 0},  // value missing
        {{"cam", "80", "--out", "d", "--bogus"}, false, 0, {}, 0, 0},
        {{"cam", "80", "extra", "--out", "d"}, false, 0, {}, 0, 0},
    };
    for (const Case& c : cases) {
        ViewerOptions o;
        std::string error;
        const bool ok = parseViewerArgs(c.args, o, error);
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        ASSERT_EQ(ok, c.ok) << line << error;
        if (!ok) {
            EXPECT_FALSE(error.empty()) << line;
            continue;
        }
        EXPECT_EQ(o.port, c.port) << line;
        EXPECT_EQ(o.images, c.images) << line;
        EXPECT_EQ(o.rate, c.rate) << line;
        EXPECT_EQ(o.frames, c.frames) << line;
    }
}
