// What the switch's firmware says about itself when asked with "^V$".
//
// The firmware takes its name, version, family and model from the parameter table that
// the last update left in flash. The reply is one frame:
//
//   ^=V "KLM8800T" 2.60,86,3,1$
//
// name in double quotes, the version text (major, ".", two-digit minor, ".NN" for a
// beta build, a letter, "(Beta)" for a beta build), then the family's character code in
// decimal, the model index and a hexadecimal field (the table's low identity byte).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct Identity {
  std::string name;
  uint32_t version = 0;
  uint32_t family = 0;
  uint32_t model = 0;
  uint32_t hex = 0;
  bool withFamily = true;  // false: the reply ends after the version
};

// Fills identity from a parameter table (at least 144 bytes). False, leaving identity
// as it was, when the table's magic is neither the current nor the older format.
bool IdentityFromTable(const uint8_t* table, Identity* identity);

// "2.60", "2.60.05b(Beta)", "3.01c".
std::string VersionText(uint32_t version);

// The whole reply frame, from "^" to "$".
std::string IdentityFrame(const Identity& identity);

// Values given on the command line replace those from the table.
struct IdentityOverrides {
  std::optional<std::string> name;
  std::optional<uint32_t> version;
  std::optional<uint32_t> family;
  std::optional<uint32_t> model;
  std::optional<uint32_t> hex;
  bool withoutFamily = false;

  void ApplyTo(Identity* identity) const;
};
