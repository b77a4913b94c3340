#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "TestBytes.h"
#include "kttl_Integer.h"
#include "kttl_String.h"

namespace {

std::string tempPath(const char* name) {
    return std::string(KT_BINARY_DIR) + "/kttl_file_" + std::to_string(getpid()) + "_" + name;
}

Bytes readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& b) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

}  // namespace

TEST(SerializableFile, LayoutIsTypeIdLengthAndBinaryForm) {
    const std::string path = tempPath("layout");
    writeFile(path, Bytes(100, 0x55));  // longer than the new content: must be truncated
    ASSERT_TRUE(kttl::String("abc").toFile(path.c_str()));
    EXPECT_EQ(readFile(path), (Bytes{0xF5, 0x01, 8, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c', 0}));
    kttl::String back;
    EXPECT_TRUE(back.fromFile(path.c_str()) && back == "abc");

    // Another type's file is refused before anything is read into the value.
    kttl::Integer i(3);
    EXPECT_TRUE(!i.fromFile(path.c_str()) && i == 3);
    ASSERT_TRUE(kttl::Integer(-9).toFile(path.c_str()));
    EXPECT_TRUE(i.fromFile(path.c_str()) && i == -9);
    std::remove(path.c_str());

    for (const char* bad : {"/nonexistent-dir/x.bin", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(back.toFile(bad) || back.fromFile(bad));
    EXPECT_FALSE(back.fromFile("/"));  // a directory is not a value file
}

TEST(SerializableFile, LyingOrDamagedFilesFail) {
    const std::string path = tempPath("bad");
    struct Case { const char* what; Bytes content; };
    const Case cases[] = {
        {"empty file", {}},
        {"header cut short", {0xF5, 0x01, 8, 0}},
        {"length beyond the file (4 GiB - 1)", {0xF5, 1, 0xFF, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 'a', 'b', 'c', 0}},
        {"length one past the file", {0xF5, 0x01, 9, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c', 0}},
        {"form shorter than recorded length", {0xF5, 0x01, 9, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c', 0, 0}},
        {"inner length lies", {0xF5, 0x01, 8, 0, 0, 0, 0xFF, 0xFF, 0, 0, 'a', 'b', 'c', 0}},
        {"wrong type", {0xF8, 0x01, 8, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c', 0}},
    };
    for (const Case& c : cases) {
        writeFile(path, c.content);
        kttl::String s("keep");
        EXPECT_FALSE(s.fromFile(path.c_str())) << c.what;
    }
    // Extra bytes after the recorded form are ignored.
    writeFile(path, {0xF5, 0x01, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0xEE});
    kttl::String s("keep");
    EXPECT_TRUE(s.fromFile(path.c_str()) && s == "");
    std::remove(path.c_str());
}
