#include "platform/plist/file_url.hpp"

#include <gtest/gtest.h>

namespace {

using platform::plist::file_url_string;
using platform::plist::path_from_file_url_string;

TEST(FileUrl, StringFormEscapesWhatAUrlPathCannotHold) {
    EXPECT_EQ(file_url_string("/Applications/Preview.app"), "file:///Applications/Preview.app");
    EXPECT_EQ(file_url_string("/Library/Application Support/x%y"),
              "file:///Library/Application%20Support/x%25y");
    EXPECT_EQ(file_url_string("/caf\xC3\xA9"), "file:///caf%C3%A9");
}

TEST(FileUrl, PathsComeBackFromTheirStrings) {
    for (const char* path : {"/", "/Applications/Image Capture.app", "/a/b%c/\xC3\xA9?#"}) {
        EXPECT_EQ(path_from_file_url_string(file_url_string(path)), std::filesystem::path(path));
    }
    EXPECT_EQ(path_from_file_url_string("FILE://localhost/x"), std::filesystem::path("/x"));
    EXPECT_EQ(path_from_file_url_string("file:///x/?query"), std::filesystem::path("/x/"));
}

TEST(FileUrl, OtherUrlsAreRefused) {
    for (const char* url : {"", "http://host/x", "file://host/x", "file:relative", "file:///bad%2",
                            "file:///bad%zz", "file:///nul%00"}) {
        EXPECT_FALSE(path_from_file_url_string(url)) << url;
    }
}

}  // namespace
