#include "tests/support/isolated_environment.hpp"

#include <cstdlib>

#include "platform/folders/folders.hpp"

namespace testing_support {

IsolatedEnvironment::IsolatedEnvironment() : temp_("velmora-env") {
    for (const auto& folder : {runtime_dir(), config_home(), home(), root()}) {
        std::filesystem::create_directories(folder);
    }
    std::filesystem::permissions(runtime_dir(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    set_env("XDG_RUNTIME_DIR", runtime_dir().string());
    set_env("XDG_CONFIG_HOME", config_home().string());
    set_env("HOME", home().string());
    set_env("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    set_env("NOTIFY_SOCKET", std::nullopt);
    saved_root_ = platform::folders::root();
    platform::folders::set_root(root());
}

IsolatedEnvironment::~IsolatedEnvironment() {
    platform::folders::set_root(saved_root_);
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->second) {
            ::setenv(it->first.c_str(), it->second->c_str(), 1);
        } else {
            ::unsetenv(it->first.c_str());
        }
    }
}

void IsolatedEnvironment::set_env(const char* name, const std::optional<std::string>& value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

}  // namespace testing_support
