#include "interruption_points.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool IsLine(const InterruptionPoint& p, const char* command) {
  return p.where == "line" && StartsWith(p.text, command);
}

// A small deterministic generator (splitmix64): the same draw gives the same sample on
// every machine.
class Draw {
 public:
  explicit Draw(uint64_t state) : state_(state) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

 private:
  uint64_t state_;
};

}  // namespace

const char* PhaseName(Phase phase) {
  switch (phase) {
    case Phase::kEntry: return "entry";
    case Phase::kErase: return "erase";
    case Phase::kFirmwareBlocks: return "firmware blocks";
    case Phase::kTable: return "table";
    case Phase::kFirstBlock: return "first block";
    case Phase::kStart: return "start";
  }
  return "?";
}

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::kPower: return "power";
    case Kind::kHold: return "hold";
    case Kind::kReply: return "reply";
  }
  return "?";
}

std::string InterruptionPoint::Record() const {
  return "point " + std::to_string(number) + " " + where + " " + text;
}

std::vector<InterruptionPoint> ReadPoints(const std::vector<std::string>& logLines) {
  std::vector<InterruptionPoint> points;
  for (const std::string& line : logLines) {
    // "# <baud> <persona> point <N> <where> <text>"
    if (line.size() < 2 || line[0] != '#') continue;
    size_t persona = line.find(' ', 2);
    size_t record = persona == std::string::npos ? persona : line.find(' ', persona + 1);
    if (record == std::string::npos || line.compare(record + 1, 6, "point ") != 0) continue;
    size_t number = record + 7;
    size_t where = line.find(' ', number);
    size_t text = where == std::string::npos ? where : line.find(' ', where + 1);
    if (text == std::string::npos) continue;
    InterruptionPoint p;
    p.number = static_cast<uint32_t>(strtoul(line.c_str() + number, nullptr, 10));
    p.where = line.substr(where + 1, text - where - 1);
    p.text = line.substr(text + 1);
    points.push_back(p);
  }
  return points;
}

bool AssignPhases(std::vector<InterruptionPoint>* points, uint32_t firmwareAddress,
                  uint32_t tableAddress, std::string* error) {
  std::vector<InterruptionPoint>& all = *points;
  // The entry ends with the first U, which the update sends once the boot ROM talks.
  size_t i = 0;
  while (i < all.size() && !IsLine(all[i], "U ")) all[i++].phase = Phase::kEntry;
  if (i == all.size()) {
    *error = "no unlock after the boot-loader entry";
    return false;
  }
  all[i++].phase = Phase::kEntry;

  // The blocks: from a W to the M after its C. Between them stand the prepares and
  // erases, which belong to the phase of the block that follows (the table's sector is
  // erased just before the table goes in).
  std::vector<size_t> pending;  // points outside a block, waiting for the next block
  bool firstBlockDone = false;
  bool anyBlock = false;
  while (i < all.size()) {
    if (firstBlockDone || !IsLine(all[i], "W ")) {
      pending.push_back(i++);
      continue;
    }
    size_t copy = i;
    while (copy < all.size() && !IsLine(all[copy], "C ")) ++copy;
    size_t compare = copy;
    while (compare < all.size() && !IsLine(all[compare], "M ")) ++compare;
    if (compare == all.size()) {
      *error = "a block without its copy and compare, at point " + std::to_string(all[i].number);
      return false;
    }
    uint32_t address = static_cast<uint32_t>(strtoul(all[copy].text.c_str() + 2, nullptr, 10));
    Phase phase = address == firmwareAddress ? Phase::kFirstBlock
                  : address == tableAddress  ? Phase::kTable
                                             : Phase::kFirmwareBlocks;
    for (size_t p : pending) all[p].phase = anyBlock ? phase : Phase::kErase;
    pending.clear();
    for (; i <= compare; ++i) all[i].phase = phase;
    anyBlock = true;
    firstBlockDone = phase == Phase::kFirstBlock;
  }
  if (!firstBlockDone) {
    *error = "no block at the firmware's address";
    return false;
  }
  for (size_t p : pending) all[p].phase = Phase::kStart;
  return true;
}

std::vector<SweepCase> AllCases(const std::vector<InterruptionPoint>& points) {
  std::vector<SweepCase> cases;
  for (const InterruptionPoint& p : points) {
    for (Kind kind : {Kind::kPower, Kind::kHold, Kind::kReply}) cases.push_back({p, kind});
  }
  return cases;
}

std::vector<SweepCase> StratifiedSample(const std::vector<InterruptionPoint>& points, size_t count,
                                        uint64_t draw) {
  // The pairs in turn: every phase once (kinds rotating), then every phase again with
  // the kinds moved on by one, then a third time: 12 cases cover each phase twice and
  // each kind four times.
  struct Stratum {
    Phase phase;
    Kind kind;
    std::vector<const InterruptionPoint*> candidates;
    size_t quota = 0;
  };
  std::vector<Stratum> strata;
  for (int round = 0; round < kKindCount; ++round) {
    for (int p = 0; p < kPhaseCount; ++p) {
      Stratum s{static_cast<Phase>(p), static_cast<Kind>((p + round) % kKindCount), {}};
      for (const InterruptionPoint& point : points) {
        if (point.phase == s.phase) s.candidates.push_back(&point);
      }
      strata.push_back(s);
    }
  }
  for (size_t given = 0, lastGiven = 1; given < count && lastGiven != given;) {
    lastGiven = given;
    for (Stratum& s : strata) {
      if (given == count) break;
      if (s.quota < s.candidates.size()) {
        ++s.quota;
        ++given;
      }
    }
  }
  std::vector<SweepCase> cases;
  for (Stratum& s : strata) {
    Draw generator(draw * 0x100000001B3ull + static_cast<uint64_t>(s.phase) * 16 +
                   static_cast<uint64_t>(s.kind));
    // The first quota places of a shuffle.
    for (size_t k = 0; k < s.quota; ++k) {
      size_t pick = k + static_cast<size_t>(generator.Next() % (s.candidates.size() - k));
      std::swap(s.candidates[k], s.candidates[pick]);
      cases.push_back({*s.candidates[k], s.kind});
    }
  }
  std::sort(cases.begin(), cases.end(), [](const SweepCase& a, const SweepCase& b) {
    return a.point.number != b.point.number ? a.point.number < b.point.number : a.kind < b.kind;
  });
  return cases;
}
