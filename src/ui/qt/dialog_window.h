// The dialog's window built from template 102. It turns what the window
// system reports (paint, close box, keys, button clicks, a restore) into the
// messages the dialog's window procedure expects, through `send`.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include <QIcon>
#include <QWidget>

#include "ui/qt/dialog_template.h"

class QLabel;
class QListWidget;
class QPainter;
class QProgressBar;

namespace qarx::qt {

class DialogWindow : public QWidget {
 public:
  using Sender = std::function<void(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

  // send delivers a message to the dialog; restored tells that the user
  // brought the window back from the minimised state.
  DialogWindow(Sender send, std::function<void()> restored);

  QWidget* Control(uint32_t id) const;
  QLabel* StatusText() const;
  QProgressBar* ProgressBar() const;
  QListWidget* ActivityLog() const;

  // Draws the application icon; only while the dialog handles a paint.
  void DrawIcon(int x, int y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QWidget* MakeControl(const ControlTemplate& control);

  Sender send_;
  std::function<void()> restored_;
  std::map<uint32_t, QWidget*> controls_;  // children, owned by the window
  QPainter* painter_ = nullptr;            // set during paintEvent only
  QIcon icon_;
};

}  // namespace qarx::qt
