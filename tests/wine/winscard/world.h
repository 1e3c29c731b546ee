// What the test has put in the control folder ($QARX_FAKE_SCARD_DIR): the
// attached readers, their cards, and whether the smart-card service runs.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace fake_scard {

using Bytes = std::vector<BYTE>;

struct Reader {
  std::wstring name;
  bool card = false;
  DWORD protocol = 2;  // SCARD_PROTOCOL_T1
  Bytes atr;
  std::map<std::string, Bytes> answers;  // command in upper-case hex -> answer
  Bytes defaultAnswer{0x6D, 0x00};
  DWORD events = 0;  // card insertions and removals seen by this process
};

struct World {
  bool running = false;
  unsigned start = 0;           // which start of the service this is
  std::vector<Reader> readers;  // in file-name order
  const Reader* Find(const std::wstring& name) const;
};

// The control folder, or empty when the variable is not set (no service).
std::wstring ControlFolder();

// Reads the folder. Event counters carry over from the previous reading of
// this process, so a card change counts once however many threads look.
World ReadWorld();

// Appends "reader|COMMAND-HEX" to apdu.log in the folder.
void LogCommand(const std::wstring& reader, const BYTE* command, DWORD length);

// Appends "reader|RESULT|EVENT-STATE" (hex) to status.log: what a status
// wait returned, so a test knows what the program has seen.
void LogStatus(const std::wstring& reader, DWORD result, DWORD eventState);

std::string ToHex(const BYTE* bytes, DWORD length);

}  // namespace fake_scard
