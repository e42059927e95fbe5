// SPDX-License-Identifier: GPL-3.0-or-later
// The state of one extraction batch, from the click that starts it until the
// batch has wound up. The main window holds one only while a batch is in
// hand, so nothing of a batch outlives it or leaks into the next one; the
// names are those the batch's handlers use.
#pragma once

#include "RipSession.h"

#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>

// What the batch does with an output file that exists already.
enum class TOverwriteMode : int { Skip = 0, Write = 1, WriteAll = 2 };

struct TBatchRun final {
    TOverwriteMode OverwriteMode = TOverwriteMode::Write;
    // Stop after the row in hand: the Abort button, closing the progress
    // window or the main window, an internal error.
    bool AbortAll = false;
    // The user skipped the track in hand; cleared at the start of every row.
    bool SkipTrack = false;
    // Selected rows when the loop started (at least 1), and rows finished.
    int32_t BatchTrackCount = 1;
    int32_t BatchTrackIndex = 0;
    std::chrono::steady_clock::time_point BatchStartTime;
    std::chrono::milliseconds ElapsedTime{0};
    // The full path of the file for the row in hand.
    QString OutputFileName;
    // The rip of the selected tracks, once the folder is known: their files'
    // names, tags and estimates, and what became of each.
    std::unique_ptr<TRipSession> Session;
    QString FolderDialogTitle;
    // The user closed the main window during the batch and confirmed: it
    // closes once the batch has wound up.
    bool CloseAfterBatch = false;
    // The progress window closed during the batch and gave the main window
    // back: the track in hand winds up without a caption or a question.
    bool WindowGivenBack = false;
    // The engine has measured a speed in this batch; until then the speed
    // shows "-".
    bool SpeedMeasured = false;
};
