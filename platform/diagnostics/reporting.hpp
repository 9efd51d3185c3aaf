#pragma once
// Reporting entries, and conditions that are reported when they begin and when they end.
//
// A condition is a state that the same step may find on every event (an application missing, a
// library that does not load). Reporting it each time would let a flood of events fill the log;
// a condition is therefore reported once when it begins and once when it ends, whatever happens
// in between. It is named (upper case; its entries carry CONDITION=<name>) and may have a
// subject (a file, an entry point) so that the same kind of condition on two subjects is
// tracked apart; its entries carry CONDITION_STATE=began or ended.
//
// Every function may be called from any thread. Entries go to the sink in the order in which
// they were decided, a condition's end never before its beginning. The entry of a condition is
// made (by the caller's function) only when it is reported.

#include <memory>
#include <string_view>
#include <type_traits>

#include "platform/diagnostics/entry.hpp"

namespace platform::diagnostics {

using Sink = void (*)(const Entry& entry);

// Installs the sink (nullptr: none). Entries reported while there is none are dropped;
// conditions are tracked all the same.
void set_sink(Sink sink);

// One entry, now.
void report(const Entry& entry);

namespace detail {
using MakeEntry = Entry (*)(void* maker);
bool change_condition(bool on, std::string_view name, std::string_view subject, MakeEntry make,
                      void* maker);

template <class Make>
bool change_condition(bool on, std::string_view name, std::string_view subject, Make& make) {
    using Maker = std::remove_reference_t<Make>;
    return change_condition(
        on, name, subject, [](void* maker) -> Entry { return (*static_cast<Maker*>(maker))(); },
        const_cast<void*>(static_cast<const void*>(std::addressof(make))));
}
}  // namespace detail

// The condition begins: make() is called and its entry reported unless the condition is on
// already. True when it began now.
template <class Make>
bool begin_condition(std::string_view name, std::string_view subject, Make&& make) {
    return detail::change_condition(true, name, subject, make);
}

// The condition ends: make() is called and its entry reported when the condition was on. True
// when it ended now.
template <class Make>
bool end_condition(std::string_view name, std::string_view subject, Make&& make) {
    return detail::change_condition(false, name, subject, make);
}

bool condition_on(std::string_view name, std::string_view subject);

// Turns every condition off without reporting anything: a fresh start, for tests that run one
// after another in one process.
void forget_conditions();

}  // namespace platform::diagnostics
