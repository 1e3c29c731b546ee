#include "ui/qt/message_box.h"

#include <QAbstractButton>

#include "common/qarx_types.h"

namespace qarx::qt {

namespace {

constexpr uint32_t kTypeMask = 0xF;
constexpr uint32_t kIconMask = 0xF0;
constexpr uint32_t kTopmostStyles = MB_SYSTEMMODAL | 0x40000;  // MB_TOPMOST
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;

QMessageBox::StandardButtons ButtonsOf(uint32_t style) {
  switch (style & kTypeMask) {
    case 1: return QMessageBox::Ok | QMessageBox::Cancel;
    case 2: return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case 3: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MB_YESNO: return QMessageBox::Yes | QMessageBox::No;
    case 5: return QMessageBox::Retry | QMessageBox::Cancel;
    default: return QMessageBox::Ok;
  }
}

QMessageBox::Icon IconOf(uint32_t style) {
  switch (style & kIconMask) {
    case 0x10: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONWARNING: return QMessageBox::Warning;
    case 0x40: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

QString DisplayText(const std::u16string& text) {
  QString shown = QString::fromStdU16String(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

QMessageBox* MakeMessageBox(const std::u16string& text, const std::u16string& caption, uint32_t style) {
  auto* box = new QMessageBox(IconOf(style), DisplayText(caption), DisplayText(text), ButtonsOf(style));
  box->setTextFormat(Qt::PlainText);
  if (style & kTopmostStyles) box->setWindowFlag(Qt::WindowStaysOnTopHint);
  return box;
}

int AnswerOf(const QMessageBox& box, QAbstractButton* clicked) {
  QMessageBox::StandardButton button = QMessageBox::NoButton;
  if (clicked) button = box.standardButton(clicked);
  switch (button) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Abort: return IDABORT;
    case QMessageBox::Retry: return IDRETRY;
    case QMessageBox::Ignore: return IDIGNORE;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: break;
  }
  // Closed by other means: the box's cancelling answer.
  const QMessageBox::StandardButtons buttons = box.standardButtons();
  if (buttons & QMessageBox::Cancel) return IDCANCEL;
  if (buttons & QMessageBox::No) return IDNO;
  if (buttons & QMessageBox::Ignore) return IDIGNORE;
  return IDOK;
}

}  // namespace qarx::qt
