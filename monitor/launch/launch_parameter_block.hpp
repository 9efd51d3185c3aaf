#pragma once
// The block the launch parameters are copied into before a launch: memory that may not be
// had, so its allocation is checked rather than left to throw.

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>

namespace monitor {

class LaunchParameterBlock {
public:
    // A block of the size; nullopt when the memory cannot be had.
    static std::optional<LaunchParameterBlock> Allocate(std::size_t size);

    std::span<std::byte> Bytes() const noexcept { return {memory.get(), size}; }

private:
    struct Free {
        void operator()(std::byte* block) const noexcept { std::free(block); }
    };
    LaunchParameterBlock(std::byte* block, std::size_t blockSize)
        : memory(block), size(blockSize) {}

    std::unique_ptr<std::byte, Free> memory;
    std::size_t size;
};

// For tests: blocks larger than the limit cannot be had, as when memory runs out. Without a
// limit (the default) only the allocator decides.
void SetLaunchParameterLimitForTesting(std::optional<std::size_t> limit);

}  // namespace monitor
