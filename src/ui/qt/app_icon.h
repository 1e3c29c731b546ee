// The application icon (resource 128), drawn at start-up: a blue IC card with
// its gold chip. Window, taskbar, tray and minimised dialog all show it.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace qarx::qt {

inline constexpr int kLargeIconSize = 32;  // SM_CXICON / SM_CYICON
inline constexpr int kSmallIconSize = 16;  // SM_CXSMICON / SM_CYSMICON

QPixmap DrawAppIcon(int size);
QIcon AppIcon();

}  // namespace qarx::qt
