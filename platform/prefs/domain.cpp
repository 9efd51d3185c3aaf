#include "platform/prefs/domain.hpp"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/plist/document.hpp"

namespace platform::prefs {

Domain::Domain(std::optional<std::filesystem::path> file) : file_(std::move(file)) {}

void Domain::load_if_needed() {
    if (loaded_) return;
    if (file_) {
        adopt(read_domain_file(*file_));
    } else {
        values_ = plist::Value::dictionary();
        loaded_ = true;
    }
}

void Domain::adopt(DomainSnapshot snapshot) {
    if (snapshot.state == FileState::Failed || snapshot.state == FileState::TooLarge) {
        // Nothing was learnt about the keys. What was read last, if anything, is still the best
        // answer; the next use or synchronization reads again.
        if (!loaded_) values_ = plist::Value::dictionary();
        stamp_ = FileStamp{};
        return;
    }
    values_ = std::move(snapshot.values);
    stamp_ = snapshot.stamp;
    held_ = std::move(snapshot.held);
    digest_ = snapshot.digest;
    loaded_ = true;
}

std::optional<LastRead> Domain::last_read() const {
    if (!loaded_ || !digest_) return std::nullopt;
    return LastRead{values_, *digest_};
}

Result<plist::Value> Domain::look_up(std::string_view key) {
    const std::lock_guard guard(lock_);
    load_if_needed();
    const auto change = std::find_if(pending_.begin(), pending_.end(),
                                     [key](const auto& entry) { return entry.first == key; });
    if (change != pending_.end()) return change->second.deep_copy();
    if (!loaded_) return Error{"the preferences file cannot be read now"};
    return values_.get(key).deep_copy();
}

plist::Value Domain::copy_value(std::string_view key) {
    auto value = look_up(key);
    return value ? std::move(value.value()) : plist::Value();
}

Result<void> Domain::set_value(std::string_view key, const plist::Value& value) {
    if (!file_) return Error{"no such preference domain"};
    if (key.find('\0') != std::string_view::npos) return Error{"a preference key holds NUL"};
    if (value) {
        // What cannot be written must not wait in the pending changes and fail every write.
        auto form = plist::to_xml(value);
        if (!form) return form.error();
    }
    plist::Value copy = value.deep_copy();
    const std::lock_guard guard(lock_);
    const auto change = std::find_if(pending_.begin(), pending_.end(),
                                     [key](const auto& entry) { return entry.first == key; });
    if (change != pending_.end()) {
        change->second = std::move(copy);
    } else {
        pending_.emplace_back(std::string(key), std::move(copy));
    }
    return {};
}

Result<void> Domain::synchronize() {
    const std::lock_guard guard(lock_);
    if (!file_) {
        load_if_needed();
        return Error{"no such preference domain"};
    }
    Result<void> outcome;
    if (!pending_.empty()) {
        auto written = write_domain_changes(*file_, pending_, last_read());
        if (written) {
            // What was just written under the lock is what the file holds: the reload is done.
            pending_.clear();
            adopt(std::move(written.value()));
            return outcome;
        }
        outcome = written.error();
    }
    if (!loaded_ || current_stamp(*file_) != stamp_) adopt(read_domain_file(*file_, last_read()));
    return outcome;
}

Domain& shared_domain(std::string_view name, Scope scope) {
    static std::mutex lock;
    static std::map<std::string, std::unique_ptr<Domain>, std::less<>> domains;
    auto file = domain_path(name, scope);
    // Domains without a file share the entry of the empty path.
    const std::string key = file ? file->native() : std::string();
    const std::lock_guard guard(lock);
    auto found = domains.find(key);
    if (found == domains.end()) {
        found = domains.emplace(key, std::make_unique<Domain>(std::move(file))).first;
    }
    return *found->second;
}

}  // namespace platform::prefs
