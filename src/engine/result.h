#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace kestu {

// Why an operation failed: the message as the user reads it, and where the
// fault lies when it lies in a file or a table (its path or name, the line
// or row counted from 1, the field or column by name), so a caller can point
// at it without parsing the message.
struct Fault {
    std::string message;
    std::string file = {};
    std::optional<std::size_t> line = {};
    std::string field = {};
};

// The outcome of an operation that can fail: a value, or the fault.
template <typename T>
class Result {
public:
    Result(T value) : outcome_(std::in_place_index<0>, std::move(value)) {}
    Result(Fault fault) : outcome_(std::in_place_index<1>, std::move(fault)) {}

    static Result Ok(T value) { return Result(std::move(value)); }
    static Result Fail(std::string message) { return Result(Fault{std::move(message), {}, {}, {}}); }

    bool ok() const { return outcome_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only valid when ok().
    T& value() & { return std::get<0>(outcome_); }
    const T& value() const& { return std::get<0>(outcome_); }
    T&& value() && { return std::get<0>(std::move(outcome_)); }

    // Only valid when !ok().
    const Fault& fault() const { return std::get<1>(outcome_); }
    // The message; empty when ok().
    const std::string& error() const
    {
        static const std::string none;
        return ok() ? none : fault().message;
    }

private:
    std::variant<T, Fault> outcome_;
};

// For operations that give nothing back but success or a fault.
using Status = Result<std::monostate>;
inline Status Ok() { return Status(std::monostate{}); }

}  // namespace kestu
