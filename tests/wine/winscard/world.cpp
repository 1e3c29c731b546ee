#include "world.h"

#include <algorithm>
#include <mutex>

namespace fake_scard {

namespace {

std::string ReadFile(const std::wstring& path) {
  std::string text;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return text;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(file);
  return text;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                    nullptr);
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
  return utf8;
}

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  std::string digits;
  for (char c : hex)
    if (isxdigit(static_cast<unsigned char>(c))) digits += c;
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    bytes.push_back(static_cast<BYTE>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return bytes;
}

bool IsHexKey(const std::string& key) {
  return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) { return isxdigit(static_cast<unsigned char>(c)); });
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return text;
}

// name=..., card=0|1, protocol=T0|T1, atr=hex, default=hex, <command hex>=<answer hex>
Reader ParseReader(const std::string& text) {
  Reader reader;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    if (key == "name") reader.name = Wide(value);
    else if (key == "card") reader.card = value == "1";
    else if (key == "protocol") reader.protocol = value == "T0" ? 1 : 2;
    else if (key == "atr") reader.atr = FromHex(value);
    else if (key == "default") reader.defaultAnswer = FromHex(value);
    else if (IsHexKey(key)) reader.answers[Upper(key)] = FromHex(value);
  }
  return reader;
}

std::mutex g_countersLock;
std::map<std::wstring, std::pair<bool, DWORD>> g_counters;  // name -> (card seen last, event count)

}  // namespace

const Reader* World::Find(const std::wstring& name) const {
  for (const Reader& reader : readers)
    if (reader.name == name) return &reader;
  return nullptr;
}

std::wstring ControlFolder() {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"QARX_FAKE_SCARD_DIR", buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  return std::wstring(buffer, n);
}

World ReadWorld() {
  World world;
  const std::wstring folder = ControlFolder();
  if (folder.empty()) return world;
  // "running N" (the Nth start) or "stopped"; no file: the first start.
  const std::string service = ReadFile(folder + L"\\service");
  world.running = service.rfind("stopped", 0) != 0;
  if (service.rfind("running", 0) == 0 && service.size() > 8) world.start = std::stoul(service.substr(8));

  std::vector<std::wstring> files;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*.reader").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do files.push_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
  }
  std::sort(files.begin(), files.end());
  std::lock_guard<std::mutex> hold(g_countersLock);
  for (const std::wstring& file : files) {
    Reader reader = ParseReader(ReadFile(folder + L"\\" + file));
    if (reader.name.empty()) continue;
    auto [entry, fresh] = g_counters.try_emplace(reader.name, reader.card, reader.card ? 1 : 0);
    if (!fresh && entry->second.first != reader.card) {
      entry->second.first = reader.card;
      ++entry->second.second;
    }
    reader.events = entry->second.second;
    world.readers.push_back(std::move(reader));
  }
  return world;
}

std::string ToHex(const BYTE* bytes, DWORD length) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (DWORD i = 0; i < length; ++i) {
    hex += digits[bytes[i] >> 4];
    hex += digits[bytes[i] & 15];
  }
  return hex;
}

namespace {

void AppendLine(const wchar_t* log, const std::string& line) {
  const std::wstring folder = ControlFolder();
  if (folder.empty()) return;
  // The monitor and the watchers log at once: one whole line at a time.
  static std::mutex appending;
  const std::lock_guard<std::mutex> one(appending);
  HANDLE file = CreateFileW((folder + L"\\" + log).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

std::string Hex32(DWORD value) {
  char text[9];
  wsprintfA(text, "%08X", value);
  return text;
}

}  // namespace

void LogCommand(const std::wstring& reader, const BYTE* command, DWORD length) {
  AppendLine(L"apdu.log", Narrow(reader) + "|" + ToHex(command, length) + "\n");
}

void LogStatus(const std::wstring& reader, DWORD result, DWORD eventState) {
  AppendLine(L"status.log", Narrow(reader) + "|" + Hex32(result) + "|" + Hex32(eventState) + "\n");
}

}  // namespace fake_scard
