// The Windows calls that the Windows half of the link makes, in one table.
//
// The serial port, the clock and the console reach Windows only through win32Calls. The
// program's table holds the system's own functions; a test puts its driver double in
// their place to play what USB serial drivers and the console are documented to do
// (a cancel that never ends, a line left at another program's settings, a pulled
// adapter, a system time that is set), which no test can make a real port or Wine do.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <timeapi.h>

struct Win32Calls {
  decltype(&::CreateFileA) CreateFileA;
  decltype(&::CloseHandle) CloseHandle;
  decltype(&::GetCommState) GetCommState;
  decltype(&::SetCommState) SetCommState;
  decltype(&::SetCommTimeouts) SetCommTimeouts;
  decltype(&::SetupComm) SetupComm;
  decltype(&::ReadFile) ReadFile;
  decltype(&::WriteFile) WriteFile;
  decltype(&::GetOverlappedResult) GetOverlappedResult;
  decltype(&::CancelIo) CancelIo;
  decltype(&::ClearCommError) ClearCommError;
  decltype(&::CreateEventA) CreateEventA;
  decltype(&::WaitForSingleObject) WaitForSingleObject;
  decltype(&::GetLastError) GetLastError;
  decltype(&::Sleep) Sleep;
  // The clock and the system timer.
  decltype(&::QueryPerformanceCounter) QueryPerformanceCounter;
  decltype(&::QueryPerformanceFrequency) QueryPerformanceFrequency;
  decltype(&::timeBeginPeriod) timeBeginPeriod;
  decltype(&::timeEndPeriod) timeEndPeriod;
  // The console.
  decltype(&::GetStdHandle) GetStdHandle;
  decltype(&::GetConsoleMode) GetConsoleMode;
  decltype(&::SetConsoleMode) SetConsoleMode;
  decltype(&::SetConsoleCtrlHandler) SetConsoleCtrlHandler;
};

// The table every call goes through; it starts out as the system's functions.
extern Win32Calls win32Calls;
// The system's functions, for a test to put back.
Win32Calls SystemWin32Calls();
