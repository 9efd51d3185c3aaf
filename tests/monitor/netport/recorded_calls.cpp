#include "tests/monitor/netport/recorded_calls.hpp"

#include <mutex>

namespace netport_testing {

namespace {

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}
std::vector<std::string>& Calls() {
    static std::vector<std::string> calls;
    return calls;
}
std::function<void(std::string_view)>& Hook() {
    static std::function<void(std::string_view)> hook;
    return hook;
}

std::int32_t& Open() {
    static std::int32_t result = 0;
    return result;
}

}  // namespace

void SetOpenResult(std::int32_t result) {
    const std::lock_guard guard(Lock());
    Open() = result;
}

std::int32_t OpenResult() {
    const std::lock_guard guard(Lock());
    return Open();
}

std::vector<std::string> RecordedCalls() {
    const std::lock_guard guard(Lock());
    return Calls();
}

void ClearRecordedCalls() {
    const std::lock_guard guard(Lock());
    Calls().clear();
}

void SetBeforePrefWrite(std::function<void(std::string_view key)> hook) {
    const std::lock_guard guard(Lock());
    Hook() = std::move(hook);
}

void RecordCall(std::string call) {
    const std::lock_guard guard(Lock());
    Calls().push_back(std::move(call));
}

void BeforePrefWrite(std::string_view key) {
    std::function<void(std::string_view)> hook;
    {
        const std::lock_guard guard(Lock());
        hook = Hook();
    }
    if (hook) hook(key);
}

}  // namespace netport_testing
