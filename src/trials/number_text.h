#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/plant_state.h"  // WaterFits: the range every water amount in a file keeps

namespace kestu {

// Numbers as the trial log and the snapshot file write them: bare, "." as the
// decimal point, no leading zero below 1 (".5", "-.5"), whole values without a
// point, at most 15 significant digits, and the exponent form ("1E-06",
// "1.11022302462516E-16") where the decimal exponent is below -5 or at least 15.
std::string FormatNumber(double value);
void AppendNumber(std::string& out, double value);
void AppendInteger(std::string& out, long long value);

// Water in a state line: rounded to one decimal, halves away from zero, a half
// being judged on the value's 15-significant-digit form; then written as above.
void AppendWaterTenths(std::string& out, double water);

// Reads a number written by FormatNumber (or any plain decimal / exponent text).
std::optional<double> ParseNumber(std::string_view text);
std::optional<long long> ParseInteger(std::string_view text);

}  // namespace kestu
