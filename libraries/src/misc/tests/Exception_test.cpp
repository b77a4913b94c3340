#include "kttl_Exception.h"

#include <gtest/gtest.h>

TEST(Exception, MessageCarriesRelativeSourcePathLineClassAndText) {
    kttl::Exception e("/home/x/repo/libraries/src/misc/kttl_SmartArray.h", 272, "kttl::SmartArray",
                      "operator[]() - pointer is NULL!");
    EXPECT_STREQ(e.what(),
                 "../../../../../libraries/src/misc/kttl_SmartArray (272): "
                 "kttl::SmartArray::operator[]() - pointer is NULL!");
    EXPECT_EQ(kttl::Exception::sourcePath("/a/projects/src/BaseClasses/Frame.cpp"),
              "../../../../../projects/src/BaseClasses/Frame");
    EXPECT_EQ(kttl::Exception::sourcePath("elsewhere/thing.cc"), "../../../../../thing");
    EXPECT_STREQ(kttl::Exception("ktsl::Serializable::fromBin() - Failed!").what(),
                 "ktsl::Serializable::fromBin() - Failed!");
    try {
        KT_THROW("kttl::Test", "boom");
    } catch (const std::exception& thrown) {
        const std::string m = thrown.what();
        EXPECT_EQ(m.rfind("../../../../../libraries/src/misc/tests/Exception_test (", 0), 0u) << m;
        EXPECT_NE(m.find("): kttl::Test::boom"), std::string::npos) << m;
    }
}
