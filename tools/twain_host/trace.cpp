#include "tools/twain_host/trace.hpp"

#include <cstring>

namespace twain_host {

void Trace::line(const std::string& text) {
    if (!out_) return;
    const std::lock_guard lock(mutex_);
    *out_ << text << '\n';
    out_->flush();
}

std::string origin_name(const twain::TW_IDENTITY* identity) {
    if (!identity) return "null";
    const auto name = std::string(identity->ProductName,
                                  ::strnlen(identity->ProductName, sizeof identity->ProductName));
    return "#" + std::to_string(identity->Id) + " \"" + name + "\"";
}

}  // namespace twain_host
