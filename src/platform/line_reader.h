// Reads lines from a file descriptor on a thread of its own and hands each
// to a callback; the end of input (EOF, error, no descriptor) is reported
// once. Stopping never waits on the input: no callback runs once Stop has
// returned. Each OS has its own reading loop (line_reader_<os>.cpp in its
// adapter folder).
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace qarx::console {

class LineReader {
 public:
  using OnLine = std::function<void(std::string line)>;
  using OnEnd = std::function<void()>;
  LineReader() = default;
  ~LineReader();  // stops
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Starts reading fd (not closed here). False when the thread cannot be
  // made; onEnd has then been called.
  bool Start(int fd, OnLine onLine, OnEnd onEnd);
  void Stop();

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// Splits buffered input into lines ("\n" or "\r\n"); what is left waits for
// more input.
void TakeLines(std::string& pending, const LineReader::OnLine& onLine);

}  // namespace qarx::console
