#pragma once
// Capability values and the containers they travel in (TW_ONEVALUE, TW_ENUMERATION, TW_RANGE,
// TW_ARRAY). A source allocates the container of a MSG_GET answer with the Source Manager's
// allocator and the application frees it; for MSG_SET the application's container is read.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "sane_backend/protocol/twain_codes.hpp"
#include "sane_backend/source/dsm_link.hpp"

namespace sane_backend {

// A rectangle in the application's units.
struct Frame {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// One item: integers and booleans, TW_FIX32 numbers, or a frame.
using Item = std::variant<std::int64_t, double, Frame>;

std::optional<std::int64_t> integer_of(const Item& item);
std::optional<double> number_of(const Item& item);  // integers and fixed-point numbers

// What a MSG_GET-type answer holds.
struct Answer {
    twain::TW_UINT16 container = twain::TWON_ONEVALUE;
    twain::TW_UINT16 item_type = twain::TWTY_INT32;
    std::vector<Item> items;        // ONEVALUE: one; ENUMERATION and ARRAY: all
    std::size_t current = 0;        // ENUMERATION
    std::size_t default_index = 0;  // ENUMERATION
    // RANGE: lowest, highest, step, default, current.
    double range[5] = {0, 0, 0, 0, 0};

    static Answer one(twain::TW_UINT16 type, Item item);
    static Answer enumeration(twain::TW_UINT16 type, std::vector<Item> items, std::size_t current,
                              std::size_t default_index);
    static Answer array(twain::TW_UINT16 type, std::vector<Item> items);
    static Answer range_of(twain::TW_UINT16 type, double lowest, double highest, double step, double default_value,
                           double current);
};

// Allocates the container for answer and hands it over in capability (ConType, hContainer);
// false when no memory could be had.
bool put_answer(const DsmLink& dsm, twain::TW_CAPABILITY& capability, const Answer& answer);

// The value a MSG_SET container carries: a one-value item, or the current item of an
// enumeration or range. Integer item types stand in for each other, and integers and TW_FIX32
// numbers for each other; empty when the container holds nothing usable.
std::optional<Item> value_to_set(const DsmLink& dsm, const twain::TW_CAPABILITY& capability);

}  // namespace sane_backend
