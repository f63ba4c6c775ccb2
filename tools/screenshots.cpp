// kestu-screenshots DIR: draws the pictures the README shows, so they can be
// made again after the window changes: the simulation window in the middle
// of an Experiment trial (DIR/plant.png), at its design size, offscreen.
// tools/make_screenshots.sh runs it and `kestuctl plot` for the plot.
#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>

#include "data/experiment_db.h"
#include "ui/frm_simulation.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestu-screenshots DIR\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir study;
    const std::string folder = study.path().toStdString();
    const std::string db = kestu::ExperimentDb::DefaultPath(folder);
    kestu::Participant kim;
    kim.UserID = "kim";
    if (!kestu::ExperimentDb::Create(db, kestu::NewDbContent::StandardScenario) ||
        !kestu::ExperimentDb::Open(db, kestu::OpenMode::ReadWrite).value()->AddParticipant(kim)) {
        std::fprintf(stderr, "kestu-screenshots: cannot make a study in %s\n", folder.c_str());
        return 1;
    }
    kestu::ParticipantState participant;
    participant.UserID = "kim";
    kestu::ui::frmSimulation window(participant, db, folder);
    if (!window.Form_Load()) return 1;
    window.resize(953, 728);
    window.show();
    // A trial three minutes in, the Random method at work.
    window.session().decisionChoice = 1;
    window.session().engine.random().Seed(7);
    window.session().trial.SetUpTrial();
    window.session().trial.StartOrStop();
    window.Simulator.stop();
    for (int tick = 0; tick < 180; ++tick) window.Simulator_Timer();
    QApplication::processEvents();
    const QString path = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/plant.png");
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "kestu-screenshots: cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("%s\n", qPrintable(path));
    return 0;
}
