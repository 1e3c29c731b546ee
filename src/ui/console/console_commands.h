// What a line typed at the console means: a command to the dialog (a button,
// the tray icon, a menu entry) or the answer to an open message box.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui.h"

namespace qarx::console {

// A window message the console delivers for a command line.
struct Command {
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  bool needsTray = false;  // only while the tray icon is shown
  bool logPath = false;    // "log": the console prints the activity log file's path; no message
};

// "sysinfo" or "1000" -> WM_COMMAND 1000, "tray-left" -> WM_TRAY_NOTIFY
// (128, WM_LBUTTONDOWN), "log", ... Surrounding blanks and ASCII case are
// ignored.
std::optional<Command> ParseCommand(std::string_view line);

// The commands, for the error line and the help text.
std::string CommandList();

// The command name of an id ("open" for 1127), empty when it has none.
std::string CommandName(uint32_t id);

// A menu entry chosen by a line: its id, its command name or its text.
std::optional<uint32_t> ChooseMenuEntry(const std::vector<MenuItem>& items, std::string_view line);

// y, yes and 是 are Yes; everything else is No.
bool IsYes(std::string_view line);

// The line shown for a message box ("[caption] text (y/n)"); "\r\n" in the
// text becomes a line break.
std::string DescribeBox(const std::u16string& caption, const std::u16string& text, uint32_t style);

// The line shown for a pop-up menu.
std::string DescribeMenu(const std::vector<MenuItem>& items);

}  // namespace qarx::console
