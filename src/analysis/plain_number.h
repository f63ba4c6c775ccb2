#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestu::analysis {

// A number as plain decimal text that reads back to the same double: the
// shortest such digits, never an exponent ("0.5", "33", "-1.25").
std::string PlainNumber(double value);

// A finite number written in decimal or exponent form ("0.5", ".5", "-3",
// "1e-7", "+2"); surrounding blanks are allowed. Nothing for anything else.
std::optional<double> ParsePlainNumber(std::string_view text);

// A whole number within lo..hi written in plain decimal digits (a leading
// "-" allowed, nothing else), or nothing.
std::optional<long long> ParseWhole(std::string_view text, long long lo, long long hi);

}  // namespace kestu::analysis
