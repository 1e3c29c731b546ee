#include "ui/qt/dialog_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QWindowStateChangeEvent>

#include "common/qarx_types.h"
#include "ui/qt/app_icon.h"

namespace qarx::qt {

namespace {

// Caption with system menu and minimise box, modal frame (fixed size).
constexpr Qt::WindowFlags kDialogFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                         Qt::WindowCloseButtonHint;
constexpr char kControlIdProperty[] = "controlId";

}  // namespace

DialogWindow::DialogWindow(Sender send, std::function<void()> restored)
    : QWidget(nullptr, kDialogFlags), send_(std::move(send)), restored_(std::move(restored)),
      icon_(AppIcon()) {
  setWindowTitle(QString::fromUtf16(dialog_template::kCaption));
  setFont(DialogFont());
  const BaseUnits units = DialogBaseUnits(font());
  setFixedSize(DluToPixels(QRect(0, 0, dialog_template::kWidth, dialog_template::kHeight), units).size());
  for (const ControlTemplate& control : DialogControls()) {
    QWidget* widget = MakeControl(control);
    widget->setGeometry(DluToPixels(control, units));
    widget->setProperty(kControlIdProperty, control.id);
    // The list and the buttons lie below the client area; they exist but are
    // never shown, so no key reaches them.
    widget->setVisible(control.visible);
    controls_[control.id] = widget;
  }
}

QWidget* DialogWindow::MakeControl(const ControlTemplate& control) {
  const QString text = QString::fromUtf16(control.text);
  switch (control.role) {
    case ControlRole::Button: {
      auto* button = new QPushButton(text, this);
      button->setAutoDefault(false);
      const uint32_t id = control.id;
      connect(button, &QPushButton::clicked, this, [this, id] { send_(WM_COMMAND, id, 0); });
      return button;
    }
    case ControlRole::List: {
      auto* list = new QListWidget(this);
      list->setSortingEnabled(false);
      return list;
    }
    case ControlRole::Progress: {
      auto* bar = new QProgressBar(this);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlRole::Text:
      break;
  }
  auto* label = new QLabel(text, this);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(true);
  return label;
}

QWidget* DialogWindow::Control(uint32_t id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

QLabel* DialogWindow::StatusText() const { return static_cast<QLabel*>(Control(IDC_STATUS)); }

QProgressBar* DialogWindow::ProgressBar() const {
  return static_cast<QProgressBar*>(Control(IDC_PROGRESS));
}

QListWidget* DialogWindow::ActivityLog() const {
  return static_cast<QListWidget*>(Control(IDC_ACTIVITY_LOG));
}

void DialogWindow::DrawIcon(int x, int y) {
  if (painter_) painter_->drawPixmap(x, y, icon_.pixmap(kLargeIconSize, kLargeIconSize));
}

void DialogWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter_ = &painter;
  send_(WM_PAINT, 0, 0);
  painter_ = nullptr;
}

void DialogWindow::closeEvent(QCloseEvent* event) {
  // The close box is the Cancel command; what it does is the dialog's call.
  event->ignore();
  send_(WM_COMMAND, IDCANCEL, 0);
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      send_(WM_COMMAND, IDCANCEL, 0);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      send_(WM_COMMAND, IDOK, 0);
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void DialogWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange) {
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if ((change->oldState() & Qt::WindowMinimized) && !isMinimized() && isVisible()) restored_();
  }
  QWidget::changeEvent(event);
}

}  // namespace qarx::qt
