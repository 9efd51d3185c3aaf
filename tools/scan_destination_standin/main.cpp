// scan-destination-standin: serves the application events of a signature and prints each one
// decoded. `scan-destination-standin --help` says how.

#include <sys/epoll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/appevents/codes.hpp"
#include "platform/appevents/event_receiver.hpp"
#include "platform/appevents/send_event.hpp"
#include "platform/appevents/wire_form.hpp"
#include "platform/base/os_status.hpp"
#include "platform/runloop/run_loop.hpp"
#include "tools/command_line/command_line.hpp"
#include "tools/scan_destination_standin/event_text.hpp"
#include "tools/scan_destination_standin/launch_event_input.hpp"
#include "tools/scan_destination_standin/options.hpp"
#include "tools/scan_destination_standin/pid_file.hpp"
#include "tools/scan_destination_standin/standin_bundle.hpp"

namespace {

namespace ae = platform::appevents;

// Where the stand-in prints: standard output or the log, each message flushed whole.
class Output {
public:
    explicit Output(std::FILE* file) : file_(file) {}
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output() {
        if (file_ != stdout) std::fclose(file_);
    }

    void print(const std::string& text) {
        std::fputs(text.c_str(), file_);
        std::fflush(file_);
    }
    void error(const std::string& message) { print("error: " + message + "\n"); }

private:
    std::FILE* file_;
};

void request_quit(int) { platform::runloop::request_main_quit(); }

void print_event(Output& out, const ae::Event& event, std::string_view heading) {
    auto text = standin::describe_event(event, heading);
    if (text) {
        out.print(*text);
    } else {
        out.error(text.error().message);
    }
}

// The launch event's bytes, read once on first use: after the socket is claimed, and only once
// even when a hand-over falls back to serving.
class LaunchEvent {
public:
    explicit LaunchEvent(std::optional<std::filesystem::path> file) : file_(std::move(file)) {}

    const platform::Result<std::vector<std::byte>>& bytes() {
        if (!bytes_) bytes_.emplace(standin::read_launch_event(file_));
        return *bytes_;
    }

private:
    std::optional<std::filesystem::path> file_;
    std::optional<platform::Result<std::vector<std::byte>>> bytes_;
};

// Another instance serves the signature: it gets this one's launch event.
int hand_over(Output& out, platform::FourCharCode signature, LaunchEvent& launch, bool& retry) {
    retry = false;
    const std::string served = ae::code_text(signature);
    const auto& bytes = launch.bytes();
    if (!bytes) {
        out.error(bytes.error().message);
        return 1;
    }
    if (bytes->empty()) {
        out.print(served + " is served by another instance; no launch event to hand over\n");
        return 0;
    }
    auto event = ae::decode_event(*bytes);
    if (!event) {
        out.error("launch event: " + event.error().message);
        return 1;
    }
    auto sent = ae::send_event_to(signature, *event);
    if (!sent) {
        // The other instance went away meanwhile: serve the signature after all.
        retry = sent.error().status == platform::os_status::procNotFound;
        if (!retry) out.error("cannot hand the launch event over: " + sent.error().message);
        return 1;
    }
    out.print("handed the launch event to the instance serving " + served + "\n");
    return 0;
}

void print_launch_event(Output& out, LaunchEvent& launch) {
    const auto& bytes = launch.bytes();
    if (!bytes) {
        out.error(bytes.error().message);
        return;
    }
    if (bytes->empty()) return;
    auto event = ae::decode_event(*bytes);
    if (!event) {
        out.error("launch event: " + event.error().message);
        return;
    }
    print_event(out, *event, "launch event");
}

int serve(Output& out, const standin::Options& options) {
    const std::string served = ae::code_text(options.signature);
    LaunchEvent launch(options.launch_event);
    std::optional<ae::EventReceiver> receiver;
    for (int attempt = 0; attempt < 3 && !receiver; ++attempt) {
        auto claimed = ae::EventReceiver::claim(options.signature);
        if (!claimed) {
            if (claimed.error().status != platform::os_status::portNameExistsErr) {
                out.error("cannot serve " + served + ": " + claimed.error().message);
                return 1;
            }
            bool retry = false;
            const int status = hand_over(out, options.signature, launch, retry);
            if (!retry) return status;
            continue;
        }
        receiver.emplace(std::move(claimed).value());
    }
    if (!receiver) {
        out.error("cannot serve " + served + ": it stays taken but nobody takes its events");
        return 1;
    }

    // The socket is bound: events sent from now on wait while the launch event is read.
    print_launch_event(out, launch);
    out.print("serving " + served + " (pid " + std::to_string(::getpid()) + ")\n");
    if (options.pid_file) {
        if (auto written = standin::write_pid_file(*options.pid_file); !written) {
            out.error(written.error().message);
            return 1;
        }
    }

    auto& loop = platform::runloop::RunLoop::main();
    // One datagram per wake-up: the loop calls again while more are waiting.
    auto source = loop.add_fd(receiver->fd(), EPOLLIN, [&](std::uint32_t) {
        auto received = receiver->receive();
        if (!received) {
            out.error(received.error().message);
        } else if (*received) {
            print_event(out, **received, "event");
        }
    });
    if (!source) {
        out.error(source.error().message);
        return 1;
    }
    loop.run_until_quit();
    if (options.pid_file) {
        std::error_code ignored;
        std::filesystem::remove(*options.pid_file, ignored);
    }
    return 0;
}

std::filesystem::path own_program() {
    std::error_code error;
    auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : program;
}

}  // namespace

int main(int argc, char** argv) {
    auto options = standin::parse_options(std::vector<std::string>(argv + 1, argv + argc));
    if (auto status = tools::command_line::finish_early("scan-destination-standin", options,
                                                        standin::help_text)) {
        return *status;
    }
    if (options->make_bundle) {
        auto made =
            standin::make_standin_bundle(*options->make_bundle, own_program(), options->signature,
                                         standin::bundle_arguments(*options));
        if (!made) {
            std::fprintf(stderr, "scan-destination-standin: %s\n", made.error().message.c_str());
            return 1;
        }
        return 0;
    }

    std::FILE* file = stdout;
    if (options->log) {
        file = std::fopen(options->log->c_str(), "ae");
        if (!file) {
            std::perror(("scan-destination-standin: " + options->log->string()).c_str());
            return 1;
        }
    }
    Output out(file);
    std::signal(SIGTERM, request_quit);
    std::signal(SIGINT, request_quit);
    return serve(out, *options);
}
