#pragma once

// The study report: one HTML file that holds everything it shows (styles,
// pictures drawn as inline SVG, no script), printable to PDF from a browser.
// Its figures are also kept in the file as JSON, in
// <script type="application/json" id="figures">, for programs that read it.

#include <cstdint>
#include <optional>
#include <string>

#include "analysis/distribution.h"
#include "analysis/study_review.h"

namespace kestu::analysis {

// The random-click baseline drawn behind each learning curve: the missed
// buckets of `trials` Random-method trials of the study's scenario, seed `seed`.
struct ReportBaseline {
    long long trials = 0;
    std::uint64_t seed = 1;
    Distribution missed;
};

// `database` names the study as the reader should see it.
std::string StudyReportHtml(const StudyReview& study, const ReportBaseline& baseline, const std::string& database);

// Text made safe to stand in HTML text and attribute values.
std::string HtmlEscaped(const std::string& text);

// A number with a fixed count of decimals, the same in every locale ("0.50", "-3").
std::string FixedNumber(double value, int decimals);

}  // namespace kestu::analysis
