#pragma once

#include <QWidget>

#include "ui/plant_model.h"
#include "ui/twip_scale.h"

namespace kestu::ui {

// Paints the plant (pipes and their water, tanks, lamps) from the display
// model, scaled to the window. Transparent, so the window's colour shows
// around the drawing.
class PlantView : public QWidget {
    Q_OBJECT
public:
    PlantView(const PlantModel& model, QWidget* parent);

    void SetScale(const TwipScale& scale);
    // Repaints only the given part of the design area.
    void UpdateTwips(const QRect& twips);
    // Where the tank's number is drawn at the current size: the box of its
    // line of text, in this widget's pixels.
    QRectF TankNumberArea(int tank) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void DrawTankNumbers(QPainter& p, const PlantLayout& layout) const;
    QFont TankNumberFont() const;

    const PlantModel& model_;
    TwipScale scale_;
};

}  // namespace kestu::ui
