// The way every tool's main() ends: an exception that escapes the tool's body (a file
// system error, memory running out) becomes a message on standard error and exit status
// 1, instead of an abort without a word.
#pragma once

#include <cstdio>
#include <exception>

namespace tool_options {

template <typename Body>
int RunTool(const char* name, Body body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    fprintf(stderr, "%s: %s\n", name, e.what());
  } catch (...) {
    fprintf(stderr, "%s: stopped by an unexpected error\n", name);
  }
  return 1;
}

}  // namespace tool_options
