// A 480-tick Random-method trial replayed in the real window "as fast as
// possible", its plant drawn at most 30 times a second, from Play to the
// replay's end. Run under Xvfb to see it as a person would:
//   xvfb-run -a build/bin/bench_replay_ff [--screenshot FILE.png]
// With --screenshot, the replay is then moved to the middle of the trial
// with a click on its timeline and the window saved as a picture.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include "data/experiment_db.h"
#include "trials/headless_trial.h"
#include "ui/frm_simulation.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string db = kestu::ExperimentDb::DefaultPath(folder);
    if (!kestu::ExperimentDb::Create(db, kestu::NewDbContent::StandardScenario)) return 1;
    {
        kestu::ParticipantState recorder{.UserID = "ff"};
        kestu::DbExperimentStore store(db, folder + "/KESTU.OUTBOX");
        const auto open = kestu::ExperimentDb::Open(db, kestu::OpenMode::ReadWrite);
        kestu::Participant p;
        p.UserID = "ff";
        if (!open || !open.value()->AddParticipant(p)) return 1;
        if (!kestu::RunParticipantTrial(recorder, store, folder, 11).completed) return 1;
    }
    kestu::ParticipantState participant{.UserID = "ff", .TrialNum = 1, .ReplayMode = true};
    kestu::ui::frmSimulation window(participant, db, folder);
    if (!window.Form_Load()) return 1;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    window.ReplayList->setCurrentIndex(0);
    emit window.ReplayList->activated(0);
    window.ReplaySpeed->setCurrentIndex(kestu::ui::FastestReplaySpeed);
    QElapsedTimer took;
    took.start();
    window.PlayButton->click();
    while (window.session().Ticking() && took.elapsed() < 60000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const long long ms = took.elapsed();
    std::printf("replay as fast as possible: %lld ticks in %lld ms (%s, platform %s)\n", window.session().ticksLived, ms,
                window.session().runEnd == kestu::RunEnd::AtEndTime ? "ended at the end time" : "did not end",
                qPrintable(QGuiApplication::platformName()));
    const bool ended = window.session().runEnd == kestu::RunEnd::AtEndTime;
    const QStringList args = QCoreApplication::arguments();
    if (const auto at = args.indexOf(QStringLiteral("--screenshot")); at > 0 && at + 1 < args.size()) {
        QWidget* strip = window.findChild<QWidget*>(QStringLiteral("ReplayTimeline"));
        QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(strip->width() * 2 / 5, strip->height() / 2));
        QTest::qWait(200);
        if (!window.grab().save(args[at + 1])) return 1;
    }
    return ended ? 0 : 1;
}
