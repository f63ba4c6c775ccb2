#include "trials/trial_log.h"


#include "trials/number_text.h"

namespace kestu {

std::string TrialLogFileName(std::string_view userId, int trialNum)
{
    std::string name(userId);
    name += '.';
    AppendInteger(name, trialNum);
    return name;
}

void AppendHeaderLine(std::string& out, ClockTime at, std::string_view kind, int switchNum)
{
    AppendInteger(out, at.Minutes);
    out += ',';
    AppendInteger(out, at.Seconds);
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

Status TrialLogWriter::Create(const std::string& path)
{
    Close();
    failReason_.clear();
    written_ = 0;
    path_ = path;
    auto created = CreateNewFile(path, wrapSink);
    if (!created) return created.fault();
    sink_ = std::move(created).value();
    return Ok();
}

bool TrialLogWriter::Finish()
{
    if (!sink_) return Healthy();
    const std::unique_ptr<FileSink> sink = std::move(sink_);
    std::string reason;
    if (Healthy() && !sink->Sync()) reason = sink->Error();
    if (!sink->Close() && reason.empty()) reason = sink->Error();
    if (!reason.empty()) Failed(reason);
    return Healthy();
}

void TrialLogWriter::Close()
{
    if (!sink_) return;
    sink_->Close();
    sink_.reset();
}

void TrialLogWriter::Discard()
{
    if (!sink_) return;
    Close();
    RemoveRegularFile(path_);
}

void TrialLogWriter::AppendLogMark(const PlantState& plant, LogKind kind)
{
    WriteRecord(plant, LogWord(kind), 0);
}

void TrialLogWriter::WriteSwitchRecord(const PlantState& plant, SwitchStatus status, int switchNum)
{
    WriteRecord(plant, LogWord(status), switchNum);
}

void TrialLogWriter::WriteRecord(const PlantState& plant, std::string_view kind, int switchNum)
{
    if (!sink_ || !Healthy()) return;
    for (const TankState& tank : plant.Tanks) {
        if (!WaterFits(tank.Water)) {
            Failed("a tank holds more water than a log can record");
            return;
        }
    }
    buffer_.clear();
    AppendHeaderLine(buffer_, plant.Clock, kind, switchNum);
    AppendStateLine(buffer_, plant);
    if (!sink_->Write(buffer_)) {
        const std::string reason = sink_->Error();
        sink_->Truncate(written_);  // the log keeps only whole records
        Failed(reason);
        return;
    }
    written_ += static_cast<long long>(buffer_.size());
}

void TrialLogWriter::Failed(const std::string& reason)
{
    if (!Healthy()) return;
    failReason_ = reason.empty() ? "unknown error" : reason;
    if (onFailure) onFailure(failReason_);
}

}  // namespace kestu
