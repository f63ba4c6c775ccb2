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

    chkFeedforward = new QCheckBox(QStringLiteral("Feedforward"), this);
    chkFeedforward->setObjectName(QStringLiteral("Check1"));
    lblSpeed = new QLabel(QStringLiteral("Simulation Speed"), this);
    lblSpeed->setObjectName(QStringLiteral("Label1"));
    lblFaster = new QLabel(QStringLiteral("Faster"), this);
    lblFaster->setObjectName(QStringLiteral("Label2"));
    HScroll1 = NewSpeedScrollBar(this);
    HScroll1->setMinimumWidth(240);
    lblSlower = new QLabel(QStringLiteral("Slower"), this);
    lblSlower->setObjectName(QStringLiteral("Label4"));
    lblSimLength = new QLabel(QStringLiteral("15 Minute Simulation"), this);
    lblSimLength->setObjectName(QStringLiteral("Label5"));
    lblSimLength->setAlignment(Qt::AlignCenter);
    cmdContinue = new QPushButton(QStringLiteral("&Continue"), this);
    cmdContinue->setObjectName(QStringLiteral("Command1"));
    cmdContinue->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(chkFeedforward, 0, 0, 1, 3);
    grid->addWidget(lblSpeed, 1, 0, 1, 3, Qt::AlignCenter);
    grid->addWidget(lblFaster, 2, 0);
    grid->addWidget(HScroll1, 2, 1);
    grid->addWidget(lblSlower, 2, 2);
    grid->addWidget(lblSimLength, 3, 0, 1, 3);
    grid->addWidget(cmdContinue, 4, 0, 1, 3, Qt::AlignCenter);

    connect(chkFeedforward, &QCheckBox::stateChanged, this, &frmSimOptions::chkFeedforward_Click);
    connect(HScroll1, &QScrollBar::valueChanged, this, &frmSimOptions::HScroll1_Change);
    connect(cmdContinue, &QPushButton::clicked, this, &frmSimOptions::cmdContinue_Click);
}

void frmSimOptions::chkFeedforward_Click()
{
    participant_.FeedforwardOn = chkFeedforward->checkState() == Qt::Checked;
    simulation_.OfferFeedforward(participant_.FeedforwardOn);
}

void frmSimOptions::HScroll1_Change()
{
    participant_.SimRate = HScroll1->value();
    const QString caption = SpeedCaption(participant_.SimRate);
    lblSimLength->setText(caption);
    simulation_.lblSimLength->setText(caption);
    // The simulation window's own speed handler takes the value from here.
    simulation_.HScroll1->setValue(participant_.SimRate);
}

// Closing from the title bar ends the dialog the same way.
void frmSimOptions::cmdContinue_Click()
{
    accept();
}

}  // namespace kestu::ui
