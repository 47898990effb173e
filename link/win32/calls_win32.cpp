#include "calls_win32.h"

Win32Calls SystemWin32Calls() {
  Win32Calls calls{};
  calls.CreateFileA = ::CreateFileA;
  calls.CloseHandle = ::CloseHandle;
  calls.GetCommState = ::GetCommState;
  calls.SetCommState = ::SetCommState;
  calls.SetCommTimeouts = ::SetCommTimeouts;
  calls.SetupComm = ::SetupComm;
  calls.ReadFile = ::ReadFile;
  calls.WriteFile = ::WriteFile;
  calls.GetOverlappedResult = ::GetOverlappedResult;
  calls.CancelIo = ::CancelIo;
  calls.ClearCommError = ::ClearCommError;
  calls.CreateEventA = ::CreateEventA;
  calls.WaitForSingleObject = ::WaitForSingleObject;
  calls.GetLastError = ::GetLastError;
  calls.Sleep = ::Sleep;
  calls.QueryPerformanceCounter = ::QueryPerformanceCounter;
  calls.QueryPerformanceFrequency = ::QueryPerformanceFrequency;
  calls.timeBeginPeriod = ::timeBeginPeriod;
  calls.timeEndPeriod = ::timeEndPeriod;
  calls.GetStdHandle = ::GetStdHandle;
  calls.GetConsoleMode = ::GetConsoleMode;
  calls.SetConsoleMode = ::SetConsoleMode;
  calls.SetConsoleCtrlHandler = ::SetConsoleCtrlHandler;
  return calls;
}

Win32Calls win32Calls = SystemWin32Calls();
