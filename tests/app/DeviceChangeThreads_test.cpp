// SPDX-License-Identifier: GPL-3.0-or-later
// Medium changes the CD library reports from threads of its own, while main
// windows are created and destroyed on the user-interface thread: nothing
// may reach a window that is gone, and nothing may race on the handler.
#include "ShellTestSupport.h"
#include "drives/Drive.h"

#include <QTableWidget>
#include <atomic>
#include <chrono>
#include <thread>

using namespace varrow;
using namespace varrow::testing;

TEST_F(ShellTest, DeviceChangesFromAnotherThreadWhileWindowsComeAndGo) {
    auto drive = addDrive("VIRTUAL Threads", discOf({audio(300), audio(300)}));
    std::atomic<bool> stop{false};
    std::atomic<int> posted{0};
    std::thread poster([&] {
        // Paced and bounded, so that the user-interface thread (slow under
        // the sanitizers) is not buried under notifications it cannot keep up with.
        while (!stop.load() && posted.load() < 4000) {
            cdlib::postDeviceChange(posted.load() % 2 == 0 ? CR_DEVICE_ARRIVAL
                                                           : CR_DEVICE_REMOVE_COMPLETE);
            posted.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int round = 0; round < 12; ++round) {
        createWindow();
        processEvents();
        EXPECT_EQ(rowCount(), 2);
        form = nullptr;
        windows_.reset();
        // What was queued for the window that is gone now runs, and must do
        // nothing.
        processEvents();
    }
    stop.store(true);
    poster.join();
    processEvents();
    EXPECT_GT(posted.load(), 0);
}
