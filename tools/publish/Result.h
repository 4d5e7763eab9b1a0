// What a step of the release tool gives back: its value, or the failure that stopped it,
// with the problem said in words that name the file or option at fault.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace publish {

// What kind of failure it is, which decides the exit code (ExitCode).
enum class Fault {
    Refused,     // the input is not one the tool publishes or passes
    Usage,       // a value given on the command line is wrong
    Damaged,     // a list, signature or history is not as the tool wrote it
    InputOutput, // the system failed to read, write or fetch
};

// The exit codes of quorvel-publish: 0 done, then one for each kind of failure.
constexpr int kExitDone = 0;
inline int ExitCode(Fault fault) {
    switch (fault) {
    case Fault::Refused:
        return 1;
    case Fault::Usage:
        return 2;
    case Fault::Damaged:
        return 3;
    case Fault::InputOutput:
        return 4;
    }
    return 1;
}

struct Failure {
    Fault fault = Fault::Refused;
    std::string problem;
};

inline Failure Refusal(std::string problem) {
    return Failure{Fault::Refused, std::move(problem)};
}
inline Failure Damage(std::string problem) {
    return Failure{Fault::Damaged, std::move(problem)};
}
inline Failure IoFailure(std::string problem) {
    return Failure{Fault::InputOutput, std::move(problem)};
}

template <class T> class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Failure failure) : failure_(std::move(failure)) {}

    explicit operator bool() const { return value_.has_value(); }
    const T& operator*() const { return *value_; }
    T& operator*() { return *value_; }
    const T* operator->() const { return &*value_; }
    const Failure& failure() const { return *failure_; }
    const std::string& problem() const { return failure_->problem; }

    // The same failure, with more said after its problem.
    Failure With(const std::string& more) const {
        return Failure{failure_->fault, failure_->problem + more};
    }

private:
    std::optional<T> value_;
    std::optional<Failure> failure_;
};

// The value of a step that yields nothing but its success.
struct Done {};
using Status = Result<Done>;

} // namespace publish
