// One case of the sweep: a fresh virtual switch running an older firmware of the carried
// product, interrupted at one point in one way, and the runs of tqupd that must finish
// the job; and the reference run that finds the points.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "interruption_points.h"
#include "testing/program_run.h"

struct SweepSetup {
  Build build = Build::kNative;
  std::string oldImagePath;           // the older firmware the switch starts with
  std::vector<uint8_t> carriedImage;  // the image this tqupd carries
  int runLimitMs = 60000;             // a run of tqupd that takes longer hangs
};

struct CaseResult {
  // "updated, flash exact" when the run after the power cycle updated the switch;
  // otherwise what happened instead.
  std::string outcome;
  // Every check that did not hold, in words.
  std::vector<std::string> problems;
  // What each run of tqupd showed, for a diagnosis.
  std::string transcript;
  bool Recovered() const { return problems.empty() && outcome == "updated, flash exact"; }
};

// A full update without interruption, with the points logged: the reference that gives
// every point its number. False, with *error set, when the update did not succeed.
bool RunReference(const SweepSetup& setup, std::vector<std::string>* logLines, std::string* error);

// Runs one case:
//   1. a fresh switch with --interrupt at the point; tqupd answers Y to the first
//      question and N to any later one. For hold, tqupd is killed when the switch
//      holds, the switch is released, and tqupd runs once more (answering Y) without a
//      power cycle. The runs must end, never report success over flash that differs,
//      and leave the chip in its boot ROM unless the first 512 bytes are the image's.
//   2. a power cycle, and tqupd answering Y to every question: the outcome.
CaseResult RunCase(const SweepSetup& setup, const SweepCase& c);
