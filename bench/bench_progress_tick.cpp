// What one tick of the progress page costs the GUI thread with 36 running
// jobs: the page polls every job (FlashingDone, then each row of the
// per-port list under the job's mutex) and redraws the bar, the status line
// and the rows that changed. The jobs' progress moves between ticks as
// workers would move it (reports through FlashProgress), so every tick has
// new texts to show; no worker runs, so only the GUI thread's time is
// measured. The window is shown on the offscreen platform unless another
// one is chosen, and painted after each tick. Reports the median and the
// worst tick in milliseconds; goal: under 2 ms.
//
//     bench_progress_tick [ticks]    (default 500)
#include "app/CProgressPage.h"
#include "app/CWizard.h"
#include "app/NorvaneApp.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kPorts = 36;
constexpr int kDefaultTicks = 500;
constexpr double kGoalMs = 2.0;

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int nTicks = argc > 1 ? std::max(1, atoi(argv[1])) : kDefaultTicks;

    NorvaneApp app;
    NorvaneApp_LoadWizardBitmap(&app);
    app.cmdInfo.m_strPort = "COM1";  // progress and status pages only
    for (int n = 1; n <= kPorts; ++n) {
        const std::string sDevice = "\\\\.\\COM" + std::to_string(n);
        app.coordinator.AddDevice(sDevice.c_str(), 115200);
        app.coordinator.GetDevice(static_cast<size_t>(n - 1))->bSelected = 1;
    }
    CWizard wizard(&app);
    CProgressPage* pPage = wizard.ProgressPage();
    wizard.show();
    pPage->FillPortList();
    QApplication::processEvents();

    std::vector<double> ticks;
    for (int nTick = 0; nTick < nTicks; ++nTick) {
        for (size_t n = 0; n < kPorts; ++n) {
            FlashJob* pJob = &app.coordinator.GetDevice(n)->job;
            FlashProgress(pJob, flsh_cEventProgram, static_cast<int32_t>((nTick + n) % 100), 0);
        }
        const auto start = std::chrono::steady_clock::now();
        pPage->OnTimer();
        pPage->repaint();
        QApplication::processEvents();
        ticks.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ticks.begin(), ticks.end());
    const double dMedian = ticks[ticks.size() / 2];
    printf("progress page tick, %d running jobs, %d ticks: median %.3f ms, worst %.3f ms (goal: under %.1f ms)\n",
           kPorts, nTicks, dMedian, ticks.back(), kGoalMs);
    return dMedian < kGoalMs ? 0 : 1;
}
