#pragma once

// The lab page's HTML, CSS and script, compiled into the program: nothing
// is fetched from anywhere when the page opens.

#include <string>

#include "kestuctl/lab_page/lab_board.h"

namespace kestu::lab {

// The seat page: one tile per seat, drawn by its script from /events.
const std::string& SeatPageHtml();

// The participants with their trials, each trial linked to its chart and
// its per-tick CSV; `tokenQuery` ("?token=..." or empty) goes on every link.
std::string ParticipantsHtml(const LabSnapshot& snapshot, const std::string& tokenQuery);

// Text made safe to stand in HTML, in an element or an attribute.
std::string HtmlEscaped(const std::string& text);

}  // namespace kestu::lab
