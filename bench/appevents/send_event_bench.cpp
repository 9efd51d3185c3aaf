// The cost of sending the scan request to a running application against the bare cost of
// delivering the same bytes: a datagram socket created, connected, sent on and closed.
// Prints the ratio at the end (target: at most 2).

#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "monitor/launch/scan_launch_request.hpp"
#include "platform/appevents/codes.hpp"
#include "platform/appevents/send_event.hpp"
#include "platform/appevents/wire_form.hpp"
#include "platform/msgport/named_socket.hpp"

namespace {

namespace ae = platform::appevents;

constexpr const char* kAddress = "192.168.100.200";

// The application's socket, drained on a thread of its own so that senders never wait.
class Receiver {
public:
    Receiver() {
        auto claimed = platform::msgport::NamedSocket::claim("appevents", "QH06");
        if (!claimed) {
            std::fprintf(stderr, "cannot serve QH06\n");
            std::exit(1);
        }
        socket_.emplace(std::move(claimed).value());
        thread_ = std::thread([this] { drain(); });
    }
    ~Receiver() {
        running_ = false;
        thread_.join();
    }
    const std::filesystem::path& path() const { return socket_->socket_path(); }

private:
    void drain() {
        char buffer[ae::max_event_size];
        pollfd watch{socket_->fd(), POLLIN, 0};
        while (running_) {
            if (::poll(&watch, 1, 50) <= 0) continue;
            while (::recv(socket_->fd(), buffer, sizeof buffer, 0) >= 0) {
            }
        }
    }

    std::optional<platform::msgport::NamedSocket> socket_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

Receiver* receiver = nullptr;

// The bytes Send puts on the wire for the same request.
std::vector<std::byte> request_bytes() {
    const platform::FourCharCode creator = platform::four_char_code("QH06");
    ae::Event event(
        platform::four_char_code("BMon"), platform::four_char_code("x771"),
        ae::Descriptor::create(ae::type_appl_signature, ae::host_bytes(creator)).value());
    const std::int32_t direct = 5;
    const std::int32_t resolution = 300;
    const std::uint8_t flag = 1;
    const std::u16string address = u"192.168.100.200";
    event.put_parameter(ae::key_direct_object,
                        ae::Descriptor::create(ae::type_sint32, ae::host_bytes(direct)).value());
    event.put_parameter(
        platform::four_char_code("rsln"),
        ae::Descriptor::create(ae::type_sint32, ae::host_bytes(resolution)).value());
    event.put_parameter(platform::four_char_code("NtSc"),
                        ae::Descriptor::create(ae::type_true, ae::host_bytes(flag)).value());
    event.put_parameter(
        platform::four_char_code("rmip"),
        ae::Descriptor::create(ae::type_unicode_text,
                               std::as_bytes(std::span(address.data(), address.size())))
            .value());
    return ae::encode_event(event);
}

void BM_ScanLaunchRequestSend(benchmark::State& state) {
    for (auto _ : state) {
        monitor::ScanLaunchRequest request(1, 5, 300, 1, std::string(kAddress));
        if (request.Send() != 0) state.SkipWithError("Send failed");
    }
}
BENCHMARK(BM_ScanLaunchRequestSend)->UseRealTime();

void BM_BareDatagram(benchmark::State& state) {
    const auto bytes = request_bytes();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, receiver->path().c_str(), sizeof address.sun_path - 1);
    for (auto _ : state) {
        const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) {
            state.SkipWithError("bare send failed");
        }
        ::close(fd);
    }
}
BENCHMARK(BM_BareDatagram)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // With --benchmark_repetitions the mean stands for a benchmark, else its one run.
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.error_occurred) continue;
            const std::string name = run.run_name.str();
            if (run.aggregate_name == "mean") {
                times_[name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
                from_mean_.insert(name);
            } else if (run.aggregate_name.empty() && !from_mean_.contains(name)) {
                times_[name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatio() const {
        const auto send = times_.find("BM_ScanLaunchRequestSend/real_time");
        const auto bare = times_.find("BM_BareDatagram/real_time");
        if (send == times_.end() || bare == times_.end()) return;
        if (bare->second.real <= 0 || bare->second.cpu <= 0) return;
        // Real time is what the caller waits; CPU time is steadier on a busy machine.
        std::printf("Send / bare datagram: %.2f real time, %.2f CPU time (target: at most 2)\n",
                    send->second.real / bare->second.real, send->second.cpu / bare->second.cpu);
    }

private:
    struct Times {
        double real;
        double cpu;
    };
    std::map<std::string, Times> times_;
    std::set<std::string> from_mean_;
};

}  // namespace

int main(int argc, char** argv) {
    // A private runtime folder, so that the benchmark's socket meets no one else's.
    char folder[] = "/tmp/velmora-bench-XXXXXX";
    if (!::mkdtemp(folder)) return 1;
    ::setenv("XDG_RUNTIME_DIR", folder, 1);

    benchmark::Initialize(&argc, argv);
    {
        Receiver running;
        receiver = &running;
        RatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        reporter.PrintRatio();
        receiver = nullptr;
    }
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
