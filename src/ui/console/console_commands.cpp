#include "ui/console/console_commands.h"

#include "common/qarx_types.h"
#include "common/text.h"

namespace qarx::console {

namespace {

struct Named {
  std::string_view name;
  uint32_t id;
};

// The hidden buttons and the tray menu's entries, as the console knows them.
constexpr Named kCommands[] = {
    {"sysinfo", IDC_SYSINFO},     {"browser", IDC_BROWSER},         {"ccid", IDC_CCIDINFO},
    {"download", IDC_DOWNLOAD},   {"installinfo", IDC_INSTALLINFO}, {"checkupdate", IDC_CHECKUPDATE},
    {"ok", IDOK},                 {"cancel", IDCANCEL},             {"open", ID_MENU_OPEN},
    {"exit", ID_MENU_EXIT},       {"minimize", ID_MENU_MINIMIZE},   {"hide", ID_MENU_HIDE},
};

std::string Normalise(std::string_view line) {
  size_t begin = 0;
  size_t end = line.size();
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (begin < end && blank(line[begin])) ++begin;
  while (end > begin && blank(line[end - 1])) --end;
  std::string out(line.substr(begin, end - begin));
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string WithLineBreaks(const std::u16string& text) {
  std::string out = ToUtf8(text);
  std::string::size_type at = 0;
  while ((at = out.find("\r\n", at)) != std::string::npos) out.erase(at, 1);
  return out;
}

}  // namespace

std::optional<Command> ParseCommand(std::string_view line) {
  const std::string word = Normalise(line);
  if (word == "tray-left") return Command{WM_TRAY_NOTIFY, IDR_MAINFRAME, WM_LBUTTONDOWN, true};
  if (word == "tray-right") return Command{WM_TRAY_NOTIFY, IDR_MAINFRAME, WM_RBUTTONDOWN, true};
  if (word == "log") return Command{0, 0, 0, false, true};
  for (const Named& command : kCommands) {
    if (word == command.name || word == std::to_string(command.id))
      return Command{WM_COMMAND, command.id, 0, false};
  }
  return std::nullopt;
}

std::string CommandList() {
  std::string out;
  for (const Named& command : kCommands) {
    out += std::string(command.name) + " (" + std::to_string(command.id) + "), ";
  }
  return out + "tray-left, tray-right, log";
}

std::string CommandName(uint32_t id) {
  for (const Named& command : kCommands)
    if (command.id == id) return std::string(command.name);
  return {};
}

std::optional<uint32_t> ChooseMenuEntry(const std::vector<MenuItem>& items, std::string_view line) {
  const std::string word = Normalise(line);
  for (const MenuItem& item : items) {
    if (item.separator()) continue;
    if (word == std::to_string(item.id) || word == CommandName(item.id) || word == ToUtf8(item.text))
      return item.id;
  }
  return std::nullopt;
}

bool IsYes(std::string_view line) {
  const std::string word = Normalise(line);
  return word == "y" || word == "yes" || word == "是";
}

std::string DescribeBox(const std::u16string& caption, const std::u16string& text, uint32_t style) {
  const bool yesNo = (style & 0xF) == MB_YESNO;
  return "[" + WithLineBreaks(caption) + "] " + WithLineBreaks(text) + (yesNo ? " (y/n)" : " (Enter)");
}

std::string DescribeMenu(const std::vector<MenuItem>& items) {
  std::string out = "menu:";
  for (size_t i = 0; i < items.size(); ++i) {
    out += i ? " | " : " ";
    const MenuItem& item = items[i];
    if (item.separator()) {
      out += "-";
      continue;
    }
    const std::string name = CommandName(item.id);
    out += ToUtf8(item.text) + " (" + (name.empty() ? "" : name + " ") + std::to_string(item.id) + ")";
  }
  return out;
}

}  // namespace qarx::console
