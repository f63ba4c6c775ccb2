#include "kestuctl/progress_bar.h"

#include <algorithm>
#include <ostream>

namespace kestu::ctl {

namespace {
constexpr int BarWidth = 30;
}

ProgressBar::ProgressBar(Console& console, std::string what, long long total)
    : console_(console), what_(std::move(what)), total_(std::max(total, 1LL))
{
    Update(0);
}

void ProgressBar::Update(long long done)
{
    if (!console_.showProgress || finished_) return;
    done = std::clamp(done, 0LL, total_);
    const int percent = static_cast<int>(done * 100 / total_);
    if (percent == shownPercent_) return;  // redrawing on every item would cost more than the work
    shownPercent_ = percent;
    const int filled = static_cast<int>(done * BarWidth / total_);
    console_.err << "\r" << what_ << " [" << std::string(filled, '#') << std::string(BarWidth - filled, '.') << "] "
                 << percent << "% " << done << "/" << total_ << std::flush;
}

void ProgressBar::Finish()
{
    if (finished_) return;
    finished_ = true;
    if (console_.showProgress) console_.err << "\n" << std::flush;
}

}  // namespace kestu::ctl
