#include "ui/plant_view.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

namespace kestu::ui {

namespace {
const QColor WaterBlue(0, 0, 255);
const QColor SurfaceCyan(0, 255, 255);
const QColor PipeInside(255, 255, 255);
const QColor TankNumberColour(70, 70, 70);
}  // namespace

PlantView::PlantView(const PlantModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    setObjectName(QStringLiteral("PlantView"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void PlantView::SetScale(const TwipScale& scale)
{
    scale_ = scale;
    update();
}

void PlantView::UpdateTwips(const QRect& twips)
{
    update(scale_.ToPixels(twips).adjusted(-2, -2, 2, 2));
}

QFont PlantView::TankNumberFont() const
{
    QFont numberFont = font();
    numberFont.setPixelSize(PlantLayout::TankNumberHeight);  // in twips: the painter is scaled to the design
    return numberFont;
}

QRectF PlantView::TankNumberArea(int tank) const
{
    const QRect box = model_.layout().TankNumber(tank);
    const QFontMetricsF metrics(TankNumberFont());
    const QRectF line = metrics.boundingRect(QRectF(box), Qt::AlignLeft | Qt::AlignVCenter, QString::number(tank));
    return QRectF(scale_.Offset() + line.topLeft() * scale_.PixelsPerTwip(), line.size() * scale_.PixelsPerTwip());
}

// Each tank's number, small, so the participant can tell which tank a deadline belongs to.
void PlantView::DrawTankNumbers(QPainter& p, const PlantLayout& layout) const
{
    p.setFont(TankNumberFont());
    p.setPen(TankNumberColour);
    for (int t = 0; t < TankCount; ++t)
        p.drawText(layout.TankNumber(t), Qt::AlignLeft | Qt::AlignVCenter, QString::number(t));
}

void PlantView::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.setClipRegion(event->region());
    p.translate(scale_.Offset());
    p.scale(scale_.PixelsPerTwip(), scale_.PixelsPerTwip());
    const PlantLayout& layout = model_.layout();
    const auto& segments = layout.Segments();
    constexpr int wall = PlantLayout::PipeWall;

    // Pipes: walls first, then the insides over them, so joints merge cleanly.
    for (const QRect& c : layout.Connectors()) p.fillRect(c.adjusted(-wall, -wall, wall, wall), Qt::black);
    for (const PipeSegment& s : segments) p.fillRect(s.rect.adjusted(-wall, -wall, wall, wall), Qt::black);
    for (const QRect& c : layout.Connectors()) p.fillRect(c, PipeInside);
    for (const PipeSegment& s : segments) p.fillRect(s.rect, PipeInside);
    for (std::size_t i = 0; i < segments.size(); ++i)
        if (model_.SegmentVisible(i)) p.fillRect(segments[i].rect, WaterBlue);

    QPen outline(Qt::black);
    outline.setCosmetic(true);
    for (int t = 0; t < TankCount; ++t) {
        const QRect tank = layout.TankOutline(t);
        const TankGauge& g = model_.Tank(t);
        if (g.fillVisible) p.fillRect(QRect(g.left, g.top, g.width, g.height), WaterBlue);
        p.setPen(outline);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(tank));
        if (g.lineVisible) {
            QPen surface(g.lineColour == SurfaceColour::Cyan ? SurfaceCyan : WaterBlue);
            surface.setCosmetic(true);
            surface.setWidthF(1.5);
            p.setPen(surface);
            p.drawLine(QPointF(g.left, g.lineY), QPointF(g.left + g.width, g.lineY));
        }
    }
    DrawTankNumbers(p, layout);

    p.setPen(outline);
    for (int s = 0; s < SwitchCount; ++s) {
        p.setBrush(LampColour(model_.Lamp(s)));
        p.drawRect(QRectF(layout.Lamp(s)));
    }
}

}  // namespace kestu::ui
