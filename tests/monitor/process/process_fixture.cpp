#include "tests/monitor/process/process_fixture.hpp"

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>

#include "platform/folders/folders.hpp"
#include "platform/plist/document.hpp"
#include "platform/prefs/location.hpp"
#include "tools/scanner_sample_library/sample_bundle_layout.hpp"

namespace process_test {

namespace {

constexpr const char* kScannerLibrary =
    "/Library/Application Support/Velmora/7720 Series Scanner.bundle/Contents/SharedSupport/"
    "7720ScannerLib.bundle";

}  // namespace

void MonitorProcessTest::SetUp() {
    // A stray descendant becomes the test's child, which the guard ends.
    testing_support::adopt_orphans();
    // The monitor names its per-host preference file after the machine's /etc/machine-id; the
    // test's root gets the same file, so that the test names that file alike.
    std::error_code error;
    if (std::filesystem::exists("/etc/machine-id", error)) {
        std::filesystem::create_directories(env_.root() / "etc");
        std::filesystem::copy_file("/etc/machine-id", env_.root() / "etc/machine-id");
    }
    library_ = env_.root() / "Library";
    std::filesystem::create_directories(library_);
}

void MonitorProcessTest::InstallSampleLibrary(const scanner_sample::Settings& settings) {
    const auto bundle = platform::folders::system_path(kScannerLibrary);
    const auto made = scanner_sample::make_sample_bundle(SAMPLE_LIBRARY_BUNDLE, bundle, settings);
    ASSERT_TRUE(made) << made.error().message;
    libraryRecord_ = scanner_sample::record_path(bundle, settings);
}

std::vector<scanner_sample::RecordedCall> MonitorProcessTest::LibraryCalls() const {
    std::vector<scanner_sample::RecordedCall> calls;
    if (libraryRecord_.empty()) return calls;
    auto recorded = scanner_sample::read_record(libraryRecord_);
    if (!recorded) return calls;
    for (auto& call : *recorded) {
        if (call.number("pid") == pid_) calls.push_back(std::move(call));
    }
    return calls;
}

std::size_t MonitorProcessTest::LibraryCallCount(std::string_view name) const {
    const auto calls = LibraryCalls();
    return static_cast<std::size_t>(std::count_if(
        calls.begin(), calls.end(), [&](const auto& call) { return call.name == name; }));
}

void MonitorProcessTest::StartMonitor(const ViewOptions& options) {
    ASSERT_TRUE(monitor_.Start(options)) << "cannot start " << RUN_IN_VIEW_SCRIPT;
    const auto pid = monitor_.Pid();
    ASSERT_TRUE(pid) << "the view reported no pid; output:\n" << monitor_.Output();
    pid_ = *pid;
}

bool MonitorProcessTest::WaitUntilIdle(std::size_t threads) {
    return testing_support::wait_until([&] {
        return monitor_.Running() && ThreadCount(pid_) == threads && AllThreadsWaitInEpoll(pid_);
    });
}

std::optional<int> MonitorProcessTest::SignalAndWait(int signalNumber) {
    if (!monitor_.Running() || ::kill(pid_, signalNumber) != 0) return std::nullopt;
    return monitor_.WaitForExit();
}

std::optional<std::string> MonitorProcessTest::PublishedScanDataPort() const {
    const auto file = platform::prefs::domain_path("com.velmora.aio.scannerlib.k71",
                                                   platform::prefs::Scope::CurrentHost);
    if (!file) return std::nullopt;
    const auto prefs = platform::plist::read_file(*file);
    if (!prefs) return std::nullopt;
    const auto* name = prefs->get("SCAN_DATA_MESSAGE_PORT").as_string();
    if (!name) return std::nullopt;
    return *name;
}

std::filesystem::path MonitorProcessTest::ButtonPortSocket() const {
    return env_.runtime_dir() / "msgports" / kButtonPort;
}

std::string DescribeExit(const std::optional<int>& status) {
    if (!status) return "still running";
    if (WIFEXITED(*status)) return "exit " + std::to_string(WEXITSTATUS(*status));
    if (WIFSIGNALED(*status)) return "killed by signal " + std::to_string(WTERMSIG(*status));
    return "wait status " + std::to_string(*status);
}

std::vector<std::byte> RefreshRequest() {
    const std::uint8_t bytes[] = {1, 2, 0, 0, 0, 0, 1, 0, 10, 0, 0, 5};
    std::vector<std::byte> message;
    for (const auto byte : bytes) message.push_back(static_cast<std::byte>(byte));
    return message;
}

}  // namespace process_test
