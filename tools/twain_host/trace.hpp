#pragma once
// The host's record of everything that crosses the Source Manager: which data source files were
// loaded and unloaded, every triplet with its origin and its answer, callbacks, refused nested
// calls and the memory account. A call's line is written when it returns, so the calls made
// while it ran come first. Off unless a stream is given; lines are whole even when a data source
// calls from a thread of its own.
//
//   load FILE / unload FILE
//   WHO ORIGIN DG/DAT/MSG [CAPABILITY] -> TWRC_... (n)
//
// WHO is dsm->ds (the Source Manager's own calls: listing, DAT_ENTRYPOINT, MSG_OPENDS, DAT_STATUS
// after a failed open, MSG_CLOSEDS), app->ds (forwarded), app->dsm (answered by the Source
// Manager), ds->dsm (DAT_NULL) or dsm->app (the callback); ORIGIN is "null" or "#Id "Name"".

#include <mutex>
#include <ostream>
#include <string>

#include "twain/protocol/twain_types.hpp"

namespace twain_host {

class Trace {
public:
    Trace() = default;
    explicit Trace(std::ostream* out) : out_(out) {}

    bool on() const { return out_ != nullptr; }
    void line(const std::string& text);

private:
    std::mutex mutex_;
    std::ostream* out_ = nullptr;
};

// "null", or "#<Id> <ProductName>" for an identity.
std::string origin_name(const twain::TW_IDENTITY* identity);

}  // namespace twain_host
