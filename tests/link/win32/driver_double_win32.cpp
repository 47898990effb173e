#include "driver_double_win32.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

namespace driver_double {
namespace {

// Far more than any bound of the program: a wait this long is a wait without end.
constexpr uint64_t kForeverMs = 3'600'000;
constexpr uint64_t kNever = UINT64_MAX;
// Requests still pending keep this in OVERLAPPED::Internal, as the system does.
constexpr ULONG_PTR kPending = 0x103;  // STATUS_PENDING
constexpr LONGLONG kCounterHz = 10'000'000;
constexpr LONGLONG kCounterBase = 987'654'321;  // the counter does not start at 0

HANDLE const kPortHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x4000));

struct Request {
  bool read = false;
  OVERLAPPED* overlapped = nullptr;
  HANDLE event = nullptr;
  uint8_t* buffer = nullptr;  // where a read puts its bytes
  std::string data;           // what a write sends
  DWORD count = 0;
  DWORD done = 0;
  uint64_t startMs = 0;
  uint64_t lastByteMs = 0;
  uint64_t sentAtMs = 0;  // a write: when its bytes are on the line
  bool cancelled = false;
  uint64_t cancelEndsMs = kNever;
  bool finished = false;
};

struct Arrival {
  uint64_t atMs;
  std::string bytes;
};

struct State {
  uint64_t now = 0;
  // The system time, as an offset from the clock. No call of the table reads it: a
  // clock source that did would jump with it.
  int64_t systemOffsetMs = 0;
  std::multimap<uint64_t, int64_t> jumps;
  bool open = false;
  DCB line{};
  std::vector<DCB> applied;
  bool refuseTimeouts = false;
  COMMTIMEOUTS timeouts{};
  std::function<std::string(const std::string&)> answer;
  uint32_t replyAfterMs = 5;
  uint32_t switchBaud = 19200;
  std::vector<Arrival> arrivals;
  std::multimap<uint64_t, bool> lineErrors;
  std::deque<uint8_t> received;
  DWORD errors = 0;
  Cancel cancel = Cancel::kAtOnce;
  uint32_t cancelLateMs = 0;
  bool abortNextRead = false;
  bool holdWrites = false;
  uint64_t removeAtMs = kNever;
  DWORD removalError = 0;
  bool removed = false;
  std::vector<std::unique_ptr<Request>> requests;  // every request not yet ended
  std::map<HANDLE, bool> events;                   // signalled or not
  uintptr_t nextEvent = 0x5000;
  std::vector<std::string> violations;
  uint32_t requestCount = 0;
};

State* state = nullptr;
// The system timer periods asked for and not given back: the program's, whichever port
// and line a test has set up.
std::vector<UINT> timerPeriods;
// The console's input mode as GetConsoleMode reports it (never with
// ENABLE_EXTENDED_FLAGS), at the defaults of a console window, and its control handlers.
DWORD consoleMode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                    ENABLE_MOUSE_INPUT | ENABLE_INSERT_MODE | ENABLE_QUICK_EDIT_MODE;
std::vector<PHANDLER_ROUTINE> consoleHandlers;
HANDLE const kConsoleInput = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x6000));

DCB FreshLine() {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = 9600;
  dcb.fBinary = TRUE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  return dcb;
}

void Violation(const std::string& what) {
  state->violations.push_back("at " + std::to_string(state->now) + " ms: " + what);
}

bool Fails(DWORD error) {
  SetLastError(error);
  return false;
}

// The switch understands what the line sends: 8 data bits, no parity, its rate. (Two
// stop bits are only a longer pause between bytes to it.)
bool SwitchUnderstands() {
  const DCB& d = state->line;
  return d.ByteSize == 8 && d.Parity == NOPARITY && d.BaudRate == state->switchBaud;
}

void Finish(Request* r, DWORD error) {
  r->finished = true;
  // The driver writes the result into the record the request was started with, whoever
  // holds that memory now.
  r->overlapped->Internal = error;
  r->overlapped->InternalHigh = r->done;
  state->events[r->event] = true;
}

void Sweep() {
  auto& list = state->requests;
  for (size_t i = 0; i < list.size();) {
    if (list[i]->finished) {
      list.erase(list.begin() + static_cast<long>(i));
    } else {
      ++i;
    }
  }
}

// A byte from the switch reaches the driver.
void Receive(const std::string& burst) {
  const DCB& d = state->line;
  bool rateWrong = d.BaudRate != state->switchBaud || d.ByteSize != 8;
  // The switch sends 8N1 back to back: a receiver that expects a parity bit or a second
  // stop bit takes the next byte's start bit for it, and every byte after the first of a
  // burst is misframed.
  bool framingLonger = d.Parity != NOPARITY || d.StopBits != ONESTOPBIT;
  for (size_t i = 0; i < burst.size(); ++i) {
    auto byte = static_cast<uint8_t>(burst[i]);
    bool bad = rateWrong || (framingLonger && i > 0);
    if (bad) {
      state->errors |= CE_FRAME;
      byte = d.fErrorChar ? static_cast<uint8_t>(d.ErrorChar) : 0xFF;
    }
    if (d.fDsrSensitivity) continue;  // DSR is low on a three-wire cable
    if (d.fNull && byte == 0) continue;
    state->received.push_back(byte);
  }
}

void ServeRead(Request* r) {
  const COMMTIMEOUTS& t = state->timeouts;
  while (r->done < r->count && !state->received.empty()) {
    r->buffer[r->done++] = state->received.front();
    state->received.pop_front();
    r->lastByteMs = state->now;
  }
  if (r->done == r->count) return Finish(r, 0);
  if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
      t.ReadTotalTimeoutConstant == 0) {
    return Finish(r, 0);
  }
  if (r->done > 0 && t.ReadIntervalTimeout != 0 &&
      state->now - r->lastByteMs >= t.ReadIntervalTimeout) {
    return Finish(r, 0);
  }
  uint64_t total =
      static_cast<uint64_t>(t.ReadTotalTimeoutMultiplier) * r->count + t.ReadTotalTimeoutConstant;
  if (total != 0 && state->now - r->startMs >= total) Finish(r, 0);
}

void ServeWrite(Request* r) {
  const DCB& d = state->line;
  // CTS and DSR are low on a three-wire cable: with output flow control nothing goes.
  if (d.fOutxCtsFlow || d.fOutxDsrFlow || state->holdWrites) return;
  if (state->now < r->sentAtMs) return;
  r->done = r->count;
  Finish(r, 0);
  if (SwitchUnderstands() && state->answer) {
    std::string reply = state->answer(r->data);
    if (!reply.empty()) state->arrivals.push_back({state->now + state->replyAfterMs, reply});
  }
}

// Everything that happens at the present moment.
void Serve() {
  State& s = *state;
  if (!s.removed && s.now >= s.removeAtMs) {
    s.removed = true;
    for (auto& r : s.requests) Finish(r.get(), s.removalError);
  }
  for (auto it = s.arrivals.begin(); it != s.arrivals.end();) {
    if (it->atMs <= s.now) {
      if (!s.removed) Receive(it->bytes);
      it = s.arrivals.erase(it);
    } else {
      ++it;
    }
  }
  for (auto it = s.lineErrors.begin(); it != s.lineErrors.end() && it->first <= s.now;) {
    s.errors |= CE_FRAME;
    it = s.lineErrors.erase(it);
  }
  for (auto it = s.jumps.begin(); it != s.jumps.end() && it->first <= s.now;) {
    s.systemOffsetMs += it->second;
    it = s.jumps.erase(it);
  }
  for (auto& r : s.requests) {
    if (r->finished) continue;
    if (r->cancelled) {
      if (s.now >= r->cancelEndsMs) Finish(r.get(), ERROR_OPERATION_ABORTED);
    } else if (s.errors != 0 && s.line.fAbortOnError) {
      Finish(r.get(), ERROR_OPERATION_ABORTED);
    } else if (r->read) {
      ServeRead(r.get());
    } else {
      ServeWrite(r.get());
    }
  }
}

void Tick() {
  // Requests that ended are let go between two moments, never while a call still holds one.
  Sweep();
  ++state->now;
  Serve();
}

Request* Find(const OVERLAPPED* overlapped) {
  for (auto& r : state->requests) {
    if (r->overlapped == overlapped && !r->finished) return r.get();
  }
  return nullptr;
}

bool Overlaps(const uint8_t* a, size_t an, const uint8_t* b, size_t bn) {
  return a < b + bn && b < a + an;
}

// A new request must not reuse what the driver may still write into.
void CheckReuse(const OVERLAPPED* overlapped, const uint8_t* buffer, DWORD count) {
  for (auto& r : state->requests) {
    if (r->finished) continue;
    if (r->overlapped == overlapped) {
      Violation("a request reuses the OVERLAPPED of one the driver still holds");
    }
    if (r->read && buffer != nullptr && Overlaps(r->buffer, r->count, buffer, count)) {
      Violation("a request reuses the buffer of a read the driver still holds");
    }
  }
}

bool Gone() {
  if (!state->removed) return false;
  SetLastError(state->removalError);
  return true;
}

// ---- the calls

HANDLE WINAPI DoubleCreateFileA(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                HANDLE) {
  std::string expected = "\\\\.\\COM" + std::to_string(kPort);
  if (expected != name || state->removed) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (state->open) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  state->open = true;
  return kPortHandle;
}

BOOL WINAPI DoubleCloseHandle(HANDLE handle) {
  if (handle == kPortHandle) {
    state->open = false;
    // Closing the port ends what the driver still holds for it, as far as the program
    // can tell; a driver that never ends a request keeps its memory, though.
    return TRUE;
  }
  return state->events.erase(handle) == 1 ? TRUE : Fails(ERROR_INVALID_HANDLE);
}

BOOL WINAPI DoubleGetCommState(HANDLE, LPDCB dcb) {
  if (Gone()) return FALSE;
  *dcb = state->line;
  return TRUE;
}

BOOL WINAPI DoubleSetCommState(HANDLE, LPDCB dcb) {
  if (Gone()) return FALSE;
  if (dcb->ByteSize < 5 || dcb->ByteSize > 8 || dcb->XonChar == dcb->XoffChar ||
      dcb->BaudRate == 0) {
    return Fails(ERROR_INVALID_PARAMETER);
  }
  state->applied.push_back(*dcb);
  state->line = *dcb;
  return TRUE;
}

BOOL WINAPI DoubleSetCommTimeouts(HANDLE, LPCOMMTIMEOUTS timeouts) {
  if (Gone()) return FALSE;
  if (state->refuseTimeouts) return Fails(ERROR_INVALID_PARAMETER);
  state->timeouts = *timeouts;
  return TRUE;
}

BOOL WINAPI DoubleSetupComm(HANDLE, DWORD, DWORD) { return Gone() ? FALSE : TRUE; }

BOOL Start(std::unique_ptr<Request> request, LPDWORD transferred) {
  Request* r = request.get();
  ++state->requestCount;
  state->events[r->event] = false;  // a request resets its event as it starts
  r->overlapped->Internal = kPending;
  r->overlapped->InternalHigh = 0;
  r->startMs = state->now;
  state->requests.push_back(std::move(request));
  Serve();
  if (r->finished) {
    // Ended at once: the call reports it (the event is signalled too).
    if (transferred != nullptr) *transferred = r->done;
    return r->overlapped->Internal == 0 ? TRUE : Fails(static_cast<DWORD>(r->overlapped->Internal));
  }
  return Fails(ERROR_IO_PENDING);
}

BOOL WINAPI DoubleReadFile(HANDLE, LPVOID buffer, DWORD count, LPDWORD transferred,
                           LPOVERLAPPED overlapped) {
  if (Gone()) return FALSE;
  if (state->abortNextRead) {
    state->abortNextRead = false;
    return Fails(ERROR_OPERATION_ABORTED);
  }
  if (state->errors != 0 && state->line.fAbortOnError) return Fails(ERROR_OPERATION_ABORTED);
  CheckReuse(overlapped, static_cast<uint8_t*>(buffer), count);
  auto r = std::make_unique<Request>();
  r->read = true;
  r->overlapped = overlapped;
  r->event = overlapped->hEvent;
  r->buffer = static_cast<uint8_t*>(buffer);
  r->count = count;
  return Start(std::move(r), transferred);
}

BOOL WINAPI DoubleWriteFile(HANDLE, LPCVOID data, DWORD count, LPDWORD transferred,
                            LPOVERLAPPED overlapped) {
  if (Gone()) return FALSE;
  if (state->errors != 0 && state->line.fAbortOnError) return Fails(ERROR_OPERATION_ABORTED);
  CheckReuse(overlapped, nullptr, 0);
  auto r = std::make_unique<Request>();
  r->overlapped = overlapped;
  r->event = overlapped->hEvent;
  r->data.assign(static_cast<const char*>(data), count);
  r->count = count;
  // Ten bits a byte at the line's rate, at least a millisecond.
  uint64_t bits = 10ull * count * 1000;
  r->sentAtMs = state->now + 1 + bits / (state->line.BaudRate ? state->line.BaudRate : 1);
  return Start(std::move(r), transferred);
}

BOOL WINAPI DoubleGetOverlappedResult(HANDLE, LPOVERLAPPED overlapped, LPDWORD transferred,
                                      BOOL wait) {
  Request* r = Find(overlapped);
  if (r != nullptr && !wait) return Fails(ERROR_IO_INCOMPLETE);
  if (r != nullptr) {
    uint64_t until = state->now + kForeverMs;
    while (!r->finished && state->now < until) Tick();
    if (!r->finished) {
      Violation("GetOverlappedResult waited without a bound for a request that never ends");
      *transferred = 0;
      return Fails(ERROR_IO_INCOMPLETE);
    }
  }
  *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  return overlapped->Internal == 0 ? TRUE : Fails(static_cast<DWORD>(overlapped->Internal));
}

BOOL WINAPI DoubleCancelIo(HANDLE) {
  for (auto& r : state->requests) {
    if (r->finished || r->cancelled) continue;
    r->cancelled = true;
    switch (state->cancel) {
      case Cancel::kAtOnce: r->cancelEndsMs = state->now; break;
      case Cancel::kLate: r->cancelEndsMs = state->now + state->cancelLateMs; break;
      case Cancel::kNever: r->cancelEndsMs = kNever; break;
    }
  }
  Serve();
  return TRUE;
}

BOOL WINAPI DoubleClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT status) {
  if (Gone()) return FALSE;
  if (errors != nullptr) *errors = state->errors;
  state->errors = 0;
  if (status != nullptr) {
    ZeroMemory(status, sizeof *status);
    status->cbInQue = static_cast<DWORD>(state->received.size());
  }
  return TRUE;
}

HANDLE WINAPI DoubleCreateEventA(LPSECURITY_ATTRIBUTES, BOOL, BOOL initial, LPCSTR) {
  auto handle = reinterpret_cast<HANDLE>(state->nextEvent++);
  state->events[handle] = initial != FALSE;
  return handle;
}

DWORD WINAPI DoubleWaitForSingleObject(HANDLE handle, DWORD ms) {
  auto signalled = [handle] {
    auto it = state->events.find(handle);
    return it != state->events.end() && it->second;
  };
  if (state->events.count(handle) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  uint64_t until = state->now + (ms == INFINITE ? kForeverMs : ms);
  while (!signalled() && state->now < until) Tick();
  if (signalled()) return WAIT_OBJECT_0;
  if (ms == INFINITE) Violation("a wait without a bound on an event that is never signalled");
  return WAIT_TIMEOUT;
}

DWORD WINAPI DoubleGetLastError() { return ::GetLastError(); }

void WINAPI DoubleSleep(DWORD ms) {
  for (DWORD i = 0; i < ms; ++i) Tick();
}

BOOL WINAPI DoubleQueryPerformanceCounter(LARGE_INTEGER* counter) {
  counter->QuadPart = kCounterBase + static_cast<LONGLONG>(state->now) * (kCounterHz / 1000);
  return TRUE;
}

BOOL WINAPI DoubleQueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = kCounterHz;
  return TRUE;
}

MMRESULT WINAPI DoubleTimeBeginPeriod(UINT ms) {
  timerPeriods.push_back(ms);
  return TIMERR_NOERROR;
}

MMRESULT WINAPI DoubleTimeEndPeriod(UINT ms) {
  for (auto it = timerPeriods.begin(); it != timerPeriods.end(); ++it) {
    if (*it == ms) {
      timerPeriods.erase(it);
      return TIMERR_NOERROR;
    }
  }
  return TIMERR_NOCANDO;
}

HANDLE WINAPI DoubleGetStdHandle(DWORD which) {
  return which == STD_INPUT_HANDLE ? kConsoleInput : ::GetStdHandle(which);
}

BOOL WINAPI DoubleGetConsoleMode(HANDLE handle, LPDWORD mode) {
  if (handle != kConsoleInput) return Fails(ERROR_INVALID_HANDLE);
  *mode = consoleMode;
  return TRUE;
}

BOOL WINAPI DoubleSetConsoleMode(HANDLE handle, DWORD mode) {
  if (handle != kConsoleInput) return Fails(ERROR_INVALID_HANDLE);
  // QuickEdit and insert mode change only with ENABLE_EXTENDED_FLAGS.
  constexpr DWORD kExtended = ENABLE_QUICK_EDIT_MODE | ENABLE_INSERT_MODE;
  DWORD kept = (mode & ENABLE_EXTENDED_FLAGS) ? (mode & kExtended) : (consoleMode & kExtended);
  consoleMode = (mode & ~(kExtended | ENABLE_EXTENDED_FLAGS)) | kept;
  return TRUE;
}

BOOL WINAPI DoubleSetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
  if (add) {
    consoleHandlers.push_back(handler);
  } else {
    for (auto it = consoleHandlers.begin(); it != consoleHandlers.end(); ++it) {
      if (*it == handler) {
        consoleHandlers.erase(it);
        break;
      }
    }
  }
  return TRUE;
}

}  // namespace

void Install() {
  delete state;
  state = new State;
  state->line = FreshLine();
  state->line.BaudRate = 19200;
  state->timeouts.ReadTotalTimeoutConstant = 5000;  // another program's time-outs
  Win32Calls calls = SystemWin32Calls();
  calls.CreateFileA = DoubleCreateFileA;
  calls.CloseHandle = DoubleCloseHandle;
  calls.GetCommState = DoubleGetCommState;
  calls.SetCommState = DoubleSetCommState;
  calls.SetCommTimeouts = DoubleSetCommTimeouts;
  calls.SetupComm = DoubleSetupComm;
  calls.ReadFile = DoubleReadFile;
  calls.WriteFile = DoubleWriteFile;
  calls.GetOverlappedResult = DoubleGetOverlappedResult;
  calls.CancelIo = DoubleCancelIo;
  calls.ClearCommError = DoubleClearCommError;
  calls.CreateEventA = DoubleCreateEventA;
  calls.WaitForSingleObject = DoubleWaitForSingleObject;
  calls.GetLastError = DoubleGetLastError;
  calls.Sleep = DoubleSleep;
  calls.QueryPerformanceCounter = DoubleQueryPerformanceCounter;
  calls.QueryPerformanceFrequency = DoubleQueryPerformanceFrequency;
  calls.timeBeginPeriod = DoubleTimeBeginPeriod;
  calls.timeEndPeriod = DoubleTimeEndPeriod;
  calls.GetStdHandle = DoubleGetStdHandle;
  calls.GetConsoleMode = DoubleGetConsoleMode;
  calls.SetConsoleMode = DoubleSetConsoleMode;
  calls.SetConsoleCtrlHandler = DoubleSetConsoleCtrlHandler;
  win32Calls = calls;
}

void Uninstall() {
  win32Calls = SystemWin32Calls();
  // The state stays: a request the program abandoned may still point into it.
}

DCB& LineState() { return state->line; }
const std::vector<DCB>& AppliedStates() { return state->applied; }
void RefuseTimeouts(bool refused) { state->refuseTimeouts = refused; }
const COMMTIMEOUTS& Timeouts() { return state->timeouts; }

void Respond(std::function<std::string(const std::string&)> answer, uint32_t replyAfterMs) {
  state->answer = std::move(answer);
  state->replyAfterMs = replyAfterMs;
}

void SwitchSends(const std::string& bytes, uint32_t atMs) {
  state->arrivals.push_back({atMs, bytes});
}

void SwitchRate(uint32_t baud) { state->switchBaud = baud; }
void LineErrorAt(uint32_t atMs) { state->lineErrors.insert({atMs, true}); }

void CancelBehaviour(Cancel cancel, uint32_t lateMs) {
  state->cancel = cancel;
  state->cancelLateMs = lateMs;
}

void AbortNextRead() { state->abortNextRead = true; }
void HoldWrites() { state->holdWrites = true; }

void RemoveAt(uint32_t atMs, DWORD error) {
  state->removeAtMs = atMs;
  state->removalError = error;
}

uint64_t NowMs() { return state->now; }
void JumpSystemTimeAt(uint32_t atMs, int64_t deltaMs) { state->jumps.insert({atMs, deltaMs}); }
const std::vector<std::string>& Violations() { return state->violations; }
uint32_t Requests() { return state->requestCount; }
const std::vector<UINT>& TimerPeriods() { return timerPeriods; }
DWORD ConsoleMode() { return consoleMode; }
const std::vector<PHANDLER_ROUTINE>& ConsoleHandlers() { return consoleHandlers; }
size_t RequestsInFlight() { return state->requests.size(); }

}  // namespace driver_double
