#include "sane_backend/settings/numeric_constraint.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sane_backend {

namespace {
// Half of the smallest fixed-point step: values closer than this are the same value.
constexpr double kSame = 1.0 / 131072.0;
}  // namespace

NumericConstraint NumericConstraint::any() {
    NumericConstraint constraint;
    constraint.lowest_ = std::numeric_limits<double>::lowest();
    constraint.highest_ = std::numeric_limits<double>::max();
    return constraint;
}

NumericConstraint NumericConstraint::range(double lowest, double highest, double step) {
    NumericConstraint constraint;
    constraint.kind_ = Kind::Range;
    constraint.lowest_ = std::min(lowest, highest);
    constraint.highest_ = std::max(lowest, highest);
    constraint.step_ = step > 0 ? step : 0;
    return constraint;
}

NumericConstraint NumericConstraint::list(std::vector<double> values) {
    NumericConstraint constraint;
    constraint.kind_ = Kind::List;
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end(), [](double a, double b) { return std::abs(a - b) < kSame; }),
                 values.end());
    constraint.values_ = std::move(values);
    if (!constraint.values_.empty()) {
        constraint.lowest_ = constraint.values_.front();
        constraint.highest_ = constraint.values_.back();
    }
    return constraint;
}

bool NumericConstraint::allows(double value) const {
    const auto closest = nearest(value);
    return closest && std::abs(*closest - value) < kSame;
}

bool NumericConstraint::spans(double value) const {
    if (empty()) return false;
    return value > lowest_ - kSame && value < highest_ + kSame;
}

std::optional<double> NumericConstraint::nearest(double value) const {
    switch (kind_) {
        case Kind::Any: return value;
        case Kind::Range: {
            double clamped = std::clamp(value, lowest_, highest_);
            if (step_ > 0) {
                const double steps = std::floor((clamped - lowest_) / step_ + 0.5 - kSame);
                // The grid point past highest is not allowed: the last one below it is.
                clamped = lowest_ + std::max(steps, 0.0) * step_;
                if (clamped > highest_ + kSame) clamped -= step_;
            }
            return clamped;
        }
        case Kind::List: {
            if (values_.empty()) return std::nullopt;
            const auto above = std::lower_bound(values_.begin(), values_.end(), value - kSame);
            if (above == values_.end()) return values_.back();
            if (above == values_.begin()) return *above;
            const auto below = std::prev(above);
            return (value - *below) <= (*above - value) + kSame ? *below : *above;
        }
    }
    return std::nullopt;
}

}  // namespace sane_backend
