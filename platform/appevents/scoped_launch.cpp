#include "platform/appevents/scoped_launch.hpp"

#include <unistd.h>

#include <vector>

#include "platform/appevents/application_launch.hpp"
#include "platform/bundle/bundle.hpp"
#include "platform/systemd/app_scope.hpp"
#include "platform/systemd/user_manager.hpp"

namespace platform::appevents {

namespace {

std::string application_id_of(const std::filesystem::path& folder) {
    auto bundle = bundle::Bundle::open(folder);
    if (bundle) {
        if (auto identifier = bundle->info_string("CFBundleIdentifier");
            identifier && !identifier->empty()) {
            return *identifier;
        }
        if (auto executable = bundle->executable_path()) return executable->filename().string();
    }
    return folder.stem().string();
}

std::vector<std::string> own_environment() {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) entries.emplace_back(*entry);
    return entries;
}

}  // namespace

Result<ScopedLaunch> launch_application_in_scope(const std::filesystem::path& bundle,
                                                 std::span<const std::byte> launch_parameters,
                                                 std::string_view launcher) {
    const systemd::Deadline deadline = std::chrono::steady_clock::now() + bus_wait_limit;
    ScopedLaunch launch;

    // The manager's display first: the application starts with it.
    auto manager = systemd::UserManager::connect();
    std::optional<std::vector<std::string>> environment;
    if (manager) {
        auto managers = manager->environment(deadline);
        if (managers) {
            environment = systemd::with_display_of(own_environment(), *managers);
        } else {
            launch.scope_failure = managers.error().message;
        }
    } else {
        launch.scope_failure = manager.error().message;
    }

    auto started = environment ? launch_application(bundle, launch_parameters, *environment)
                               : launch_application(bundle, launch_parameters);
    if (!started) return started.error();
    launch.pid = *started;
    launch.application_id = application_id_of(bundle);

    // A manager that refused its environment may still take the scope; one that let the time
    // pass is not asked again.
    if (!manager || std::chrono::steady_clock::now() >= deadline) return launch;
    systemd::ScopeSpec scope;
    scope.name = systemd::app_scope_name(launcher, launch.application_id, launch.pid);
    scope.description = bundle.stem().string() + ", launched by " + std::string(launcher);
    scope.slice = systemd::app_slice;
    scope.pids = {launch.pid};
    auto job = manager->start_scope(scope, deadline);
    if (job) {
        launch.scope = scope.name;
        launch.scope_failure.reset();
    } else {
        launch.scope_failure = job.error().message;
    }
    return launch;
}

}  // namespace platform::appevents
