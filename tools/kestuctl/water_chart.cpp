#include "kestuctl/water_chart.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <map>

#include "kestuctl/chart_scale.h"
#include "kestuctl/plain_number.h"
#include "kestuctl/tank_palette.h"
#include "scenario/deadlines.h"

namespace kestu::ctl {

namespace {

constexpr int LegendWidth = 230;
constexpr int MarginLeft = 80, MarginTop = 78, MarginBottom = 64, MarginRight = 24;

int SecondsOf(ClockTime t) { return static_cast<int>(t.TotalSeconds()); }

// A tank's deadline as the trial uses it: a later row for the same tank wins.
std::map<int, DeadlineRow> DeadlinePerTank(const std::vector<DeadlineRow>& rows)
{
    std::map<int, DeadlineRow> perTank;
    for (const DeadlineRow& row : rows) {
        if (row.TankNum >= 0 && row.TankNum < TankCount) perTank[row.TankNum] = row;
    }
    return perTank;
}

// The tank's water where its drawn line passes `second`: straight between the
// records around it, as the line is drawn.
double WaterAt(const std::vector<LoggedRecord>& records, int tank, int second)
{
    const LoggedRecord* before = nullptr;
    for (const LoggedRecord& r : records) {
        const int at = SecondsOf(r.At);
        if (at > second) {
            if (!before) return r.Water[tank];
            const int from = SecondsOf(before->At);
            const double fraction = static_cast<double>(second - from) / (at - from);
            return before->Water[tank] + fraction * (r.Water[tank] - before->Water[tank]);
        }
        before = &r;
    }
    return before ? before->Water[tank] : 0;
}

struct Frame {
    QRectF plot;
    double xMax = 1, yMin = 0, yMax = 1;
    QPointF At(double second, double water) const
    {
        return {plot.left() + second / xMax * plot.width(),
                plot.bottom() - (water - yMin) / (yMax - yMin) * plot.height()};
    }
};

void DrawAxes(QPainter& p, const Frame& f, const std::vector<int>& xTicks, const std::vector<double>& yTicks)
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
        const QString label = QString::fromStdString(FormatClock({t / 60, t % 60}));
        p.drawText(QRectF(at.x() - 40, at.y() + 7, 80, metrics.height()), Qt::AlignHCenter | Qt::AlignTop, label);
    }
    for (double w : yTicks) {
        const QPointF at = f.At(0, w);
        p.drawLine(at, at - QPointF(5, 0));
        p.drawText(QRectF(at.x() - 70, at.y() - metrics.height() / 2.0, 62, metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(PlainNumber(w)));
    }
    p.drawText(QRectF(f.plot.left(), f.plot.bottom() + 30, f.plot.width(), metrics.height() + 4), Qt::AlignHCenter,
               QStringLiteral("clock (mm:ss)"));
    p.save();
    p.translate(f.plot.left() - 62, f.plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-150, -metrics.height(), 300, metrics.height() + 4), Qt::AlignHCenter,
               QStringLiteral("water (buckets)"));
    p.restore();
}

void DrawTankLines(QPainter& p, const Frame& f, const std::vector<LoggedRecord>& records)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int tank = 0; tank < TankCount; ++tank) {
        QPolygonF line;
        for (const LoggedRecord& r : records) line << f.At(SecondsOf(r.At), r.Water[tank]);
        p.setPen(QPen(TankColour(tank), 1.6, TankLineStyle(tank), Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(line);
    }
}

QPolygonF Diamond(QPointF centre, double r)
{
    return QPolygonF({centre + QPointF(0, -r), centre + QPointF(r, 0), centre + QPointF(0, r), centre + QPointF(-r, 0)});
}

// A dashed guide at each deadline time with the tanks due then above the
// plot, and a diamond on each tank's line at its deadline.
void DrawDeadlines(QPainter& p, const Frame& f, const std::vector<LoggedRecord>& records,
                   const std::map<int, DeadlineRow>& perTank)
{
    std::map<int, QStringList> tanksDue;  // second -> tank numbers
    for (const auto& [tank, row] : perTank) tanksDue[SecondsOf(row.At)] << QString::number(tank);
    const QFontMetrics metrics(p.font());
    for (const auto& [second, tanks] : tanksDue) {
        if (second > f.xMax) continue;
        p.setPen(QPen(QColor(DeadlineGuideColour), 1, Qt::DashLine));
        p.drawLine(f.At(second, f.yMin), f.At(second, f.yMax));
        p.setPen(Qt::black);
        const QPointF top = f.At(second, f.yMax);
        p.drawText(QRectF(top.x() - 60, top.y() - metrics.height() - 2, 120, metrics.height()),
                   Qt::AlignHCenter | Qt::AlignBottom, "due: " + tanks.join(QStringLiteral(", ")));
    }
    for (const auto& [tank, row] : perTank) {
        const int second = SecondsOf(row.At);
        if (second > f.xMax) continue;
        p.setPen(QPen(Qt::black, 1.2));
        p.setBrush(TankColour(tank));
        p.drawPolygon(Diamond(f.At(second, WaterAt(records, tank, second)), 7));
    }
    p.setBrush(Qt::NoBrush);
}

void DrawLegend(QPainter& p, const QRectF& area, const std::map<int, DeadlineRow>& perTank)
{
    const QFontMetrics metrics(p.font());
    const double rowHeight = std::min<double>(area.height() / (TankCount + 1), metrics.height() + 8);
    p.setPen(Qt::black);
    p.drawText(QRectF(area.left(), area.top(), area.width(), rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("tank   deadline (buckets due)"));
    for (int tank = 0; tank < TankCount; ++tank) {
        const double y = area.top() + (tank + 1) * rowHeight + rowHeight / 2;
        p.setPen(QPen(TankColour(tank), 2.5, TankLineStyle(tank)));
        p.drawLine(QPointF(area.left(), y), QPointF(area.left() + 34, y));
        QString label = QString::number(tank);
        if (const auto found = perTank.find(tank); found != perTank.end()) {
            p.setPen(QPen(Qt::black, 1.2));
            p.setBrush(TankColour(tank));
            p.drawPolygon(Diamond(QPointF(area.left() + 70, y), 6));
            p.setBrush(Qt::NoBrush);
            label += QStringLiteral("       ") +
                     QString::fromStdString(FormatClock(found->second.At)) + " (" +
                     QString::number(found->second.ExpectAmt) + ")";
        }
        p.setPen(Qt::black);
        p.drawText(QRectF(area.left() + 42, y - rowHeight / 2, area.width() - 42, rowHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, label);
    }
}

}  // namespace

QImage DrawWaterChart(const std::vector<LoggedRecord>& records, const std::vector<DeadlineRow>& deadlines,
                      const WaterChartText& text, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    QFont font = p.font();
    font.setFamily(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    p.setFont(font);

    const std::map<int, DeadlineRow> perTank = DeadlinePerTank(deadlines);
    int lastSecond = 1;
    double low = 0, high = 1;
    for (const LoggedRecord& r : records) {
        lastSecond = std::max(lastSecond, SecondsOf(r.At));
        for (double w : r.Water) low = std::min(low, w), high = std::max(high, w);
    }
    for (const auto& [tank, row] : perTank) lastSecond = std::max(lastSecond, SecondsOf(row.At));

    const std::vector<int> xTicks = ClockTicks(lastSecond, 12);
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

    DrawAxes(p, frame, xTicks, yTicks);
    p.save();
    p.setClipRect(frame.plot.adjusted(-1, -1, 1, 1));
    DrawTankLines(p, frame, records);
    p.restore();
    DrawDeadlines(p, frame, records, perTank);
    DrawLegend(p, QRectF(width - LegendWidth + 12, MarginTop, LegendWidth - 16, frame.plot.height()), perTank);
    p.end();
    return image;
}

}  // namespace kestu::ctl
