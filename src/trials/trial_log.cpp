#include "trials/trial_log.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "trials/number_text.h"

namespace kestu {

std::string TrialLogFileName(std::string_view userId, int trialNum)
{
    std::string name(userId);
    name += '.';
    AppendInteger(name, trialNum);
    return name;
}

void AppendHeaderLine(std::string& out, int minutes, int seconds, std::string_view kind, int switchNum)
{
    AppendInteger(out, minutes);
    out += ',';
    AppendInteger(out, seconds);
    out += ",\"";
    out += kind;
    out += "\",";
    AppendInteger(out, switchNum);
    out += "\r\n";
}

void AppendStateLine(std::string& out, const PlantState& plant)
{
    for (int t = 0; t < TankCount; ++t) {
        // Both switches of a tank carry the same water text; format it once.
        std::string water;
        AppendWaterTenths(water, plant.Tanks[t].Water);
        for (int i = 2 * t; i <= 2 * t + 1; ++i) {
            if (i > 0) out += ',';
            AppendInteger(out, i);
            out += ',';
            AppendInteger(out, plant.PumpState[i]);
            out += ',';
            out += water;
        }
    }
    out += "\r\n";
}

bool TrialLogWriter::Open(const std::string& path)
{
    Close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    path_ = path;
    healthy_ = fd_ >= 0;
    return fd_ >= 0;
}

void TrialLogWriter::Close()
{
    if (fd_ >= 0) {
        if (::close(fd_) != 0) healthy_ = false;
        fd_ = -1;
    }
}

void TrialLogWriter::AppendLogMark(const PlantState& plant, std::string_view kind)
{
    WriteRecord(plant, plant.SimMinutes, plant.SimSeconds, kind, 0);
}

void TrialLogWriter::WriteSwitchRecord(const PlantState& plant, SwitchStatus status, int switchNum)
{
    WriteRecord(plant, plant.SimMinutes, plant.SimSeconds, LogWord(status), switchNum);
}

void TrialLogWriter::WriteRecord(const PlantState& plant, int minutes, int seconds, std::string_view kind,
                                 int switchNum)
{
    if (fd_ < 0) return;
    buffer_.clear();
    AppendHeaderLine(buffer_, minutes, seconds, kind, switchNum);
    AppendStateLine(buffer_, plant);
    const char* p = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            healthy_ = false;
            return;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

}  // namespace kestu
