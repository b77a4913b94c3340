// The command line: option forms, values, and where parsing stops.
#include <gtest/gtest.h>

#include <vector>

#include "CommandLineArgs.h"

TEST(CommandLineArgs, OptionsAndValues) {
    struct Case {
        std::vector<const char*> argv;
        const char* key;
        bool present;
        const char* value;
    };
    const Case cases[] = {
        {{"veltrano"}, "port", false, ""},
        {{"veltrano", "-port", "8080"}, "port", true, "8080"},
        {{"veltrano", "/port", "8080"}, "port", true, "8080"},
        {{"veltrano", "-port", "-v"}, "port", true, ""},         // a dash-argument is not a value
        {{"veltrano", "-port", "/v"}, "v", true, ""},
        {{"veltrano", "-port"}, "port", true, ""},
        {{"veltrano", "stray", "-port", "1"}, "port", true, "1"},  // non-options are skipped
        {{"veltrano", "-port", "1", "-port", "2"}, "port", true, "2"},
        {{"veltrano", "", "-port", "1"}, "port", false, ""},      // an empty argument ends parsing
        {{"veltrano", "-a", "", "-port", "1"}, "port", true, "1"},  // ... unless it is a value
        {{"veltrano", "-a", "", "-port", "1"}, "a", true, ""},
        {{"veltrano", "-", "x"}, "", true, "x"},
        {{"veltrano", "-Port", "9"}, "port", false, ""},          // names are case-sensitive
    };
    for (const Case& c : cases) {
        CommandLineArgs args(static_cast<int>(c.argv.size()), c.argv.data());
        EXPECT_EQ(args.programName(), "veltrano");
        EXPECT_EQ(args.has(c.key), c.present) << c.argv.size() << " args, key " << c.key;
        EXPECT_EQ(args.value(c.key), c.value) << c.argv.size() << " args, key " << c.key;
    }
    CommandLineArgs none(0, nullptr);
    EXPECT_EQ(none.programName(), "");
    EXPECT_TRUE(none.options().empty());
}
