#include "platform/line_reader.h"

namespace qarx::console {

void TakeLines(std::string& pending, const LineReader::OnLine& onLine) {
  std::string::size_type newline;
  while ((newline = pending.find('\n')) != std::string::npos) {
    std::string line = pending.substr(0, newline);
    pending.erase(0, newline + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    onLine(std::move(line));
  }
}

}  // namespace qarx::console
