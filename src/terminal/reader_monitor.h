// The reader monitor thread and the per-reader watchers.
#pragma once

#include "platform/platform.h"

namespace qarx {

class CQarxServiceDlg;

// Makes dialog the target of every WM_READER_EVENT. Called once, before the
// monitor starts.
void PublishReaderEventWindow(CQarxServiceDlg* dialog);

// Starts the monitor thread (never stopped or joined).
void StartReaderMonitor(Platform& platform);

}  // namespace qarx
