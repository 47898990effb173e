// The microcontroller's boot ROM: the LPC18xx/43xx UART in-system-programming handler.
//
// After reset it waits for "?" at whatever rate the host sends it, locks its UART to
// that rate and answers "Synchronized". The host repeats "Synchronized", then sends a
// line where older parts took the crystal frequency; each is answered "OK". From then
// on the command handler runs: echo on, commands that change flash locked until U,
// no sector prepared. Replies are lines ending in CR LF; status codes are bare decimal
// numbers. W and R move data as UU lines with a checksum line after every 20 lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "memory_map.h"
#include "persona.h"

struct BootRomOptions {
  uint32_t partId = 0xA001C830u;  // LPC4357
  uint32_t partId1 = 0;           // flash configuration word: two banks of 512 KB
  uint32_t bootCodeMajor = 1;
  uint32_t bootCodeMinor = 7;
  uint32_t serial[4] = {0x0D0B0E0Fu, 0x12345678u, 0x9ABCDEF0u, 0x0000A5A5u};
  // Data-sheet figures for the flash, applied when the line is paced: erasing one or
  // several sectors takes about 100 ms per command, programming about 1 ms per 512
  // bytes. They are typical values of the family, not guarantees.
  uint32_t eraseMs = 100;
  uint32_t copyMsPer512 = 1;
};

class BootRom : public Persona {
 public:
  BootRom(SwitchParts parts, MemoryMap& memory, const BootRomOptions& options);

  // Reset: auto-baud, echo on, locked, nothing prepared.
  void Reset();

  const char* Name() const override { return "isp"; }
  uint32_t ListeningBaud() const override { return baud_; }
  void Receive(uint8_t byte, uint32_t hostBaud) override;
  void InputIdle() override;

 private:
  enum class State { kAutoBaud, kSyncWait, kFrequencyWait, kCommand, kWriteData, kReadAck };

  void LineComplete();
  void Command(const std::string& line);
  void StartWrite(uint32_t address, uint32_t count);
  void WriteDataLine(const std::string& line);
  void SendReadBlock();
  void ReadAck(const std::string& line);

  // A command's numbers, and the mode letter of G.
  struct Arguments {
    std::vector<uint32_t> n;
    std::string mode;
  };
  // Command bodies; each returns the status code to answer, or -1 when it answered
  // itself.
  using Body = int (BootRom::*)(const Arguments&);
  // The letter leads, so that the table reads like the ROM's command list; the padding
  // this costs is a few bytes in each of fifteen entries.
  struct CommandEntry {  // NOLINT(clang-analyzer-optin.performance.Padding)
    char letter;
    size_t numbers;   // unsigned decimal fields
    bool modeLetter;  // one more field after them: G's "T"
    Body run;
  };
  static const CommandEntry* FindCommand(char letter);
  // W, R and M: word-aligned address and count (ADDR_ERROR, COUNT_ERROR), and mapped
  // memory (ADDR_NOT_MAPPED) where mapped is null.
  static int TransferCheck(uint32_t address, uint32_t count, const void* mapped);
  int Unlock(const Arguments& a);
  int SetEcho(const Arguments& a);
  int SetBaudRate(const Arguments& a);
  int WriteToRam(const Arguments& a);
  int ReadMemory(const Arguments& a);
  int Prepare(const Arguments& a);
  int Erase(const Arguments& a);
  int Copy(const Arguments& a);
  int Compare(const Arguments& a);
  int BlankCheck(const Arguments& a);
  int Go(const Arguments& a);
  int ReadPartId(const Arguments& a);
  int ReadBootCodeVersion(const Arguments& a);
  int ReadSerialNumber(const Arguments& a);
  int SetBootBank(const Arguments& a);

  bool SectorsPrepared(int bank, int first, int last) const;
  void Relock(int bank, int first, int last);

  // Interruption points (see Board::Point). False when the switch lost power there; a
  // spoiled reply is remembered for the answer that follows.
  bool LinePoint(const std::string& line);
  bool FlashPoint(const std::string& what);

  void Echo(uint8_t byte);
  // A status or reply line: late when the slow fault is on, after any noise bytes.
  void Status(const std::string& text);
  // A further line of a reply (J, K, N, M, I), or a data or checksum line.
  void Line(const std::string& text, const char* channel);

  SwitchParts parts_;
  MemoryMap& memory_;
  BootRomOptions options_;

  State state_ = State::kAutoBaud;
  uint32_t baud_ = 0;
  uint32_t hostBaud_ = 0;
  bool echo_ = true;
  bool unlocked_ = false;
  bool prepared_[2][kSectorsPerBank] = {};
  std::string line_;
  bool lineOverflow_ = false;
  bool pendingCr_ = false;
  uint32_t noiseState_ = 0x2B7Du;
  bool spoilReply_ = false;  // the next line sent goes out as noise

  // W in progress.
  uint32_t wAddress_ = 0;
  uint32_t wCount_ = 0;
  uint32_t wDone_ = 0;
  std::vector<uint8_t> block_;
  uint32_t blockLines_ = 0;
  uint32_t blockDeclared_ = 0;
  bool blockBad_ = false;
  bool expectChecksum_ = false;
  bool halfPassed_ = false;  // the W's half-way interruption point has been reached
  bool resendNext_ = false;  // answer the next checksum RESEND
  // R in progress.
  uint32_t rAddress_ = 0;
  uint32_t rCount_ = 0;
  uint32_t rDone_ = 0;
  uint32_t rBlock_ = 0;
};
