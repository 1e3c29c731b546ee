#include "terminal/reader_events.h"

#include <atomic>

#include "app/qarx_service_dlg.h"
#include "terminal/reader_monitor.h"

namespace qarx {

namespace {

// The dialog's window for the card side: published once, before the monitor starts.
std::atomic<CQarxServiceDlg*> g_readerEventWindow{nullptr};

}  // namespace

void PublishReaderEventWindow(CQarxServiceDlg* dialog) { g_readerEventWindow = dialog; }

void PostReaderEvent(ReaderEvent code, ReaderSlot* slot) {
  CQarxServiceDlg* dialog = g_readerEventWindow;
  if (dialog) dialog->PostMessage(WM_READER_EVENT, code, reinterpret_cast<intptr_t>(slot));
}

}  // namespace qarx
