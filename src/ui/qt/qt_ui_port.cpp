#include "ui/qt/qt_ui_port.h"

#include <algorithm>

#include <QCursor>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>

#include "common/qarx_types.h"
#include "ui/emulated/window_rules.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/message_box.h"

namespace qarx::qt {

namespace {

constexpr uint32_t WM_LBUTTONDBLCLK = 515;
constexpr uint32_t WM_MBUTTONDOWN = 519;
constexpr uint32_t NIF_MESSAGE = 1;
constexpr uint32_t NIF_TIP = 4;

}  // namespace

intptr_t MouseMessageOf(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger: return WM_LBUTTONDOWN;
    case QSystemTrayIcon::Context: return WM_RBUTTONDOWN;
    case QSystemTrayIcon::DoubleClick: return WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::MiddleClick: return WM_MBUTTONDOWN;
    default: return 0;
  }
}

QtUiPort::QtUiPort(std::unique_ptr<QApplication> app)
    : app_(std::move(app)), pump_(queue_), queue_([this] { pump_.Notify(); }), icon_(AppIcon()) {
  dialog_ = std::make_unique<DialogWindow>(
      [this](uint32_t message, uintptr_t wParam, intptr_t lParam) { Deliver(message, wParam, lParam); },
      [this] {
        // A restore by the window manager repaints the frame, as a show does.
        if (!applyingShow_) queue_.Post([this] { Deliver(WM_NCPAINT, 1, 0); });
      });
}

QtUiPort::~QtUiPort() {
  EndRun();
  dialog_.reset();
}

void QtUiPort::Deliver(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (target_) target_->WindowProc(message, wParam, lParam);
}

bool QtUiPort::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return queue_.Post([this, message, wParam, lParam] { Deliver(message, wParam, lParam); });
}

int QtUiPort::MessageBox(BoxOwner, const std::u16string& text, const std::u16string& caption,
                         uint32_t style) {
  // Boxes belong to no window, whoever the caller names as owner.
  if (queue_.OnUiThread()) {
    QMessageBox* box = MakeMessageBox(text, caption, style);
    box->setWindowIcon(icon_);
    box->exec();
    const int answer = AnswerOf(*box, box->clickedButton());
    delete box;
    return answer;
  }
  std::shared_ptr<emulated::UiQueue::Reply> reply = queue_.NewReply();
  // The texts are copied: the box outlives this call if the run ends first.
  const int unanswered = emulated::UnansweredBoxAnswer(style);
  if (!queue_.Post([this, text, caption, style, reply] { OpenBox(text, caption, style, reply); })) return unanswered;
  return static_cast<int>(queue_.Wait(*reply, unanswered));
}

void QtUiPort::OpenBox(const std::u16string& text, const std::u16string& caption, uint32_t style,
                       std::shared_ptr<emulated::UiQueue::Reply> reply) {
  QMessageBox* box = MakeMessageBox(text, caption, style);
  box->setWindowIcon(icon_);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  QObject::connect(box, &QMessageBox::finished, &context_,
                   [this, box, reply] { queue_.Complete(*reply, AnswerOf(*box, box->clickedButton())); });
  boxes_.erase(std::remove(boxes_.begin(), boxes_.end(), nullptr), boxes_.end());
  boxes_.emplace_back(box);
  box->show();
  box->raise();
  box->activateWindow();
}

void QtUiPort::ShowWindow(int showCode) {
  queue_.Run([this, showCode] { ApplyShow(showCode); });
}

void QtUiPort::ApplyShow(int showCode) {
  DialogWindow& window = *dialog_;
  const auto state = [&window] {
    return emulated::ShowState{window.isVisible(), window.isMinimized(), window.isMaximized()};
  };
  const emulated::ShowState before = state();
  applyingShow_ = true;
  switch (showCode) {
    case SW_HIDE:
      window.hide();
      break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
      window.showNormal();
      window.raise();
      window.activateWindow();
      break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
      window.showMinimized();
      break;
    case SW_SHOWMAXIMIZED:
      window.showMaximized();
      break;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA:
      window.show();
      break;
    case SW_SHOW:
      window.show();
      window.raise();
      window.activateWindow();
      break;
    default:
      break;
  }
  applyingShow_ = false;
  if (emulated::PaintsFrame(before, state())) Deliver(WM_NCPAINT, 1, 0);
}

bool QtUiPort::IsWindowVisible() {
  return queue_.Send([this] { return intptr_t{dialog_->isVisible()}; }, 0) != 0;
}

bool QtUiPort::TrayAdd(const TrayIconData& data) {
  return queue_.Send([this, &data] {
    if (tray_) return intptr_t{0};  // one icon per identifier
    tray_ = new QSystemTrayIcon(icon_, dialog_.get());
    if (data.uFlags & NIF_TIP) tray_->setToolTip(DisplayText(data.szTip));
    if (data.uFlags & NIF_MESSAGE) {
      const uint32_t callback = data.uCallbackMessage;
      const uint32_t id = data.uID;
      QObject::connect(tray_, &QSystemTrayIcon::activated, &context_,
                       [this, callback, id](QSystemTrayIcon::ActivationReason reason) {
                         const intptr_t mouse = MouseMessageOf(reason);
                         if (mouse != 0) Deliver(callback, id, mouse);
                       });
    }
    tray_->show();
    // Without a notification area the icon waits unseen; the add failed.
    return intptr_t{QSystemTrayIcon::isSystemTrayAvailable()};
  }, 0) != 0;
}

bool QtUiPort::TrayDelete(const TrayIconData&) {
  return queue_.Send([this] {
    if (!tray_) return intptr_t{0};
    tray_->hide();
    // Not deleted at once: the icon may be in the middle of its own signal.
    tray_->deleteLater();
    tray_ = nullptr;
    return intptr_t{1};
  }, 0) != 0;
}

void QtUiPort::ListAddString(const std::u16string& line) {
  queue_.Run([this, &line] { dialog_->ActivityLog()->addItem(QString::fromStdU16String(line)); });
}

void QtUiPort::ListResetContent() {
  queue_.Run([this] { dialog_->ActivityLog()->clear(); });
}

void QtUiPort::SetStatusText(const std::u16string& text) {
  queue_.Run([this, &text] { dialog_->StatusText()->setText(QString::fromStdU16String(text)); });
}

void QtUiPort::SetProgressRange(int low, int high) {
  queue_.Run([this, low, high] { dialog_->ProgressBar()->setRange(low, high); });
}

void QtUiPort::SetProgressStep(int step) {
  queue_.Run([this, step] { progressStep_ = step; });
}

void QtUiPort::SetProgressPos(int pos) {
  queue_.Run([this, pos] {
    // The control keeps its position inside its range.
    QProgressBar* bar = dialog_->ProgressBar();
    bar->setValue(std::clamp(pos, bar->minimum(), bar->maximum()));
  });
}

void QtUiPort::EndModal(int result) {
  result_ = result;
  ended_ = true;
  const auto wake = [this] {
    if (loop_) loop_->exit(result_);
  };
  if (queue_.OnUiThread()) {
    wake();
  } else {
    queue_.Post(wake);
  }
}

int QtUiPort::RunModal(MessageTarget& target) {
  queue_.Open();
  ended_ = false;
  result_ = 0;
  target_ = &target;
  QEventLoop loop;
  loop_ = &loop;
  Deliver(WM_INITDIALOG, 0, 0);
  // The template is visible: the window system shows the dialog after its
  // initialisation.
  if (!ended_) ApplyShow(SW_SHOWNORMAL);
  if (!ended_) loop.exec();
  loop_ = nullptr;
  EndRun();
  return result_;
}

void QtUiPort::EndRun() {
  queue_.Close();
  target_ = nullptr;
  for (auto& [id, timer] : timers_) delete timer;
  timers_.clear();
  for (QPointer<QMessageBox>& box : boxes_) delete box;
  boxes_.clear();
  delete menu_;
  delete tray_;
  if (dialog_) dialog_->hide();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void QtUiPort::SetIcon(uint32_t, bool) {
  queue_.Run([this] { dialog_->setWindowIcon(icon_); });
}

bool QtUiPort::SetTimer(uint32_t id, uint32_t elapseMs) {
  return queue_.Send([this, id, elapseMs] {
    QPointer<QTimer>& timer = timers_[id];
    if (!timer) {
      timer = new QTimer(&context_);
      QObject::connect(timer, &QTimer::timeout, &context_, [this, id] { Deliver(WM_TIMER, id, 0); });
    }
    timer->start(static_cast<int>(emulated::TimerPeriodMs(elapseMs)));
    return intptr_t{1};
  }, 0) != 0;
}

bool QtUiPort::KillTimer(uint32_t id) {
  return queue_.Send([this, id] {
    const auto found = timers_.find(id);
    if (found == timers_.end()) return intptr_t{0};
    QPointer<QTimer> timer = found->second;
    timers_.erase(found);
    if (!timer) return intptr_t{0};
    // Often called from the timer's own tick.
    timer->stop();
    timer->deleteLater();
    return intptr_t{1};
  }, 0) != 0;
}

bool QtUiPort::IsIconic() {
  return queue_.Send([this] { return intptr_t{dialog_->isMinimized()}; }, 0) != 0;
}

void QtUiPort::GetClientSize(int& width, int& height) {
  queue_.Run([this, &width, &height] {
    width = dialog_->width();
    height = dialog_->height();
  });
}

void QtUiPort::DrawIcon(int x, int y) {
  queue_.Run([this, x, y] { dialog_->DrawIcon(x, y); });
}

void QtUiPort::SetForegroundWindow() {
  queue_.Run([this] {
    dialog_->raise();
    dialog_->activateWindow();
  });
}

void QtUiPort::TrackPopupMenu(const std::vector<MenuItem>& items) {
  queue_.Run([this, &items] {
    if (menu_) menu_->deleteLater();
    menu_ = new QMenu(dialog_.get());
    menu_->setAttribute(Qt::WA_DeleteOnClose);
    for (const MenuItem& item : items) {
      if (item.separator()) {
        menu_->addSeparator();
        continue;
      }
      QAction* action = menu_->addAction(QString::fromStdU16String(item.text));
      const uint32_t id = item.id;
      // The choice reaches the dialog as a command, after the menu has closed.
      QObject::connect(action, &QAction::triggered, &context_, [this, id] { PostMessage(WM_COMMAND, id, 0); });
    }
    menu_->popup(QCursor::pos());
  });
}

int QtUiPort::GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXICON:
    case SM_CYICON:
      return kLargeIconSize;
    case SM_CXSMICON:
    case SM_CYSMICON:
      return kSmallIconSize;
    default:
      return 0;
  }
}

}  // namespace qarx::qt
