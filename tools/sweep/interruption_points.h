// The interruption points of one full update, as the virtual switch numbers them in its
// wire log (--log-points), the phase of the update each belongs to, and the cases the
// sweep runs: every point with every kind of interruption, or a stratified sample.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class Phase { kEntry, kErase, kFirmwareBlocks, kTable, kFirstBlock, kStart };
constexpr int kPhaseCount = 6;
const char* PhaseName(Phase phase);

// What happens at the point: the switch loses power, the host dies while the switch
// keeps its state, or the reply to what reached the point goes wrong.
enum class Kind { kPower, kHold, kReply };
constexpr int kKindCount = 3;
// The name --interrupt takes: "power", "hold", "reply".
const char* KindName(Kind kind);

struct InterruptionPoint {
  uint32_t number = 0;
  std::string where;  // "line", "w-data" or "flash"
  std::string text;   // what reached it, as the log writes it
  Phase phase = Phase::kEntry;

  // The log record's text: "point <N> <where> <text>".
  std::string Record() const;
};

// The point records of a wire log, in order.
std::vector<InterruptionPoint> ReadPoints(const std::vector<std::string>& logLines);

// Gives every point of a full update its phase:
//   entry           up to and including the first U after the boot-loader entry
//                   (detection included);
//   erase           the prepare and erase of the firmware's sectors;
//   firmware blocks every W, P, C, M, half-way and copy point of the blocks between the
//                   first 512 bytes and the parameter table;
//   table           the prepare and erase of the table's sector, and the table's block;
//   first block     the block at the firmware's address, written last;
//   start           the table's read-back, U, G and anything after.
// A block runs from its first W to its M; its C names the flash address. False, with
// *error set, when the points do not show a whole update.
bool AssignPhases(std::vector<InterruptionPoint>* points, uint32_t firmwareAddress,
                  uint32_t tableAddress, std::string* error);

struct SweepCase {
  InterruptionPoint point;
  Kind kind = Kind::kPower;
};

// Every point with every kind, in point order.
std::vector<SweepCase> AllCases(const std::vector<InterruptionPoint>& points);

// count cases spread over the phases and kinds: the 18 pairs of a phase and a kind take
// turns (each phase once before any phase twice, and the kinds rotating), and inside a
// pair the points are drawn by draw. The same draw gives the same sample.
std::vector<SweepCase> StratifiedSample(const std::vector<InterruptionPoint>& points, size_t count,
                                        uint64_t draw);
