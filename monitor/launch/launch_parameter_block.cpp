#include "monitor/launch/launch_parameter_block.hpp"

namespace monitor {

namespace {

std::optional<std::size_t> testLimit;

}  // namespace

std::optional<LaunchParameterBlock> LaunchParameterBlock::Allocate(std::size_t size) {
    if (testLimit && size > *testLimit) return std::nullopt;
    // malloc(0) may answer null; a block of one byte stands for an empty one.
    auto* block = static_cast<std::byte*>(std::malloc(size == 0 ? 1 : size));
    if (!block) return std::nullopt;
    return LaunchParameterBlock(block, size);
}

void SetLaunchParameterLimitForTesting(std::optional<std::size_t> limit) { testLimit = limit; }

}  // namespace monitor
