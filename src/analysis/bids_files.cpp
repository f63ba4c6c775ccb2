#include "analysis/bids_files.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <limits>

#include "analysis/plain_number.h"
#include "trials/message_text.h"

namespace kestu::analysis {

namespace {

QString Q(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string JsonText(const QJsonObject& object)
{
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QJsonObject Column(const std::string& description, const char* units = nullptr)
{
    QJsonObject column{{"Description", Q(description)}};
    if (units) column["Units"] = units;
    return column;
}

QJsonObject ColumnWithLevels(const std::string& description, const std::vector<std::pair<std::string, std::string>>& levels)
{
    QJsonObject described;
    for (const auto& [level, meaning] : levels) described[Q(level)] = Q(meaning);
    return QJsonObject{{"Description", Q(description)}, {"Levels", described}};
}

// A row of cells already checked, joined by tabs and ended by a line feed.
std::string Row(const std::vector<std::string>& cells)
{
    std::string row;
    for (std::size_t i = 0; i < cells.size(); ++i) row += (i ? "\t" : "") + cells[i];
    return row + "\n";
}

std::string Whole(long long value) { return std::to_string(value); }
template <typename T>
std::string WholeOr(const std::optional<T>& value)
{
    return value ? std::to_string(*value) : "n/a";
}

const char* StatusWord(SwitchStatus status)
{
    switch (status) {
    case SwitchStatus::Off: return "OFF";
    case SwitchStatus::Clean: return "CLEAN";
    case SwitchStatus::On: return "ON";
    case SwitchStatus::Queued: return "QUEUED";
    }
    return "";
}

std::string TypeMeaning(BidsEventType type)
{
    switch (type) {
    case BidsEventType::SetUp:
        return "The trial was set up (Setup pressed). This happens before the start, but no time of its own is "
               "recorded for it, so it stands at onset 0.";
    case BidsEventType::Started:
        return "The trial started (Start Simulation pressed): onset 0, tick 0. Clicks before the first tick carry "
               "the set-up's clock whether they came before or after the start, so they are listed before it.";
    case BidsEventType::Click:
        return "The participant clicked a switch; status is what the switch shows after the click.";
    case BidsEventType::SnapshotSaved: return "The participant saved a snapshot of the plant (feedforward).";
    case BidsEventType::SnapshotRestored:
        return "The participant went back to the saved snapshot: the plant's clock went back to restored_to, and "
               "missed_total to the total at the snapshot.";
    case BidsEventType::Deadline:
        return "A tank's deadline was judged: owed is the buckets the tank still owed, missed the buckets booked as "
               "missed. A tank without a deadline of its own is judged at 00:00 owing nothing.";
    case BidsEventType::Ended: return "The trial reached its end time.";
    case BidsEventType::Stopped: return "The window was closed before the end time; the trial stopped here.";
    case BidsEventType::CutOff:
        return "The trial's log ends here without a stop: the program was ended or a record could not be "
               "written. What followed is not known.";
    }
    return "";
}

std::string SpeedSentence(const TrialSpeed& speed)
{
    const std::string ms = std::to_string(speed.msPerTick);
    const std::string range = std::to_string(speed.lowest) + " to " + std::to_string(speed.highest);
    const std::string rate = "The trial's row in table Experiments records a SimRate of " + PlainNumber(speed.simRate) +
                             " (whole minutes a 480-tick trial takes), which the speeds of " + range +
                             " ms per tick give. ";
    if (speed.source == SpeedSource::RowTimes)
        return rate + "Its StartTime and EndTime (whole seconds) over the ticks the trial lived give " + ms +
               " ms per tick, within that range, so " + ms + " ms per tick is used; it is accurate to about one "
               "second over the whole trial.";
    return rate + "Its StartTime and EndTime give no speed within that range (the trial did not reach its end, or "
                  "ran faster than real time), so the middle of the range, " + ms +
           " ms per tick, is used; the true speed may differ from it by up to " +
           std::to_string(std::max(speed.msPerTick - speed.lowest, speed.highest - speed.msPerTick)) + " ms per tick.";
}

}  // namespace

bool IsBidsLabel(std::string_view text)
{
    if (text.empty()) return false;
    for (char c : text)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

Result<std::string> TsvCell(const std::optional<std::string>& text, const std::string& where)
{
    if (!text || text->empty()) return std::string("n/a");
    // Control bytes (a tab or a line break among them) and bytes that are not
    // UTF-8 are what a message shows escaped: a cell can hold none of them.
    if (ForMessage(*text, std::numeric_limits<std::size_t>::max()) != *text)
        return Result<std::string>::Fail(where + " holds \"" + ForMessage(*text) +
                                         "\", and a TSV cell cannot hold a tab, a line break, another control "
                                         "character or bytes that are not UTF-8");
    return *text;
}

std::string EventsStem(const std::string& label, const std::string& task, long long run)
{
    const std::string sub = "sub-" + label;
    return sub + "/beh/" + sub + "_task-" + task + "_run-" + std::to_string(run) + "_events";
}

std::string EventsTsv(const BidsRun& run)
{
    std::string tsv = Row({"onset", "duration", "trial_type", "tick", "clock", "switch", "tank", "status", "owed",
                           "missed", "missed_total", "restored_to"});
    for (const BidsEvent& e : run.events) {
        tsv += Row({OnsetSeconds(e.tick, run.speed.msPerTick), "0", BidsEventWord(e.type), Whole(e.tick),
                    FormatClock(e.clock), WholeOr(e.switchNum), WholeOr(e.tank),
                    e.status ? StatusWord(*e.status) : "n/a", WholeOr(e.owed), WholeOr(e.missed), Whole(e.missedTotal),
                    e.restoredTo ? FormatClock(*e.restoredTo) : "n/a"});
    }
    return tsv;
}

std::string EventsJson(const BidsRun& run)
{
    std::vector<std::pair<std::string, std::string>> types;
    for (BidsEventType type : AllBidsEventTypes) types.emplace_back(BidsEventWord(type), TypeMeaning(type));
    QJsonObject sidecar{
        {"onset", Column("Seconds of the trial's real time from its start: the ticks the trial had lived at the event "
                         "(column tick) times " + std::to_string(run.speed.msPerTick) +
                             " ms per tick. An event happens at or after the tick whose clock it shows and before "
                             "the next, so an onset may be up to one tick early. " +
                             SpeedSentence(run.speed),
                         "s")},
        {"duration", Column("Every event is an instant: 0.", "s")},
        {"trial_type", ColumnWithLevels("What happened.", types)},
        {"tick", Column("Ticks the trial had lived at the event, counted from its start; one tick is one second on "
                        "the plant's clock. A snapshot restore sets the clock back but not the ticks.")},
        {"clock", Column("The plant's clock at the event, minutes:seconds, as the window shows it.")},
        {"switch", Column("The switch clicked, 0 to 45 as the trial log numbers them (switches 2k and 2k+1 belong to "
                          "tank k); n/a for other events.")},
        {"tank", Column("The tank, 0 to 22: the clicked switch's tank, or the tank whose deadline was judged; n/a for "
                        "other events.")},
        {"status", ColumnWithLevels("What the clicked switch shows after the click; n/a for other events.",
                                    {{"ON", "pumping: the switch has a pump"},
                                     {"CLEAN", "its pump is cleaning before it pumps"},
                                     {"OFF", "switched off"},
                                     {"QUEUED", "waiting for a pump that is cleaning"}})},
        {"owed", Column("At a deadline: the buckets the tank still owed when it was judged; n/a for other events.",
                        "buckets")},
        {"missed", Column("At a deadline: the buckets booked as missed; n/a for other events.", "buckets")},
        {"missed_total", Column("Buckets missed in the trial so far, after the event (the score: lower is better).",
                                "buckets")},
        {"restored_to", Column("At a snapshot restore: the plant's clock the snapshot put back, minutes:seconds; n/a "
                               "for other events.")},
    };
    return JsonText(sidecar);
}

Result<std::vector<BidsFile>> BidsFiles(const BidsDataset& dataset, const std::string& name, const std::string& version)
{
    using Files = Result<std::vector<BidsFile>>;
    std::vector<BidsFile> files;

    const QJsonObject generator{
        {"Name", "kestuctl export-bids"},
        {"Version", Q(version)},
        {"Description", "Every trial's events replayed from its log by Kestu."}};
    const QJsonObject description{{"Name", Q(name)},
                                  {"BIDSVersion", BidsVersion},
                                  {"DatasetType", "raw"},
                                  {"GeneratedBy", QJsonArray{generator}}};
    files.push_back({"dataset_description.json", JsonText(description)});

    files.push_back({"README",
                     "This dataset holds the behaviour of a Kestu study: participants ran a simulated water plant "
                     "against the clock, and each trial's events were replayed from its trial log.\n\n"
                     "participants.tsv lists each participant with the answers to the questionnaire (no names)." +
                         std::string(dataset.labelsChanged
                                         ? " Participant labels are the User IDs with everything but letters and "
                                           "digits left out; column user_id keeps each original User ID.\n\n"
                                         : "\n\n") +
                         "Each run is one recorded trial; the run number is the participant's trial number. Its "
                         "events file lists the set-up, the start, each click of a switch, each snapshot saved or "
                         "restored, each deadline judged and the end. Each events sidecar describes every column "
                         "and says how the trial's speed (milliseconds per tick) was found, from which the onsets "
                         "follow.\n"});

    // participants.tsv: the mapping column only when a label differs from its User ID.
    std::vector<std::string> header{"participant_id"};
    if (dataset.labelsChanged) header.push_back("user_id");
    for (const char* column : {"age", "sex", "school_year", "major"}) header.push_back(column);
    std::string participants = Row(header);
    for (const BidsParticipant& p : dataset.participants) {
        const std::string who = "the questionnaire of " + ForMessage(p.userId) + ", ";
        std::vector<std::string> cells{"sub-" + p.label};
        const std::vector<std::pair<const char*, std::optional<std::string>>> answers{
            {"User ID", p.userId}, {"Age", p.answers.age}, {"Sex", p.answers.sex},
            {"SchoolYear", p.answers.schoolYear}, {"Major", p.answers.major}};
        for (std::size_t i = dataset.labelsChanged ? 0 : 1; i < answers.size(); ++i) {
            auto cell = TsvCell(answers[i].second,
                                i == 0 ? "User ID " + ForMessage(p.userId) : who + "column \"" + answers[i].first + "\",");
            if (!cell) return Files::Fail(cell.error());
            cells.push_back(cell.value());
        }
        participants += Row(cells);
    }
    files.push_back({"participants.tsv", participants});

    QJsonObject columns{
        {"participant_id", Column("The participant's label: the User ID with only its letters and digits.")},
        {"age", Column("Age, as answered in the questionnaire.", "year")},
        {"sex", Column("Sex, as answered in the questionnaire (it offers Male and Female).")},
        {"school_year", Column("Class status, as answered in the questionnaire (Freshmen, Sophomore, Junior, Senior, "
                               "Graduate or another answer).")},
        {"major", Column("Major subject, as answered in the questionnaire.")}};
    if (dataset.labelsChanged)
        columns["user_id"] = Column("The User ID the participant logged in with. participant_id keeps only its "
                                    "letters and digits, followed by x2, x3, ... where two User IDs would share a "
                                    "label.");
    files.push_back({"participants.json", JsonText(columns)});

    for (const BidsParticipant& p : dataset.participants) {
        for (const BidsRun& run : p.runs) {
            const std::string stem = EventsStem(p.label, dataset.task, run.trial);
            files.push_back({stem + ".tsv", EventsTsv(run)});
            files.push_back({stem + ".json", EventsJson(run)});
        }
    }
    return files;
}

}  // namespace kestu::analysis
