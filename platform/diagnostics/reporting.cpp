#include "platform/diagnostics/reporting.hpp"

#include <mutex>
#include <set>
#include <string>
#include <utility>

namespace platform::diagnostics {

namespace {

struct State {
    std::mutex lock;
    Sink sink = nullptr;
    std::set<std::string, std::less<>> on;  // name '\n' subject
};

State& state() {
    // Never destroyed: threads that outlive main's return may still report.
    static State* const instance = new State;
    return *instance;
}

std::string key_of(std::string_view name, std::string_view subject) {
    std::string key(name);
    key += '\n';
    key += subject;
    return key;
}

}  // namespace

void set_sink(Sink sink) {
    const std::lock_guard guard(state().lock);
    state().sink = sink;
}

void report(const Entry& entry) {
    // Under the lock, so that entries keep the order in which they were decided.
    const std::lock_guard guard(state().lock);
    if (state().sink) state().sink(entry);
}

bool detail::change_condition(bool on, std::string_view name, std::string_view subject,
                              MakeEntry make, void* maker) {
    State& s = state();
    const std::string key = key_of(name, subject);
    const std::lock_guard guard(s.lock);
    const auto found = s.on.find(key);
    if (on == (found != s.on.end())) return false;
    if (on) {
        s.on.insert(key);
    } else {
        s.on.erase(found);
    }
    if (s.sink) {
        Entry entry = make(maker);
        entry.fields.push_back({"CONDITION", std::string(name)});
        entry.fields.push_back({"CONDITION_STATE", on ? "began" : "ended"});
        s.sink(entry);
    }
    return true;
}

void forget_conditions() {
    const std::lock_guard guard(state().lock);
    state().on.clear();
}

bool condition_on(std::string_view name, std::string_view subject) {
    const std::lock_guard guard(state().lock);
    return state().on.contains(key_of(name, subject));
}

}  // namespace platform::diagnostics
