#include "platform/systemd/user_manager.hpp"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/base/errno_text.hpp"

namespace platform::systemd {

namespace {

constexpr const char* kManagerService = "org.freedesktop.systemd1";
constexpr const char* kManagerPath = "/org/freedesktop/systemd1";
constexpr const char* kManagerInterface = "org.freedesktop.systemd1.Manager";
constexpr const char* kNoAnswer = "the user's service manager did not answer in time";

Error bus_error(std::string_view what, int negative_errno) {
    return Error{errno_text(what, -negative_errno)};
}

// What is left until the deadline, in microseconds; 0 when it has passed.
std::uint64_t microseconds_until(Deadline deadline) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    // At least one, so that a wait for an unmet deadline never means "without limit" (0).
    return std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(
               std::chrono::duration_cast<std::chrono::microseconds>(left).count()));
}

struct ReplyUnref {
    void operator()(sd_bus_message* message) const noexcept { sd_bus_message_unref(message); }
};

struct PendingCall {
    // A reference of ours once it came, released on every way out of the call.
    std::unique_ptr<sd_bus_message, ReplyUnref> reply;
};

int on_reply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    static_cast<PendingCall*>(userdata)->reply.reset(sd_bus_message_ref(reply));
    return 0;
}

struct SlotUnref {
    void operator()(sd_bus_slot* slot) const noexcept { sd_bus_slot_unref(slot); }
};

}  // namespace

void UserManager::BusClose::operator()(sd_bus* bus) const noexcept {
    // Without flushing: a manager that does not read could hold the flush up.
    sd_bus_close_unref(bus);
}

void UserManager::MessageUnref::operator()(sd_bus_message* message) const noexcept {
    sd_bus_message_unref(message);
}

Result<UserManager> UserManager::connect() {
    sd_bus* bus = nullptr;
    const int r = sd_bus_open_user(&bus);
    if (r < 0) return bus_error("no user bus", r);
    return UserManager(bus);
}

Result<UserManager::Message> UserManager::new_call(const char* interface, const char* member) {
    sd_bus_message* made = nullptr;
    const int r = sd_bus_message_new_method_call(bus_.get(), &made, kManagerService, kManagerPath,
                                                 interface, member);
    if (r < 0) return bus_error(std::string("cannot make the call ") + member, r);
    return Message(made);
}

Result<UserManager::Message> UserManager::call(Message& request, Deadline deadline) {
    PendingCall pending;
    sd_bus_slot* made_slot = nullptr;
    int r = sd_bus_call_async(bus_.get(), &made_slot, request.get(), on_reply, &pending,
                              microseconds_until(deadline));
    if (r < 0) return bus_error("cannot call the user's service manager", r);
    // Dropping the slot forgets a call still pending, so that no reply finds pending gone.
    const std::unique_ptr<sd_bus_slot, SlotUnref> slot(made_slot);

    // The connection's set-up (authentication, Hello) goes through the same steps, so the
    // deadline holds for all of it.
    for (;;) {
        r = sd_bus_process(bus_.get(), nullptr);
        if (pending.reply) break;
        if (r < 0) return bus_error("the user bus failed", r);
        if (r > 0) continue;
        const std::uint64_t left = microseconds_until(deadline);
        if (left == 0) return Error{kNoAnswer};
        r = sd_bus_wait(bus_.get(), left);
        if (r < 0 && r != -EINTR) return bus_error("the user bus failed", r);
    }
    Message reply(pending.reply.release());
    // The call's own time-out, which ends with the deadline, comes as this error.
    if (sd_bus_message_is_method_error(reply.get(), SD_BUS_ERROR_NO_REPLY)) return Error{kNoAnswer};
    if (sd_bus_message_is_method_error(reply.get(), nullptr)) {
        const sd_bus_error* error = sd_bus_message_get_error(reply.get());
        std::string text = "the user's service manager refused: ";
        text += error && error->name ? error->name : "an error";
        if (error && error->message) text += std::string(" (") + error->message + ")";
        return Error{text};
    }
    return reply;
}

Result<std::vector<std::string>> UserManager::environment(Deadline deadline) {
    auto request = new_call("org.freedesktop.DBus.Properties", "Get");
    if (!request) return request.error();
    int r = sd_bus_message_append(request->get(), "ss", kManagerInterface, "Environment");
    if (r < 0) return bus_error("cannot make the call Get", r);
    auto reply = call(*request, deadline);
    if (!reply) return reply.error();

    r = sd_bus_message_enter_container(reply->get(), 'v', "as");
    if (r < 0) return bus_error("the manager's Environment is not a list of strings", r);
    char** entries = nullptr;
    r = sd_bus_message_read_strv(reply->get(), &entries);
    if (r < 0) return bus_error("cannot read the manager's Environment", r);
    std::vector<std::string> environment;
    for (char** entry = entries; entry && *entry; ++entry) {
        environment.emplace_back(*entry);
        std::free(*entry);
    }
    std::free(entries);
    return environment;
}

Result<std::string> UserManager::start_scope(const ScopeSpec& scope, Deadline deadline) {
    auto request = new_call(kManagerInterface, "StartTransientUnit");
    if (!request) return request.error();
    sd_bus_message* m = request->get();
    // Name, job mode, the unit's properties, and no auxiliary units.
    int r = sd_bus_message_append(m, "ss", scope.name.c_str(), "fail");
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "(sv)");
    if (r >= 0) r = sd_bus_message_append(m, "(sv)", "Description", "s", scope.description.c_str());
    if (r >= 0 && !scope.slice.empty()) {
        r = sd_bus_message_append(m, "(sv)", "Slice", "s", scope.slice.c_str());
    }
    // Gone from the manager's list once its processes have ended, also after a failure.
    if (r >= 0) r = sd_bus_message_append(m, "(sv)", "CollectMode", "s", "inactive-or-failed");
    if (r >= 0) r = sd_bus_message_open_container(m, 'r', "sv");
    if (r >= 0) r = sd_bus_message_append(m, "s", "PIDs");
    if (r >= 0) r = sd_bus_message_open_container(m, 'v', "au");
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "u");
    for (const pid_t pid : scope.pids) {
        if (r >= 0) r = sd_bus_message_append(m, "u", static_cast<std::uint32_t>(pid));
    }
    for (int level = 0; level < 4 && r >= 0; ++level) r = sd_bus_message_close_container(m);
    if (r >= 0) r = sd_bus_message_append(m, "a(sa(sv))", 0);
    if (r < 0) return bus_error("cannot make the call StartTransientUnit", r);

    auto reply = call(*request, deadline);
    if (!reply) return reply.error();
    const char* job = nullptr;
    r = sd_bus_message_read(reply->get(), "o", &job);
    if (r < 0) return bus_error("the manager's answer names no job", r);
    return std::string(job);
}

}  // namespace platform::systemd
