// A stand-in for the user's service manager on a private bus: owns org.freedesktop.systemd1,
// answers the Manager's Environment property and StartTransientUnit, and records each call it
// answers as a line in a file. Tests start it through PrivateBus (private_bus.hpp).
//
//   standin_user_manager --record FILE --ready FILE [--refuse] [--environment NAME=VALUE]...
//
//   --record FILE   one line per StartTransientUnit call:
//                   "StartTransientUnit name=N mode=M Description=D Slice=S ... PIDs=1,2"
//   --ready FILE    created once the name is owned
//   --refuse        every call fails with org.freedesktop.systemd1.NoSuchUnit, as a manager
//                   that refuses would answer

#include <systemd/sd-bus.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/base/errno_text.hpp"

namespace {

struct Settings {
    std::string record;
    std::string ready;
    bool refuse = false;
    std::vector<std::string> environment;
};

Settings settings;

int refuse(sd_bus_error* error) {
    return sd_bus_error_set(error, "org.freedesktop.systemd1.NoSuchUnit",
                            "refused by the stand-in");
}

int get_environment(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                    sd_bus_error* error) {
    if (settings.refuse) return refuse(error);
    std::vector<char*> entries;
    for (auto& entry : settings.environment) entries.push_back(entry.data());
    entries.push_back(nullptr);
    return sd_bus_message_append_strv(reply, entries.data());
}

// One property of the unit, "Name=value"; values other than strings and arrays of numbers are
// recorded by their type.
int read_property(sd_bus_message* m, std::string& line) {
    const char* name = nullptr;
    int r = sd_bus_message_enter_container(m, 'r', "sv");
    if (r <= 0) return r;
    if ((r = sd_bus_message_read(m, "s", &name)) < 0) return r;
    const char* contents = nullptr;
    if ((r = sd_bus_message_peek_type(m, nullptr, &contents)) < 0) return r;
    line += std::string(" ") + name + "=";
    if ((r = sd_bus_message_enter_container(m, 'v', contents)) < 0) return r;
    if (std::strcmp(contents, "s") == 0) {
        const char* value = nullptr;
        if ((r = sd_bus_message_read(m, "s", &value)) < 0) return r;
        line += value;
    } else if (std::strcmp(contents, "au") == 0) {
        if ((r = sd_bus_message_enter_container(m, 'a', "u")) < 0) return r;
        std::uint32_t value = 0;
        bool first = true;
        while ((r = sd_bus_message_read(m, "u", &value)) > 0) {
            line += (first ? "" : ",") + std::to_string(value);
            first = false;
        }
        if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0) return r;
    } else {
        line += std::string("(") + contents + ")";
        if ((r = sd_bus_message_skip(m, contents)) < 0) return r;
    }
    if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    return 1;
}

int start_transient_unit(sd_bus_message* m, void*, sd_bus_error* error) {
    if (settings.refuse) return refuse(error);
    const char* name = nullptr;
    const char* mode = nullptr;
    int r = sd_bus_message_read(m, "ss", &name, &mode);
    if (r < 0) return r;
    std::string line = std::string("StartTransientUnit name=") + name + " mode=" + mode;
    if ((r = sd_bus_message_enter_container(m, 'a', "(sv)")) < 0) return r;
    while ((r = read_property(m, line)) > 0) {
    }
    if (r < 0) return r;
    std::ofstream(settings.record, std::ios::app) << line << "\n" << std::flush;
    return sd_bus_reply_method_return(m, "o", "/org/freedesktop/systemd1/job/1");
}

const sd_bus_vtable manager_vtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Environment", "as", get_environment, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("StartTransientUnit", "ssa(sv)a(sa(sv))", "o", start_transient_unit, 0),
    SD_BUS_VTABLE_END,
};

}  // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument(argv[i]);
        if (argument == "--refuse") {
            settings.refuse = true;
        } else if (i + 1 < argc && argument == "--record") {
            settings.record = argv[++i];
        } else if (i + 1 < argc && argument == "--ready") {
            settings.ready = argv[++i];
        } else if (i + 1 < argc && argument == "--environment") {
            settings.environment.emplace_back(argv[++i]);
        } else {
            std::fprintf(stderr, "standin_user_manager: unknown argument %s\n", argv[i]);
            return 2;
        }
    }

    sd_bus* bus = nullptr;
    int r = sd_bus_open_user(&bus);
    if (r >= 0) {
        r = sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/systemd1",
                                     "org.freedesktop.systemd1.Manager", manager_vtable, nullptr);
    }
    if (r >= 0) r = sd_bus_request_name(bus, "org.freedesktop.systemd1", 0);
    if (r < 0) {
        std::fprintf(stderr, "standin_user_manager: %s\n", platform::errno_text(-r).c_str());
        return 1;
    }
    std::ofstream(settings.ready) << "ready\n";
    for (;;) {
        r = sd_bus_process(bus, nullptr);
        if (r < 0) return 1;
        if (r > 0) continue;
        if (sd_bus_wait(bus, UINT64_MAX) < 0) return 1;
    }
}
