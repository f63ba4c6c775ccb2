#include "analysis/water_chart.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <array>
#include <map>
#include <set>

#include "analysis/chart_scale.h"
#include "analysis/plain_number.h"
#include "analysis/tank_palette.h"

namespace kestu::analysis {

namespace {

constexpr int LegendWidth = 230;
constexpr int MarginLeft = 80, MarginTop = 100, MarginBottom = 80, MarginRight = 24;

QString Clock(ClockTime t) { return QString::fromStdString(FormatClock(t)); }

struct Frame {
    QRectF plot;
    double xMax = 1, yMin = 0, yMax = 1;
    QPointF At(double tick, double water) const
    {
        return {plot.left() + tick / xMax * plot.width(),
                plot.bottom() - (water - yMin) / (yMax - yMin) * plot.height()};
    }
};

// A mark as drawn: where, in which colour, and its label.
struct DrawnMark {
    long long tick;
    LogKind kind;
    QString label;
};

QRgb MarkColour(LogKind kind)
{
    if (kind == LogKind::Save) return SaveMarkColour;
    return kind == LogKind::Restore ? RestoreMarkColour : StopMarkColour;
}

// Saves and restores wherever they were applied; a STOP only when it ended
// the trial before its end time (the last row then).
std::vector<DrawnMark> MarksToDraw(const TickSeries& series)
{
    std::vector<DrawnMark> marks;
    for (const TickRow& row : series.rows) {
        for (const SeriesMark& mark : row.marks) {
            if (mark.kind == LogKind::Save) marks.push_back({row.tick, mark.kind, "FF " + Clock(mark.clock)});
            if (mark.kind == LogKind::Restore)
                marks.push_back({row.tick, mark.kind, QStringLiteral("FFR \u2192 ") + Clock(mark.clock)});
            if (mark.kind == LogKind::Stop && series.replay.endedByStop && &row == &series.rows.back())
                marks.push_back({row.tick, mark.kind, "STOP " + Clock(mark.clock)});
        }
    }
    return marks;
}

// Ticks along the bottom, each with the clock the plant showed then.
void DrawAxes(QPainter& p, const Frame& f, const TickSeries& series, const std::vector<int>& xTicks,
              const std::vector<double>& yTicks)
{
    const QFontMetrics metrics(p.font());
    p.setPen(QPen(QColor(0xe4e4e4), 1));
    for (int t : xTicks) p.drawLine(f.At(t, f.yMin), f.At(t, f.yMax));
    for (double w : yTicks) p.drawLine(f.At(0, w), f.At(f.xMax, w));

    p.setPen(QPen(Qt::black, 1));
    p.drawRect(f.plot);
    for (int t : xTicks) {
        const QPointF at = f.At(t, f.yMin);
        p.drawLine(at, at + QPointF(0, 5));
        QString label = QString::number(t);
        if (static_cast<std::size_t>(t) < series.rows.size()) label += "\n" + Clock(series.rows[t].clock);
        p.drawText(QRectF(at.x() - 40, at.y() + 7, 80, 2 * metrics.height()), Qt::AlignHCenter | Qt::AlignTop, label);
    }
    for (double w : yTicks) {
        const QPointF at = f.At(0, w);
        p.drawLine(at, at - QPointF(5, 0));
        p.drawText(QRectF(at.x() - 70, at.y() - metrics.height() / 2.0, 62, metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(PlainNumber(w)));
    }
    p.drawText(QRectF(f.plot.left(), f.plot.bottom() + 10 + 2 * metrics.height(), f.plot.width(), metrics.height() + 4),
               Qt::AlignHCenter, QStringLiteral("ticks since the start, and the clock shown then (mm:ss)"));
    p.save();
    p.translate(f.plot.left() - 62, f.plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-150, -metrics.height(), 300, metrics.height() + 4), Qt::AlignHCenter,
               QStringLiteral("water (buckets)"));
    p.restore();
}

void DrawTankLines(QPainter& p, const Frame& f, const TickSeries& series)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int tank = 0; tank < TankCount; ++tank) {
        QPolygonF line;
        for (const TickRow& row : series.rows) line << f.At(static_cast<double>(row.tick), row.water[tank]);
        p.setPen(QPen(TankColour(tank), 1.6, TankLineStyle(tank), Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(line);
    }
}

// A line across the plot at each mark, labelled inside its top: right of
// the line, or left of it where the plot ends. Labels of marks close
// together step down so they do not overlap.
void DrawMarks(QPainter& p, const Frame& f, const std::vector<DrawnMark>& marks)
{
    const QFontMetrics metrics(p.font());
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const DrawnMark& mark = marks[i];
        p.setPen(QPen(QColor(MarkColour(mark.kind)), 2, Qt::DashDotLine));
        const QPointF top = f.At(static_cast<double>(mark.tick), f.yMax);
        p.drawLine(top, f.At(static_cast<double>(mark.tick), f.yMin));
        const double width = metrics.horizontalAdvance(mark.label) + 2;
        const double x = top.x() + 4 + width <= f.plot.right() ? top.x() + 4 : top.x() - 4 - width;
        const double y = top.y() + 4 + static_cast<double>(i % 3) * (metrics.height() + 2);
        p.drawText(QRectF(x, y, width, metrics.height()), Qt::AlignLeft | Qt::AlignTop, mark.label);
    }
}

QPolygonF Diamond(QPointF centre, double r)
{
    return QPolygonF({centre + QPointF(0, -r), centre + QPointF(r, 0), centre + QPointF(0, r), centre + QPointF(-r, 0)});
}

// A dashed guide at each tick that judged deadlines, naming the tanks due
// above the plot, and a diamond on each tank's line where it was judged.
void DrawDeadlines(QPainter& p, const Frame& f, const std::vector<JudgedDeadline>& judged)
{
    std::map<long long, QStringList> tanksDue;
    for (const JudgedDeadline& j : judged) tanksDue[j.tick] << QString::number(j.tank);
    const QFontMetrics metrics(p.font());
    // Labels go above the plot, centred on their guide and kept on the
    // image, each in the lowest of three rows where it overlaps no other.
    std::array<double, 3> rowEnds{-1e9, -1e9, -1e9};
    for (const auto& [tick, tanks] : tanksDue) {
        p.setPen(QPen(QColor(DeadlineGuideColour), 1, Qt::DashLine));
        p.drawLine(f.At(static_cast<double>(tick), f.yMin), f.At(static_cast<double>(tick), f.yMax));
        p.setPen(Qt::black);
        const QPointF top = f.At(static_cast<double>(tick), f.yMax);
        const QString label = "due: " + tanks.join(QStringLiteral(", "));
        const double width = metrics.horizontalAdvance(label) + 2;
        const double x = std::max(4.0, top.x() - width / 2);
        std::size_t row = 0;
        while (row + 1 < rowEnds.size() && x < rowEnds[row] + 6) ++row;
        rowEnds[row] = x + width;
        const double y = top.y() - static_cast<double>(row + 1) * (metrics.height() + 2);
        p.drawText(QRectF(x, y, width, metrics.height()), Qt::AlignLeft | Qt::AlignBottom, label);
    }
    for (const JudgedDeadline& j : judged) {
        p.setPen(QPen(Qt::black, 1.2));
        p.setBrush(TankColour(j.tank));
        p.drawPolygon(Diamond(f.At(static_cast<double>(j.tick), j.water), 7));
    }
    p.setBrush(Qt::NoBrush);
}

// Each tank with the clock and owed buckets of its last judgement (and how
// often it was judged, when a restore judged it again), then the marks drawn.
void DrawLegend(QPainter& p, const QRectF& area, const std::vector<JudgedDeadline>& judged,
                const std::vector<DrawnMark>& marks)
{
    std::map<int, JudgedDeadline> lastJudged;
    std::map<int, int> timesJudged;
    for (const JudgedDeadline& j : judged) lastJudged[j.tank] = j, ++timesJudged[j.tank];
    std::set<LogKind> kinds;
    for (const DrawnMark& mark : marks) kinds.insert(mark.kind);

    const QFontMetrics metrics(p.font());
    const double rowHeight = std::min<double>(area.height() / (TankCount + 5), metrics.height() + 8);
    p.setPen(Qt::black);
    p.drawText(QRectF(area.left(), area.top(), area.width(), rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("tank   judged (buckets owed)"));
    for (int tank = 0; tank < TankCount; ++tank) {
        const double y = area.top() + (tank + 1) * rowHeight + rowHeight / 2;
        p.setPen(QPen(TankColour(tank), 2.5, TankLineStyle(tank)));
        p.drawLine(QPointF(area.left(), y), QPointF(area.left() + 34, y));
        QString label = QString::number(tank);
        if (const auto found = lastJudged.find(tank); found != lastJudged.end()) {
            p.setPen(QPen(Qt::black, 1.2));
            p.setBrush(TankColour(tank));
            p.drawPolygon(Diamond(QPointF(area.left() + 70, y), 6));
            p.setBrush(Qt::NoBrush);
            label += QStringLiteral("       ") + Clock(found->second.clock) + " (" +
                     QString::number(found->second.owed) + ")";
            if (timesJudged[tank] > 1) label += QStringLiteral(" \u00d7") + QString::number(timesJudged[tank]);
        }
        p.setPen(Qt::black);
        p.drawText(QRectF(area.left() + 42, y - rowHeight / 2, area.width() - 42, rowHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, label);
    }
    double y = area.top() + (TankCount + 1) * rowHeight + rowHeight;
    for (LogKind kind : {LogKind::Save, LogKind::Restore, LogKind::Stop}) {
        if (!kinds.contains(kind)) continue;
        p.setPen(QPen(QColor(MarkColour(kind)), 2, Qt::DashDotLine));
        p.drawLine(QPointF(area.left(), y), QPointF(area.left() + 34, y));
        p.setPen(Qt::black);
        const QString what = kind == LogKind::Save      ? QStringLiteral("FF: snapshot saved")
                             : kind == LogKind::Restore ? QStringLiteral("FFR: snapshot restored")
                                                        : QStringLiteral("STOP: trial ended early");
        p.drawText(QRectF(area.left() + 42, y - rowHeight / 2, area.width() - 42, rowHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, what);
        y += rowHeight;
    }
}

}  // namespace

QImage DrawWaterChart(const TickSeries& series, const WaterChartText& text, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    QFont font = p.font();
    font.setFamily(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    p.setFont(font);

    double low = 0, high = 1;
    for (const TickRow& row : series.rows)
        for (double w : row.water) low = std::min(low, w), high = std::max(high, w);
    const long long lastTick = series.rows.empty() ? 1 : std::max<long long>(series.rows.back().tick, 1);

    // To one tick past the last at least, so that a STOP there is not drawn on the frame.
    const std::vector<int> xTicks = ClockTicks(static_cast<int>(lastTick) + 1, 12);
    const std::vector<double> yTicks = NiceTicks(low, high, 8);
    Frame frame;
    frame.plot = QRectF(MarginLeft, MarginTop, width - MarginLeft - MarginRight - LegendWidth,
                        height - MarginTop - MarginBottom);
    frame.xMax = xTicks.back();
    frame.yMin = yTicks.front();
    frame.yMax = yTicks.back();

    QFont titleFont = font;
    titleFont.setPixelSize(18);
    titleFont.setBold(true);
    p.setFont(titleFont);
    p.drawText(QRectF(MarginLeft, 8, width - MarginLeft, 26), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromStdString(text.title));
    p.setFont(font);
    p.drawText(QRectF(MarginLeft, 34, width - MarginLeft, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromStdString(text.subtitle));

    const std::vector<DrawnMark> marks = MarksToDraw(series);
    DrawAxes(p, frame, series, xTicks, yTicks);
    p.save();
    p.setClipRect(frame.plot.adjusted(-1, -1, 1, 1));
    DrawTankLines(p, frame, series);
    DrawMarks(p, frame, marks);
    p.restore();
    DrawDeadlines(p, frame, series.judged);
    DrawLegend(p, QRectF(width - LegendWidth + 12, MarginTop, LegendWidth - 16, frame.plot.height()), series.judged,
               marks);
    p.end();
    return image;
}

}  // namespace kestu::analysis
