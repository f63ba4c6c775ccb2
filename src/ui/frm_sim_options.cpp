#include "ui/frm_sim_options.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include "ui/captions.h"
#include "ui/frm_simulation.h"
#include "ui/speed_scroll_bar.h"

namespace kestu::ui {

frmSimOptions::frmSimOptions(ParticipantState& participant, frmSimulation& simulation, QWidget* parent)
    : QDialog(parent), participant_(participant), simulation_(simulation)
{
    setObjectName(QStringLiteral("frmSimOptions"));
    setWindowTitle(QStringLiteral("Simulator Options"));
    setModal(true);

    Check1 = new QCheckBox(QStringLiteral("Feedforward"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Label1 = new QLabel(QStringLiteral("Simulation Speed"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(QStringLiteral("Faster"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    HScroll1 = NewSpeedScrollBar(this);
    HScroll1->setMinimumWidth(240);
    Label4 = new QLabel(QStringLiteral("Slower"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label5 = new QLabel(QStringLiteral("15 Minute Simulation"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setAlignment(Qt::AlignCenter);
    Command1 = new QPushButton(QStringLiteral("&Continue"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Check1, 0, 0, 1, 3);
    grid->addWidget(Label1, 1, 0, 1, 3, Qt::AlignCenter);
    grid->addWidget(Label2, 2, 0);
    grid->addWidget(HScroll1, 2, 1);
    grid->addWidget(Label4, 2, 2);
    grid->addWidget(Label5, 3, 0, 1, 3);
    grid->addWidget(Command1, 4, 0, 1, 3, Qt::AlignCenter);

    connect(Check1, &QCheckBox::stateChanged, this, &frmSimOptions::Check1_Click);
    connect(HScroll1, &QScrollBar::valueChanged, this, &frmSimOptions::HScroll1_Change);
    connect(Command1, &QPushButton::clicked, this, &frmSimOptions::Command1_Click);
}

void frmSimOptions::Check1_Click()
{
    participant_.FeedforwardOn = Check1->checkState() == Qt::Checked;
    simulation_.OfferFeedforward(participant_.FeedforwardOn);
}

void frmSimOptions::HScroll1_Change()
{
    participant_.SimRate = HScroll1->value();
    const QString caption = SpeedCaption(participant_.SimRate);
    Label5->setText(caption);
    simulation_.Label5->setText(caption);
    // The simulation window's own speed handler takes the value from here.
    simulation_.HScroll1->setValue(participant_.SimRate);
}

// Closing from the title bar ends the dialog the same way.
void frmSimOptions::Command1_Click()
{
    accept();
}

}  // namespace kestu::ui
