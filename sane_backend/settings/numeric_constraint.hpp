#pragma once
// The values a number may take: anything, a range with an optional step, or a list. Both the
// SANE device's option constraints and the resolutions the scanner bundle names end up here, so
// that "is this allowed" and "what is the nearest allowed value" are answered in one place.

#include <optional>
#include <vector>

namespace sane_backend {

class NumericConstraint {
public:
    enum class Kind { Any, Range, List };

    static NumericConstraint any();
    // step 0 means any value between lowest and highest.
    static NumericConstraint range(double lowest, double highest, double step);
    // The list is sorted and duplicates dropped; an empty list allows nothing.
    static NumericConstraint list(std::vector<double> values);

    Kind kind() const { return kind_; }
    double lowest() const { return lowest_; }
    double highest() const { return highest_; }
    double step() const { return step_; }
    const std::vector<double>& values() const { return values_; }
    bool empty() const { return kind_ == Kind::List && values_.empty(); }

    // Allowed within the precision of the protocols' fixed-point numbers (1/65536).
    bool allows(double value) const;
    // The allowed value closest to value (the lower one on a tie); empty when nothing is allowed.
    std::optional<double> nearest(double value) const;
    // Whether value lies between the lowest and highest allowed values.
    bool spans(double value) const;

private:
    Kind kind_ = Kind::Any;
    double lowest_ = 0;
    double highest_ = 0;
    double step_ = 0;
    std::vector<double> values_;
};

}  // namespace sane_backend
