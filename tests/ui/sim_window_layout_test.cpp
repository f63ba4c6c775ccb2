// The simulation window's geometry: every control in its own place, texts
// that fit, and a layout that scales with the window.
#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "sim_window_fixture.h"
#include "ui/plant_view.h"
#include "ui/twip_scale.h"

namespace kestu::uitest {
namespace {

class SimLayoutTest : public SimWindowTest {
protected:
    void SetUp() override
    {
        SimWindowTest::SetUp();
        ASSERT_TRUE(Open());
        W().resize(W().sizeHint());
        QCoreApplication::processEvents();
    }

    // Every control the window has, hidden ones shown, so none can hide an overlap.
    std::vector<QWidget*> AllControlsShown(QWidget* parent)
    {
        std::vector<QWidget*> controls;
        for (QWidget* child : parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (child == W().plantView || child->isWindow() || child->objectName().startsWith("qt_")) continue;
            if (child->objectName().startsWith("MissedFB_")) continue;  // drawn over the tanks on purpose
            child->show();
            controls.push_back(child);
        }
        return controls;
    }

    void ExpectNoOverlaps(QWidget* parent)
    {
        const auto controls = AllControlsShown(parent);
        ASSERT_FALSE(controls.empty());
        for (std::size_t i = 0; i < controls.size(); ++i) {
            EXPECT_TRUE(parent->rect().contains(controls[i]->geometry()))
                << controls[i]->objectName().toStdString() << " sticks out of "
                << parent->objectName().toStdString();
            for (std::size_t j = i + 1; j < controls.size(); ++j)
                EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                    << controls[i]->objectName().toStdString() << " overlaps "
                    << controls[j]->objectName().toStdString();
        }
    }
};

TEST_F(SimLayoutTest, OpensAtTheDesignSize)
{
    EXPECT_EQ(W().size(), QSize(953, 728));
}

TEST_F(SimLayoutTest, NoControlsOverlapEvenTheHiddenOnes)
{
    ExpectNoOverlaps(&W());
    for (QGroupBox* frame : W().findChildren<QGroupBox*>()) ExpectNoOverlaps(frame);
}

TEST_F(SimLayoutTest, EveryCaptionFitsItsControl)
{
    for (QWidget* w : W().findChildren<QWidget*>()) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) text = label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(w)) text = button->text();
        text.remove('&');
        if (text.isEmpty()) continue;
        const int room = w->width() - (qobject_cast<QAbstractButton*>(w) ? 8 : 0);
        EXPECT_LE(w->fontMetrics().horizontalAdvance(text), room) << w->objectName().toStdString() << ": " << text.toStdString();
        EXPECT_LE(w->fontMetrics().height(), w->height()) << w->objectName().toStdString();
    }
}

TEST_F(SimLayoutTest, SwitchesSitWhereThePlantDrawingPutsThem)
{
    const ui::TwipScale scale(W().size(), QSize(ui::DesignWidth, ui::DesignHeight));
    for (int s = 0; s < SwitchCount; ++s)
        EXPECT_EQ(W().Switch[s]->geometry(), scale.ToPixels(W().plantModel().layout().SwitchButton(s))) << s;
    EXPECT_EQ(W().plantView->geometry(), W().rect());
}

TEST_F(SimLayoutTest, TheWholeLayoutScalesWithTheWindow)
{
    const QRect small = W().Switch[17]->geometry();
    const int smallFont = W().PumpsInUse->font().pixelSize();
    W().resize(2 * W().sizeHint());
    QCoreApplication::processEvents();
    const QRect large = W().Switch[17]->geometry();
    EXPECT_NEAR(large.left(), 2 * small.left(), 1);
    EXPECT_NEAR(large.top(), 2 * small.top(), 1);
    EXPECT_NEAR(large.width(), 2 * small.width(), 1);
    EXPECT_EQ(W().PumpsInUse->font().pixelSize(), 2 * smallFont);

    // A wider window keeps the proportions and centres the design area.
    W().resize(W().sizeHint().width() * 2, W().sizeHint().height());
    QCoreApplication::processEvents();
    EXPECT_EQ(W().Switch[17]->size(), small.size());
    EXPECT_GT(W().Switch[17]->x(), small.left());
}

TEST(TwipScaleTest, FifteenTwipsMakeAPixelAtTheDesignSize)
{
    const ui::TwipScale scale(QSize(953, 728), QSize(ui::DesignWidth, ui::DesignHeight));
    EXPECT_EQ(scale.ToPixels(QRect(150, 300, 600, 750)), QRect(10, 20, 40, 50));
    EXPECT_EQ(scale.FontPixels(9), 12);
    const ui::TwipScale doubled(QSize(1906, 1456), QSize(ui::DesignWidth, ui::DesignHeight));
    EXPECT_EQ(doubled.ToPixels(QRect(150, 300, 600, 750)), QRect(20, 40, 80, 100));
}

}  // namespace
}  // namespace kestu::uitest
