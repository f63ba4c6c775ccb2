#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace kestu {

// The outcome of a database operation: a value, or a plain-language message
// that says which file (and, where the data is at fault, which table, column
// and row) caused the failure.
template <typename T>
class DbResult {
public:
    static DbResult Ok(T value) { return DbResult(std::move(value), {}); }
    static DbResult Fail(std::string error) { return DbResult(std::nullopt, std::move(error)); }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }

    // Only valid when ok().
    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }

    // Empty when ok().
    const std::string& error() const { return error_; }

private:
    DbResult(std::optional<T> value, std::string error) : value_(std::move(value)), error_(std::move(error)) {}

    std::optional<T> value_;
    std::string error_;
};

// For operations that return nothing but success or a message.
using DbStatus = DbResult<std::monostate>;

inline DbStatus DbOk() { return DbStatus::Ok({}); }

}  // namespace kestu
