// The wire log: every line that crosses the line, in order, one log line each.
//
// Format (one record per line, fields separated by single blanks, flushed per record):
//
//   <dir> <baud> <channel> <text>
//
//   dir      ">" host to switch, "<" switch to host, "#" an event inside the switch
//   baud     the rate the line crossed at: the host's rate for ">", the switch's for
//            "<"; for "#" the rate the switch listens at (0: the boot ROM waits for
//            auto-baud)
//   channel  "isp"  a command line to the boot ROM, or its status or reply line
//            "data" a UU data line or a checksum line of W or R, either direction
//            "fw"   a frame to or from the running firmware, "^" to "$"
//            for "#": the persona the event belongs to ("isp", "fw", "off"), or
//            "line" for what happened on the line itself
//   text     the line without its line end; a byte outside 0x20..0x7E is written as
//            a backslash, "x" and two hex digits, and a backslash as two backslashes
//
// Examples:
//   > 115200 isp W 268435456 900
//   < 115200 isp 0
//   > 115200 data M`...
//   < 19200 fw ^!100 1 0$
//   # 19200 fw garbled-in 6 sent-at 115200
//
// Events: "power-up firmware", "power-up boot-rom [isp-pin]", "reset boot-rom" (the
// reset that "^BOOTL$" starts is over and the boot ROM listens), "lost-in-reset <n>" (n
// bytes arrived during that reset, and were lost), "start firmware", "crash" (G into
// code that cannot run), "power-loss <why>", "sync-lost" (a wrong sync string sent the
// ROM back to auto-baud), "abort" (ESC ended a transfer), "erase <bank> <first>-<last>",
// "copy <address> <count>", "fault <what>", "garbled-in <n> sent-at <baud>" (n bytes
// arrived at a rate the switch does not listen at), "garbled-out <n>" (n bytes left at a
// rate the host does not listen at), and with interruption points
// "point <N> <where> <text>", "hold <N>", "release <N>" and "fault reply at point <N>".
// The boot ROM's echo is not logged: it repeats the ">" line.
//
// With times on (--log-times, for benchmarks), every record starts with "@<ms> ": the
// milliseconds since the switch started, with three decimals.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

class SwitchLog {
 public:
  SwitchLog() = default;
  SwitchLog(const SwitchLog&) = delete;
  SwitchLog& operator=(const SwitchLog&) = delete;
  ~SwitchLog();

  bool Open(const std::string& path);
  void EnableTimes();
  void In(uint32_t baud, const char* channel, std::string_view text) {
    Write('>', baud, channel, text);
  }
  void Out(uint32_t baud, const char* channel, std::string_view text) {
    Write('<', baud, channel, text);
  }
  void Event(uint32_t baud, const char* persona, std::string_view text) {
    Write('#', baud, persona, text);
  }

 private:
  void Write(char dir, uint32_t baud, const char* channel, std::string_view text);
  FILE* file_ = nullptr;
  bool times_ = false;
  int64_t startUs_ = 0;
};
