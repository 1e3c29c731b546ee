// A winscard.dll for tests under Wine, whose own winscard.dll is a stub. It
// keeps Windows' behaviour of each call while the readers, cards and the
// service's state come from the control folder that the test writes (see
// world.h and docs/ports.md).
//
// Status waits block on a change notification of the control folder (and the
// context's cancel event), re-reading the folder only when a file name in it
// changed: the test replaces files by renaming, while the logs this DLL
// appends to change no name and wake nobody. Only if the notification cannot
// be set up does a wait re-check every 100 ms instead. Neither spins.
#define WINSCARDDATA __declspec(dllexport)
#include <windows.h>
#include <winscard.h>

#include <map>
#include <memory>
#include <mutex>

#include "world.h"

extern "C" {
const SCARD_IO_REQUEST g_rgSCardT0Pci = {SCARD_PROTOCOL_T0, sizeof(SCARD_IO_REQUEST)};
const SCARD_IO_REQUEST g_rgSCardT1Pci = {SCARD_PROTOCOL_T1, sizeof(SCARD_IO_REQUEST)};
const SCARD_IO_REQUEST g_rgSCardRawPci = {SCARD_PROTOCOL_RAW, sizeof(SCARD_IO_REQUEST)};
}

namespace fake_scard {
namespace {

constexpr wchar_t kPnpReader[] = L"\\\\?PnP?\\Notification";
constexpr DWORD kRecheckMs = 100;

struct Handle {
  explicit Handle(HANDLE h) : value(h) {}
  ~Handle() {
    if (value != nullptr && value != INVALID_HANDLE_VALUE) CloseHandle(value);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE value;
};

struct Context {
  unsigned start = 0;  // the service start it belongs to
  bool released = false;
  Handle cancel{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

struct Card {
  SCARDCONTEXT context = 0;
  std::wstring reader;
  DWORD protocol = 0;
};

std::mutex g_lock;
// Released contexts stay here (marked) so a wait still blocked on one keeps a
// valid event; a test run makes few.
std::map<SCARDCONTEXT, std::shared_ptr<Context>> g_contexts;
std::map<SCARDHANDLE, Card> g_cards;
ULONG_PTR g_next = 0x1000;

std::shared_ptr<Context> FindContext(SCARDCONTEXT handle) {
  std::lock_guard<std::mutex> hold(g_lock);
  auto it = g_contexts.find(handle);
  if (it == g_contexts.end() || it->second->released) return nullptr;
  return it->second;
}

// A context of a service that has stopped since (or is stopped now) is dead.
LONG ServiceCheck(const World& world, const Context& context) {
  if (!world.running || world.start != context.start) return static_cast<LONG>(SCARD_E_SERVICE_STOPPED);
  return SCARD_S_SUCCESS;
}

bool IsPnp(LPCWSTR name) { return name != nullptr && lstrcmpiW(name, kPnpReader) == 0; }

// The state a record would report now; true when it differs from what the
// caller says it knows. The high word is the reader count for the
// plug-and-play pseudo-reader and the card event count for a reader.
bool Evaluate(const World& world, const SCARD_READERSTATEW& record, DWORD& eventState) {
  const DWORD known = record.dwCurrentState;
  if (IsPnp(record.szReader)) {
    const DWORD count = static_cast<DWORD>(world.readers.size());
    const bool changed = known == SCARD_STATE_UNAWARE || (known >> 16) != count;
    eventState = (count << 16) | (changed ? SCARD_STATE_CHANGED : 0);
    return changed;
  }
  if (known & SCARD_STATE_IGNORE) {
    eventState = SCARD_STATE_IGNORE;
    return false;
  }
  const Reader* reader = world.Find(record.szReader ? record.szReader : L"");
  if (reader == nullptr) {
    eventState = SCARD_STATE_UNKNOWN | SCARD_STATE_CHANGED | SCARD_STATE_IGNORE;
    return true;
  }
  const DWORD state = reader->card ? SCARD_STATE_PRESENT : SCARD_STATE_EMPTY;
  const DWORD flags = known & 0xFFFFu & ~static_cast<DWORD>(SCARD_STATE_CHANGED);
  const bool changed = known == SCARD_STATE_UNAWARE || flags != state || (known >> 16) != reader->events;
  eventState = (reader->events << 16) | state | (changed ? SCARD_STATE_CHANGED : 0);
  return changed;
}

}  // namespace
}  // namespace fake_scard

using namespace fake_scard;

namespace fake_scard {
LONG WaitForStatusChange(SCARDCONTEXT handle, DWORD timeout, LPSCARD_READERSTATEW records, DWORD count);
}

namespace {

// SCardAccessStartedEvent's event: set while the service runs, kept so by a
// thread of the DLL that follows the control folder.
HANDLE g_started = nullptr;

DWORD WINAPI FollowService(LPVOID) {
  Handle notice(FindFirstChangeNotificationW(ControlFolder().c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME));
  for (;;) {
    if (ReadWorld().running) {
      SetEvent(g_started);
    } else {
      ResetEvent(g_started);
    }
    if (notice.value == INVALID_HANDLE_VALUE) {
      Sleep(kRecheckMs);
    } else {
      WaitForSingleObject(notice.value, INFINITE);
      FindNextChangeNotification(notice.value);
    }
  }
}

}  // namespace

extern "C" {

HANDLE WINAPI SCardAccessStartedEvent(void) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_started == nullptr) {
    g_started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE follower = CreateThread(nullptr, 0, &FollowService, nullptr, 0, nullptr);
    if (follower) CloseHandle(follower);
  }
  return g_started;
}

void WINAPI SCardReleaseStartedEvent(void) {}

LONG WINAPI SCardEstablishContext(DWORD scope, LPCVOID, LPCVOID, LPSCARDCONTEXT context) {
  if (context == nullptr) return static_cast<LONG>(SCARD_E_INVALID_PARAMETER);
  if (scope != SCARD_SCOPE_USER && scope != SCARD_SCOPE_SYSTEM) return static_cast<LONG>(SCARD_E_INVALID_VALUE);
  const World world = ReadWorld();
  if (ControlFolder().empty() || !world.running) return static_cast<LONG>(SCARD_E_NO_SERVICE);
  auto fresh = std::make_shared<Context>();
  fresh->start = world.start;
  std::lock_guard<std::mutex> hold(g_lock);
  *context = g_next++;
  g_contexts[*context] = fresh;
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardReleaseContext(SCARDCONTEXT handle) {
  std::lock_guard<std::mutex> hold(g_lock);
  auto it = g_contexts.find(handle);
  if (it == g_contexts.end() || it->second->released) return static_cast<LONG>(SCARD_E_INVALID_HANDLE);
  it->second->released = true;
  SetEvent(it->second->cancel.value);  // a wait still running on it ends
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardCancel(SCARDCONTEXT handle) {
  auto context = FindContext(handle);
  if (!context) return static_cast<LONG>(SCARD_E_INVALID_HANDLE);
  SetEvent(context->cancel.value);
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardListReadersW(SCARDCONTEXT handle, LPCWSTR, LPWSTR readers, LPDWORD length) {
  auto context = FindContext(handle);
  if (!context) return static_cast<LONG>(SCARD_E_INVALID_HANDLE);
  if (length == nullptr) return static_cast<LONG>(SCARD_E_INVALID_PARAMETER);
  const World world = ReadWorld();
  if (LONG rv = ServiceCheck(world, *context)) return rv;
  if (world.readers.empty()) return static_cast<LONG>(SCARD_E_NO_READERS_AVAILABLE);
  std::wstring list;
  for (const Reader& reader : world.readers) list += reader.name + L'\0';
  list += L'\0';
  const DWORD needed = static_cast<DWORD>(list.size());
  if (*length == SCARD_AUTOALLOCATE) return static_cast<LONG>(SCARD_E_INVALID_PARAMETER);
  if (readers == nullptr) {
    *length = needed;
    return SCARD_S_SUCCESS;
  }
  if (*length < needed) {
    *length = needed;
    return static_cast<LONG>(SCARD_E_INSUFFICIENT_BUFFER);
  }
  list.copy(readers, needed);
  *length = needed;
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardGetStatusChangeW(SCARDCONTEXT handle, DWORD timeout, LPSCARD_READERSTATEW records, DWORD count) {
  const LONG rv = WaitForStatusChange(handle, timeout, records, count);
  for (DWORD i = 0; i < count && rv != static_cast<LONG>(SCARD_E_INVALID_PARAMETER); ++i)
    LogStatus(records[i].szReader ? records[i].szReader : L"", static_cast<DWORD>(rv), records[i].dwEventState);
  return rv;
}

}  // extern "C"

LONG fake_scard::WaitForStatusChange(SCARDCONTEXT handle, DWORD timeout, LPSCARD_READERSTATEW records,
                                      DWORD count) {
  auto context = FindContext(handle);
  if (!context) return static_cast<LONG>(SCARD_E_INVALID_HANDLE);
  if (count > 0 && records == nullptr) return static_cast<LONG>(SCARD_E_INVALID_PARAMETER);
  // Armed before the first reading, so no change after it is missed.
  Handle notice(FindFirstChangeNotificationW(ControlFolder().c_str(), FALSE,
                                             FILE_NOTIFY_CHANGE_FILE_NAME));
  const bool notified = notice.value != INVALID_HANDLE_VALUE;
  const ULONGLONG began = GetTickCount64();
  for (;;) {
    const World world = ReadWorld();
    if (LONG rv = ServiceCheck(world, *context)) return rv;
    bool pnp = false;
    for (DWORD i = 0; i < count; ++i) pnp = pnp || IsPnp(records[i].szReader);
    if (world.readers.empty() && !pnp && count > 0) return static_cast<LONG>(SCARD_E_NO_READERS_AVAILABLE);
    bool changed = false;
    for (DWORD i = 0; i < count; ++i) changed = Evaluate(world, records[i], records[i].dwEventState) || changed;
    if (changed) return SCARD_S_SUCCESS;

    DWORD wait = INFINITE;
    if (timeout != INFINITE) {
      const ULONGLONG spent = GetTickCount64() - began;
      if (spent >= timeout) return static_cast<LONG>(SCARD_E_TIMEOUT);
      wait = static_cast<DWORD>(timeout - spent);
    }
    if (!notified && wait > kRecheckMs) wait = kRecheckMs;
    HANDLE handles[2] = {context->cancel.value, notice.value};
    const DWORD woke = WaitForMultipleObjects(notified ? 2 : 1, handles, FALSE, wait);
    if (woke == WAIT_OBJECT_0) return static_cast<LONG>(SCARD_E_CANCELLED);
    if (woke == WAIT_OBJECT_0 + 1) FindNextChangeNotification(notice.value);
  }
}

extern "C" {

LONG WINAPI SCardConnectW(SCARDCONTEXT handle, LPCWSTR name, DWORD shareMode, DWORD preferred, LPSCARDHANDLE card,
                          LPDWORD active) {
  auto context = FindContext(handle);
  if (!context) return static_cast<LONG>(SCARD_E_INVALID_HANDLE);
  if (name == nullptr || card == nullptr || active == nullptr) return static_cast<LONG>(SCARD_E_INVALID_PARAMETER);
  if (shareMode != SCARD_SHARE_SHARED && shareMode != SCARD_SHARE_EXCLUSIVE)
    return static_cast<LONG>(SCARD_E_INVALID_VALUE);
  const World world = ReadWorld();
  if (LONG rv = ServiceCheck(world, *context)) return rv;
  const Reader* reader = world.Find(name);
  if (reader == nullptr) return static_cast<LONG>(SCARD_E_UNKNOWN_READER);
  if (!reader->card) return static_cast<LONG>(SCARD_W_REMOVED_CARD);
  if ((preferred & reader->protocol) == 0) return static_cast<LONG>(SCARD_E_PROTO_MISMATCH);
  std::lock_guard<std::mutex> hold(g_lock);
  *card = g_next++;
  *active = reader->protocol;
  g_cards[*card] = Card{handle, reader->name, reader->protocol};
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardTransmit(SCARDHANDLE handle, LPCSCARD_IO_REQUEST sendPci, LPCBYTE command, DWORD length,
                          LPSCARD_IO_REQUEST, LPBYTE answer, LPDWORD answerLength) {
  Card card;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    auto it = g_cards.find(handle);
    if (it == g_cards.end()) return static_cast<LONG>(SCARD_E_INVALID_HANDLE);
    card = it->second;
  }
  auto context = FindContext(card.context);
  if (!context) return static_cast<LONG>(SCARD_E_INVALID_HANDLE);
  if (sendPci == nullptr || command == nullptr || answer == nullptr || answerLength == nullptr)
    return static_cast<LONG>(SCARD_E_INVALID_PARAMETER);
  if (sendPci->dwProtocol != card.protocol) return static_cast<LONG>(SCARD_E_PROTO_MISMATCH);
  const World world = ReadWorld();
  if (LONG rv = ServiceCheck(world, *context)) return rv;
  const Reader* reader = world.Find(card.reader);
  if (reader == nullptr || !reader->card) return static_cast<LONG>(SCARD_W_REMOVED_CARD);
  LogCommand(card.reader, command, length);
  auto found = reader->answers.find(ToHex(command, length));
  const Bytes& reply = found != reader->answers.end() ? found->second : reader->defaultAnswer;
  if (*answerLength < reply.size()) {
    *answerLength = static_cast<DWORD>(reply.size());
    return static_cast<LONG>(SCARD_E_INSUFFICIENT_BUFFER);
  }
  std::copy(reply.begin(), reply.end(), answer);
  *answerLength = static_cast<DWORD>(reply.size());
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardDisconnect(SCARDHANDLE handle, DWORD) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_cards.erase(handle) == 0) return static_cast<LONG>(SCARD_E_INVALID_HANDLE);
  return SCARD_S_SUCCESS;
}

}  // extern "C"
