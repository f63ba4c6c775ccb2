// One tick of a running trial in the simulation window at the fastest speed,
// including the repaint it causes (the offscreen platform paints into memory).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QRadioButton>
#include <QTemporaryDir>

#include "data/experiment_db.h"
#include "ui/frm_simulation.h"

namespace {

struct Window {
    QTemporaryDir dir;
    kestu::ParticipantState participant;
    std::unique_ptr<kestu::ui::frmSimulation> window;

    Window()
    {
        const std::string folder = dir.path().toStdString();
        const std::string db = kestu::ExperimentDb::DefaultPath(folder);
        if (!kestu::ExperimentDb::Create(db, kestu::NewDbContent::StandardScenario)) std::abort();
        auto open = kestu::ExperimentDb::Open(db, kestu::OpenMode::ReadWrite);
        kestu::Participant p;
        p.UserID = "bench";
        if (!open || !open.value()->AddParticipant(p)) std::abort();
        participant.UserID = "bench";
        window = std::make_unique<kestu::ui::frmSimulation>(participant, db, folder);
        if (!window->Form_Load()) std::abort();
        window->show();
        window->session().trial.ChangeSpeed(125);
        window->optRandom->setChecked(true);  // the Random method keeps the pumps busy
        Start();
    }
    void Start()
    {
        window->session().decisionChoice = 1;
        window->session().trial.SetUpTrial();
        window->session().trial.StartOrStop();
        window->Simulator.stop();  // the benchmark fires the ticks itself
        QCoreApplication::processEvents();
    }
};

void BM_TickWithRepaint(benchmark::State& state)
{
    Window w;
    for (auto _ : state) {
        if (!w.window->session().Ticking()) {
            state.PauseTiming();
            w.Start();
            state.ResumeTiming();
        }
        w.window->Simulator_Timer();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_TickWithRepaint)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
