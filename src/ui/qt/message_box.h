// Message boxes as the window system's MessageBox shows them: the style's
// buttons and icon, the caption, no owner window; a system-modal box stays
// above every other window.
#pragma once

#include <cstdint>
#include <string>

#include <QMessageBox>
#include <QString>

namespace qarx::qt {

// "\r\n" line breaks as Qt shows them.
QString DisplayText(const std::u16string& text);

// A hidden box for the MB_* style; the caller shows it and deletes it.
QMessageBox* MakeMessageBox(const std::u16string& text, const std::u16string& caption, uint32_t style);

// IDOK, IDCANCEL, IDYES, IDNO ... for the button that closed the box (null:
// closed without a button, which counts as the box's cancel answer).
int AnswerOf(const QMessageBox& box, QAbstractButton* clicked);

}  // namespace qarx::qt
