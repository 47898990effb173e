// What the tools' command lines share (imagepack, vswitch, the sweep, the benchmark):
// CLI11 transforms that read numbers strictly into typed options, and, for all but the
// virtual switch (which has always exited with CLI11's own codes), the parse that turns a
// wrong command line into CLI11's message and exit status 2.
//
// CLI11's own conversion of numbers has changed between its versions (which prefixes it
// reads; whether "-1" passes for the largest unsigned value). These transforms decide the
// syntax themselves and hand CLI11 plain decimal, so an option reads the same text the
// same way whichever CLI11 the build finds.
#pragma once

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

namespace tool_options {

namespace detail {

// Reads all of digits in base into *value. The empty string, or what is wrong with text
// (the option's whole text, for the message; what names the form it should have had).
template <typename T>
std::string ReadDigits(std::string_view digits, int base, const std::string& text, T* value,
                       const char* what) {
  // from_chars takes a minus sign for a signed T: a count or an address has none.
  if (digits.empty() || digits[0] == '-') return text + " is not " + what;
  const char* end = digits.data() + digits.size();
  auto [stop, error] = std::from_chars(digits.data(), end, *value, base);
  if (stop != end) return text + " is not " + what;
  if (error == std::errc::result_out_of_range) {
    return text + " is too large (at most " + std::to_string(std::numeric_limits<T>::max()) + ")";
  }
  return error == std::errc() ? std::string() : text + " is not " + what;
}

}  // namespace detail

// A number as the tools have always read addresses and words: decimal, hexadecimal after
// 0x, octal after a leading 0 (as strtoul reads them with base 0), but with no sign, no
// spaces, nothing after it, and only when it fits T. The empty string, or what is wrong.
template <typename T>
std::string ReadNumber(const std::string& text, T* value) {
  std::string_view digits = text;
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  } else if (digits.size() > 1 && digits[0] == '0') {
    base = 8;
    digits.remove_prefix(1);
  }
  return detail::ReadDigits(digits, base, text, value, "a number");
}

// Decimal digits only, fitting T: counts and times, which have never taken 0x.
template <typename T>
std::string ReadDecimal(const std::string& text, T* value) {
  return detail::ReadDigits(std::string_view(text), 10, text, value, "a decimal number");
}

// A transform that reads the option's text with read (one of the above, or any
// std::string read(const std::string&, T*)) and hands the value on as decimal.
template <typename T, typename Read>
CLI::Validator Typed(Read read) {
  return CLI::Validator(
      [read](std::string& text) {
        T value{};
        std::string wrong = read(text, &value);
        if (wrong.empty()) text = std::to_string(value);
        return wrong;
      },
      "");
}

// The transforms of the two forms above.
template <typename T>
CLI::Validator Number() {
  return Typed<T>(ReadNumber<T>);
}

template <typename T>
CLI::Validator Decimal() {
  return Typed<T>(ReadDecimal<T>);
}

// A 32-bit word read by parse (bool parse(const std::string&, uint32_t*)), for texts
// that are not plain numbers, such as a version; what names the form for the message.
template <typename Parse>
CLI::Validator Word(const std::string& what, Parse parse) {
  return Typed<uint32_t>([what, parse](const std::string& text, uint32_t* value) {
    return parse(text, value) ? std::string() : text + " is not " + what;
  });
}

// Parses argv into app. -1 when the program goes on; otherwise CLI11 has printed the
// help or what is wrong, and this is the exit status: 0 after --help, 2 for a wrong
// command line (the status these tools have always given one).
inline int Parse(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  return -1;
}

}  // namespace tool_options
