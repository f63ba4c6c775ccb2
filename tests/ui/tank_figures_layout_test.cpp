// Detail Feedback's bold per-tank figures at the end of a trial: each lies on
// its own tank and leaves the tank's small number readable, at every window
// size, the same widths and heights the other layout checks use and windows
// wider or taller than the design.
#include <QStyle>

#include "ui_fixture.h"
#include "ui/plant_layout.h"
#include "ui/plant_view.h"
#include "ui/twip_scale.h"

namespace kestu::uitest {
namespace {

// Where a label's text is drawn: one line of its font, aligned in its contents.
QRectF TextArea(const QLabel* label)
{
    const QFontMetricsF metrics(label->font());
    const QSizeF line(metrics.horizontalAdvance(label->text()), metrics.height());
    const QRectF box(label->contentsRect());
    QRectF area(QPointF(), line);
    area.moveCenter(box.center());
    if (label->alignment() & Qt::AlignLeft) area.moveLeft(box.left());
    if (label->alignment() & Qt::AlignRight) area.moveRight(box.right());
    if (label->alignment() & Qt::AlignTop) area.moveTop(box.top());
    if (label->alignment() & Qt::AlignBottom) area.moveBottom(box.bottom());
    return area.translated(label->pos());
}

TEST_F(SimWindowTest, DetailFeedbackFiguresLeaveEveryTankNumberReadableAtAnySize)
{
    StartTrial();
    RunTicks();
    Click(W().cmdDetailFB);
    for (QLabel* label : W().MissedFB) ASSERT_TRUE(Shown(label)) << Name(label);

    const QSize design = W().sizeHint();
    const QSize sizes[] = {design / 2, design * 3 / 4, design, design * 3 / 2, design * 2,
                           QSize(design.width() * 2, design.height()), QSize(design.width(), design.height() * 2)};
    // The figures as the trial left them, then a wider one than the scenario allows: three digits.
    for (const bool widest : {false, true}) {
        if (widest)
            for (QLabel* label : W().MissedFB) label->setText(QStringLiteral("888"));
        for (const QSize size : sizes) {
            W().resize(size);
            QCoreApplication::processEvents();
            ASSERT_EQ(W().size(), size);
            const ui::TwipScale scale(W().size(), QSize(ui::DesignWidth, ui::DesignHeight));
            const QPointF view = W().plantView->pos();
            for (int t = 0; t < TankCount; ++t) {
                SCOPED_TRACE("tank " + std::to_string(t) + " in a window of " + std::to_string(size.width()) + "x" +
                             std::to_string(size.height()) + (widest ? ", widest figure" : ""));
                const QRectF figure = TextArea(W().MissedFB[t]);
                const QRectF number = W().plantView->TankNumberArea(t).translated(view);
                const QRectF tank = scale.ToPixelsF(ui::PlantLayout::Standard().TankOutline(t)).translated(view);
                EXPECT_FALSE(figure.intersects(number))
                    << "the figure " << W().MissedFB[t]->text().toStdString() << " covers the tank's number";
                EXPECT_TRUE(tank.contains(figure)) << "the figure leaves its tank";
                EXPECT_TRUE(tank.contains(number)) << "the number leaves its tank";
            }
        }
    }
}

}  // namespace
}  // namespace kestu::uitest
