// What the journal is told about the scanner library: missing, code that does not load, entry
// points it lacks; each once while it lasts, however many events meet it, and its end.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/scannerlib/scanner_library.hpp"
#include "tests/monitor/scannerlib/scanner_library_fixtures.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tests/support/recorded_entries.hpp"

namespace {

using monitor::ScannerLibrary;
using testing_support::FieldOf;
using testing_support::RecordedEntries;
using namespace scannerlib_test;

void OpenAndClose(int times) {
    for (int i = 0; i < times; ++i) {
        ScannerLibrary library;
        (void)library.Open();
        library.Close();
    }
}

// "CONDITION state subject-field" for each entry of the condition.
std::vector<std::string> Story(const RecordedEntries& recorded, const std::string& condition,
                               const std::string& field) {
    std::vector<std::string> story;
    for (const auto& entry : recorded.With("CONDITION", condition)) {
        story.push_back(FieldOf(entry, "CONDITION_STATE") + " " + FieldOf(entry, field));
    }
    return story;
}

class ScannerLibraryReports : public ::testing::Test {
protected:
    testing_support::IsolatedEnvironment env;
    RecordedEntries recorded;
};

TEST_F(ScannerLibraryReports, AMissingLibraryIsReportedOnceWithWhereItIsLookedFor) {
    OpenAndClose(20);
    std::filesystem::create_directories(ScannerBundle() / "Contents/SharedSupport");
    OpenAndClose(20);  // the scanner bundle without the library is the same condition
    EXPECT_EQ(Story(recorded, "SCANNER_LIBRARY_MISSING", "LIBRARY"),
              (std::vector<std::string>{"began " + LibraryBundle().string()}));

    InstallSampleLibrary();
    OpenAndClose(3);
    EXPECT_EQ(Story(recorded, "SCANNER_LIBRARY_MISSING", "LIBRARY"),
              (std::vector<std::string>{"began " + LibraryBundle().string(),
                                        "ended " + LibraryBundle().string()}));
}

TEST_F(ScannerLibraryReports, CodeThatDoesNotLoadIsReportedOnceWithTheLoadersWord) {
    const auto notCode = env.base() / "not-code";
    testing_support::write_file(notCode, "this is no shared object\n");
    InstallLibraryCode(notCode);
    OpenAndClose(10);
    const auto entries = recorded.With("CONDITION", "SCANNER_LIBRARY_NOT_LOADED");
    ASSERT_EQ(entries.size(), 1U);
    EXPECT_NE(FieldOf(entries[0], "REASON").find("7720ScannerLib"), std::string::npos)
        << FieldOf(entries[0], "REASON");
    EXPECT_TRUE(recorded.With("CONDITION", "SCANNER_LIBRARY_MISSING").empty()) << "it is there";
}

TEST_F(ScannerLibraryReports, EachMissingEntryPointIsReportedOnceByName) {
    InstallLibraryCode(TEST_LIBRARY_WITHOUT_VERSION);
    OpenAndClose(5);
    EXPECT_EQ(Story(recorded, "SCANNER_LIBRARY_ENTRY_POINT_MISSING", "ENTRY_POINT"),
              (std::vector<std::string>{"began ScanVersion", "began EndNetworkScan"}));

    std::filesystem::remove_all(LibraryBundle());
    InstallLibraryCode(TEST_LIBRARY_FULL);
    OpenAndClose(2);
    EXPECT_EQ(Story(recorded, "SCANNER_LIBRARY_ENTRY_POINT_MISSING", "ENTRY_POINT"),
              (std::vector<std::string>{"began ScanVersion", "began EndNetworkScan",
                                        "ended ScanVersion", "ended EndNetworkScan"}));
}

}  // namespace
