#include "monitor/netport/dotted_quad_string.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace monitor {

std::optional<std::string> CreateDottedQuadString(std::uint32_t networkOrderAddress) {
    // inet_ntop writes into the caller's buffer, where inet_ntoa would share one between threads.
    in_addr address{};
    address.s_addr = networkOrderAddress;
    char text[INET_ADDRSTRLEN] = {};
    if (!::inet_ntop(AF_INET, &address, text, sizeof text)) return std::nullopt;
    return std::string(text);
}

}  // namespace monitor
