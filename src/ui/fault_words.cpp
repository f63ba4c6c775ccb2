#include "ui/fault_words.h"

#include "trials/message_text.h"
#include "trials/number_text.h"

namespace kestu {

namespace {

std::string Named(const std::string& file) { return ForMessage(file, 1000); }

// A share as the participant reads it: "0.43125", or "none" when no tick counted.
std::string ShareText(const std::optional<double>& share)
{
    if (!share) return "none";
    std::string text = FormatNumber(*share);
    if (text.rfind(".", 0) == 0) text.insert(0, "0");
    if (text.rfind("-.", 0) == 0) text.insert(1, "0");
    return text;
}

std::string NotCreated(const TrialFault& f)
{
    std::string text = "The trial log " + Named(f.File) + " cannot be created (" + f.Reason +
                       "); an existing log is never written over, so the trial cannot be set up.";
    if (f.Aside == AsideProblem::ClaimUnknown)
        text += " Whether trial " + std::to_string(f.TrialNum) + " was started cannot be read: " + f.AsideReason;
    if (f.Aside == AsideProblem::CannotMove)
        text += " It is the log of a setup that never started, but it cannot be moved aside (" + f.AsideReason + ").";
    return text;
}

std::string WriteDown(const UnrecordedResults& r)
{
    return "This trial's results could not be recorded. Please write them down and give them to the "
           "experimenter:\nUser ID: " + r.UserID + "\nTrial: " + std::to_string(r.TrialNum) +
           "\nEnd time: " + r.Result.EndTime + "\nMissed buckets: " + std::to_string(r.MissedBuckets) +
           "\nBusy time: " + ShareText(r.Result.BusyTime) + "\nSweep time: " + ShareText(r.Result.SweepTime) +
           "\nIdle time: " + ShareText(r.Result.IdleTime);
}

const char* const GoesOn = "\nThe simulation goes on from where it is.";

}  // namespace

std::string FaultSentence(const TrialFault& f)
{
    switch (f.What) {
    case FaultKind::PlantNotLoaded:
        return "The plant cannot be loaded:\n" + f.Reason;
    case FaultKind::SetupImpossible:
        return "The trial cannot be set up:\n" + f.Reason;
    case FaultKind::LogNotCreated:
        return NotCreated(f);
    case FaultKind::UnclaimedLogSetAside:
        return "The trial log " + Named(f.File) + " is from a setup of trial " + std::to_string(f.TrialNum) +
               " that never started; it has been moved aside as " + Named(f.OtherFile) +
               " and the trial is set up afresh.";
    case FaultKind::LogNotWritten:
        return "The trial log " + Named(f.File) + " cannot be written (" + f.Reason +
               "), so the trial has been stopped. The log keeps every record written before the fault; "
               "the trial's results are not recorded.";
    case FaultKind::StoreFailed:
        return "The experiment database could not record this trial:\n" + f.Reason;
    case FaultKind::ResultsKept:
        return "The study's server cannot be reached, so this trial's results are kept on this computer, in " +
               Named(f.File) + ", and are delivered at the next start of Kestu or by kestuctl sync.";
    case FaultKind::ResultsNotRecorded:
        return f.Unrecorded ? WriteDown(*f.Unrecorded) : "This trial's results could not be recorded.";
    case FaultKind::LogCopyNotKept:
        return "The experiment database recorded this trial's results but could not keep a copy of its log; "
               "the log is in " + Named(f.File) + ".";
    case FaultKind::SnapshotNotWritten:
        return "The snapshot file " + Named(f.File) + " cannot be written (" + f.Reason + "), so no snapshot is held.";
    case FaultKind::SnapshotNotOurs:
        return "The snapshot file " + Named(f.File) + " is not the one this trial saved." + GoesOn;
    case FaultKind::SnapshotUnreadable:
        return "The snapshot file " + Named(f.File) + " " + f.Reason + "." + GoesOn;
    case FaultKind::ReplayImpossible:
        return "Trial " + std::to_string(f.TrialNum) + " cannot be replayed:\n" + f.Reason;
    }
    return f.Reason;
}

}  // namespace kestu
