// Joining the argument lists that tests hand to the virtual switch and to tqupd.
#pragma once

#include <string>
#include <vector>

// a followed by b.
inline std::vector<std::string> Concat(std::vector<std::string> a,
                                       const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
