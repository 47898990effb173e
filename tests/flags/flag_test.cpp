#include "flags/flag.h"

#include <gtest/gtest.h>

#include <string>

#include "flags/command_line.h"

namespace {

// One parse of "tqupd " + arguments; the text lives as long as the context points into it.
struct Parsed {
  std::string line;
  FlagContext context;
  uint32_t error;

  Parsed(t_Flag** table, const std::string& arguments) : line("tqupd " + arguments) {
    context.table = table;
    error = ParseArguments(context, line.c_str());
  }
  std::string Report() const {
    testing::internal::CaptureStdout();
    ReportFlagError(context);
    return testing::internal::GetCapturedStdout();
  }
};

// A flag without a value, like a group met inside a group.
class t_TestSwitch : public t_Flag {
 public:
  explicit t_TestSwitch(const char* name) : t_Flag(name, 0, 9) {}
  uint32_t Parse(const char*&) override { return 0; }
};

std::string Value(const t_FlagString& flag) { return flag.value ? flag.value : "(null)"; }

TEST(FlagParser, TakesTheFirstFlagOfTheTableWhoseNameStartsTheItem) {
  t_FlagULongR port("PORT", 0, 99, 0, 99, 0);
  t_FlagString p("P", nullptr, 0, 8, nullptr, 0);
  t_Flag* portFirst[] = {&port, &p, nullptr};
  EXPECT_EQ(Parsed(portFirst, "/port5").error, 0u);
  EXPECT_EQ(port.low, 5u);
  EXPECT_EQ(p.state, 0u);
  t_Flag* pFirst[] = {&p, &port, nullptr};
  EXPECT_EQ(Parsed(pFirst, "/PORT5").error, 0u);
  EXPECT_EQ(Value(p), "ORT5");
}

TEST(FlagParser, SetsEachFlagsStateFromItsModifier) {
  t_FlagULongR a("A", 0, 9, 0, 0, 7), b("B", 0, 9, 0, 0, 7), c("C", 0, 9, 0, 0, 7),
      d("D", 0, 9, 0, 0, 7);
  t_Flag* table[] = {&a, &b, &c, &d, nullptr};
  EXPECT_EQ(Parsed(table, "/-A+B /~C").error, 0u);
  EXPECT_EQ(a.state, kFlagMinus);
  EXPECT_EQ(b.state, kFlagPlus);
  EXPECT_EQ(c.state, kFlagTilde);
  EXPECT_EQ(d.state, 7u);  // did not occur
  EXPECT_EQ(Parsed(table, "/A/B").error, 0u);
  EXPECT_EQ(a.state, kFlagPlain);
  EXPECT_EQ(b.state, kFlagPlain);
}

TEST(FlagParser, IgnoresWordsOutsideItemsAndTheProgramName) {
  t_FlagULongR v("V", 0, 1000, 0, 100, 0);
  t_Flag* table[] = {&v, nullptr};
  FlagContext context;
  context.table = table;
  EXPECT_EQ(ParseArguments(context, "  tqupd   "), 0u);
  EXPECT_EQ(ParseArguments(context, "tqupd word other"), 0u);
  EXPECT_EQ(v.state, 0u);
  EXPECT_EQ(ParseArguments(context, "tqupd\tword/V7"), 0u);  // "/" inside a word starts an item
  EXPECT_EQ(v.low, 7u);
  // A quoted program name runs to its closing quote, whatever it holds.
  EXPECT_EQ(ParseArguments(context, "\"/opt/my tools/tqupd\" /V9"), 0u);
  EXPECT_EQ(v.low, 9u);
  EXPECT_EQ(ParseArguments(context, nullptr), 0u);
}

TEST(FlagParser, SkipsFlagsWithoutANameInsteadOfLoopingOnThem) {
  t_FlagULongR unnamed("", 0, 9, 0, 9, 0), v("V", 0, 9, 0, 9, 0);
  t_Flag* table[] = {&unnamed, &v, nullptr};
  EXPECT_EQ(Parsed(table, "/V3").error, 0u);
  EXPECT_EQ(v.low, 3u);
}

TEST(FlagString, ReadsQuotedAndPlainValues) {
  struct Case {
    const char* arguments;
    const char* value;
  } cases[] = {
      {"/Nvalue", "value"},     {"/N value", "value"},   {"/N\"a b\"", "a b"},
      {"/Nx\"\"y", "x\"y"},     {"/N\"a\"\"b\"", "a\"b"}, {"/N\"a/b\"", "a/b"},
      {"/Nab/M", "ab"},         {"/N", "dflt"},          {"/N  ", "dflt"},
      {"/Nfirst /Nlast", "last"},
  };
  for (const Case& c : cases) {
    t_FlagString n("N", "dflt", 0, 8, nullptr, 0);
    t_FlagString m("M", nullptr, 0, 8, nullptr, 0);
    t_Flag* table[] = {&n, &m, nullptr};
    EXPECT_EQ(Parsed(table, c.arguments).error, 0u) << c.arguments;
    EXPECT_EQ(Value(n), c.value) << c.arguments;
  }
}

TEST(FlagString, RefusesValuesShorterThanTheMinimum) {
  t_FlagString n("N", nullptr, 3, 8, nullptr, 0);
  t_Flag* table[] = {&n, nullptr};
  EXPECT_EQ(Parsed(table, "/Nab").error, kFlagTooShort);
  EXPECT_EQ(Parsed(table, "/N").error, kFlagTooShort);
  EXPECT_EQ(Parsed(table, "/Nabc").error, 0u);
}

TEST(FlagString, TakesAChoiceAsWrittenInTheList) {
  static const char* const kOnOff[] = {"ON", "OFF", nullptr};
  t_FlagString m("M", 2, kOnOff, 0);
  EXPECT_EQ(m.value, kOnOff[1]);
  t_Flag* table[] = {&m, nullptr};
  EXPECT_EQ(Parsed(table, "/Moff").error, 0u);
  EXPECT_EQ(m.value, kOnOff[1]);
  // The default is the value until the flag is given; given empty, the value is shorter
  // than the shortest choice.
  EXPECT_EQ(Parsed(table, "/M").error, kFlagTooShort);
  Parsed no(table, "/Mno");
  EXPECT_EQ(no.error, kFlagUnknownValue);
  EXPECT_EQ(no.Report(), "\nError: Unknown parameter value - \"/Mno\".\n");
  EXPECT_EQ(Parsed(table, "/Mmaybe").error, kFlagTooLong);  // before the list is searched
}

TEST(FlagString, KeepsAtMostNineChoicesAndNoDefaultPastTheList) {
  t_FlagString nine("C", 10, "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", 0);
  EXPECT_EQ(nine.value, nullptr);
  t_Flag* table[] = {&nine, nullptr};
  EXPECT_EQ(Parsed(table, "/Ci").error, 0u);
  EXPECT_EQ(Parsed(table, "/Cj").error, kFlagUnknownValue);

  static const char* const kTwo[] = {"X", "Y", nullptr};
  t_FlagString pastTheEnd("M", 3, kTwo, 0);
  EXPECT_EQ(pastTheEnd.value, nullptr);
  t_FlagString second("M", 2, "P", "Q", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr, nullptr, 0);
  EXPECT_EQ(Value(second), "Q");
}

TEST(FlagString, ChecksPathValuesWithTheirValidator) {
  t_FlagString f("F", nullptr, 0, 64, 1, 0);
  t_FlagString file("FILE", nullptr, 0, 64, 1, 0);
  t_FlagString d("D", nullptr, 0, 64, 0, 0);
  t_Flag* table[] = {&file, &f, &d, nullptr};
  struct Case {
    const char* arguments;
    uint32_t error;
  } cases[] = {
      {"/Fc:\\dir\\x.txt", 0},   {"/Fx*.txt", kFlagBadFileName},
      {"/Fdir\\", kFlagBadFileName}, {"/FILEa|b", kFlagBadFileName + 1},
      {"/Dc:\\dir\\sub", 0},     {"/Dc:\\a:b", kFlagBadDirectory},
      {"/D1:\\x", kFlagBadDirectory},
  };
  for (const Case& c : cases) EXPECT_EQ(Parsed(table, c.arguments).error, c.error) << c.arguments;
  Parsed bad(table, "/Fx*.txt");
  EXPECT_EQ(bad.Report(), "\nError: Syntax error in filename - \"/Fx*.txt\".\n");
}

TEST(FlagRange, ReadsNumbersRangesAndQuotedCharacters) {
  struct Case {
    const char* arguments;
    uint32_t error;
    uint32_t low;
    uint32_t high;
  } cases[] = {
      {"/V5", 0, 5, 100},          {"/V-7", 0, 0, 7},          {"/V9-3", 0, 3, 9},
      {"/V'A'", 0, 65, 100},       {"/V0x10", 0, 16, 100},     {"/V010", 0, 8, 100},
      {"/V5-", 0, 5, 100},         {"/V", 0, 0, 100},          {"/V ", 0, 0, 100},
      {"/V200-0x12C", 0, 200, 300}, {"/V'A", kFlagSyntax, 0, 100},
      {"/V'", kFlagSyntax, 0, 100},  // the text ends right after the quote
      {"/V2000", kFlagAboveMaximum, 0, 100},
      {"/V99999999999", kFlagAboveMaximum, 0, 100},
      {"/V5-2000", kFlagAboveMaximum, 5, 100},
      {"/Vx", kFlagUnknown, 0, 100},  // V keeps its defaults, then x is no flag
  };
  for (const Case& c : cases) {
    t_FlagULongR v("V", 0, 1000, 0, 100, 0);
    t_Flag* table[] = {&v, nullptr};
    EXPECT_EQ(Parsed(table, c.arguments).error, c.error) << c.arguments;
    EXPECT_EQ(v.low, c.low) << c.arguments;
    EXPECT_EQ(v.high, c.high) << c.arguments;
  }
  t_FlagULongR atLeastTen("V", 10, 1000, 10, 100, 0);
  t_Flag* table[] = {&atLeastTen, nullptr};
  EXPECT_EQ(Parsed(table, "/V5").error, kFlagBelowMinimum);
}

TEST(FlagParser, NumbersEachErrorByNameLengthAndNestingAndQuotesTheItem) {
  t_FlagULongR v("v", 0, 1000, 0, 100, 0);
  t_FlagString n("n", nullptr, 0, 4, nullptr, 0);
  t_TestSwitch a("a"), b("b");
  t_Flag* members[] = {&v, &n, &a, &b, nullptr};
  t_FlagGroup grp("GRP", members, 0), g("G", members, 0);
  t_FlagULongR port("PORT", 0, 1000, 0, 100, 0);
  t_FlagString name("NAME", nullptr, 0, 4, nullptr, 0), topN("N", nullptr, 0, 4, nullptr, 0);
  t_Flag* table[] = {&grp, &g, &port, &name, &topN, nullptr};
  struct Case {
    const char* arguments;
    uint32_t error;
    const char* message;
  } cases[] = {
      {"/Q", 11, "Error: Unknown flag - \"/Q\""},
      {"/q", 11, "Error: Unknown flag - \"/Q\""},
      // One character too many is kept, so that the message shows where the value broke.
      {"/Nabcdef", 29, "Error: String contains too many characters in flag - \"/Nabcde...\""},
      {"/NAMEabcdef", 30,
       "Error: String contains too many characters in flag - \"/NAMEabcde...\""},
      {"/Gz=1", 12, "Error: Unknown flag - \"/GZ\""},  // the item ends at "="
      {"/GRPz", 13, "Error: Unknown flag in \"/GRP\" - 'Z'"},
      {"/PORT2000", 24, "Error: Out of bounds in flag - \"/PORT\""},
      {"/Gv2000", 24, "Error: Out of bounds in flag - \"/G\""},
      {"/GRPv2000", 25, "Error: Flag out of bounds in \"/GRP\" - 'v'"},
      {"/Gnabcdef", 30, "Error: String contains too many characters in flag - \"/Gnabcde...\""},
      {"/GRPnabcdef", 31,
       "Error: String contains too many characters for flag in \"/GRP\" - 'n'abcde...\""},
      {"/GRPv'x", 16, "Error: Flag syntax error in \"/GRP\" - 'v'"},
  };
  for (const Case& c : cases) {
    Parsed run(table, c.arguments);
    EXPECT_EQ(run.error, c.error) << c.arguments;
    EXPECT_EQ(run.Report(), "\n" + std::string(c.message) + ".\n") << c.arguments;
    EXPECT_EQ(flagNestingDepth, -1) << c.arguments;
  }
  Parsed ok(table, "/Ga-b/PORT7 /GRP+v5");
  EXPECT_EQ(ok.error, 0u);
  EXPECT_EQ(a.state, kFlagPlain);
  EXPECT_EQ(b.state, kFlagMinus);
  EXPECT_EQ(port.low, 7u);
  EXPECT_EQ(v.state, kFlagPlus);
  EXPECT_EQ(v.low, 5u);
}

// The parser's tests above meet the messages of the flag classes as a user does (codes
// 11 to 13, 16, 24, 25, 29 to 32 and 38). These rows add the shapes of message they do not
// reach: a text alone, an echo with its own stop set and closing text, the environment's
// variable name, and codes outside the table.
TEST(FlagReport, PrintsTheRowOfTheCodeWithItsArguments) {
  t_FlagString flag("NAME", nullptr, 0, 8, nullptr, 0), member("m", nullptr, 0, 8, nullptr, 0);
  flag.value = "val";
  member.value = "mv";
  FlagContext context;
  context.token = "c:\\dir more";
  context.memberToken = "path";
  context.flag = &flag;
  context.member = &member;
  struct Case {
    uint32_t code;
    const char* message;
  } cases[] = {
      {0, "Error: Unknown error: "},  // no row lists 0
      {1, "Error: Out of memory"},
      {4, "Error: No such drive - \"C:\""},
      {8, "Error: Syntax error in environment - Env=path, Dir=C:\\DIR"},
      {9, "Error: Environment variable not found - \"PATH\""},
      {28, "Error: String contains too few characters for flag in \"/NAME\" - 'm'mv\""},
      {41, "Error: Unknown error: "},
  };
  for (const Case& c : cases) {
    context.error = c.code;
    testing::internal::CaptureStdout();
    ReportFlagError(context);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n" + std::string(c.message) + ".\n")
        << c.code;
  }
}

TEST(FlagReport, ShowsMissingTextsAsNullPointer) {
  FlagContext context;
  context.error = 2;
  testing::internal::CaptureStdout();
  ReportFlagError(context);
  context.error = 17;
  ReportFlagError(context);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nError: Syntax error in path - \"(Null Pointer)\".\n"
            "\nError: No data given for flag - \"/(Null Pointer)\".\n");
}

TEST(FlagCommandLine, GivesTheParserBackEachArgumentAsItWas) {
  const char* values[] = {"plain",       "a b",   "x\"y",   "\"quoted\"", "tab\there",
                          "two  blanks", "a \"b", "  \"\n", "\" \"\" ",   ""};
  for (const char* value : values) {
    std::string item = std::string("/N") + value;
    const char* argv[] = {"/opt/my tools/tqupd", "", "word", item.c_str()};
    t_FlagString n("N", "dflt", 0, 32, nullptr, 0);
    t_Flag* table[] = {&n, nullptr};
    FlagContext context;
    context.table = table;
    std::string line = JoinArguments(4, argv);
    EXPECT_EQ(ParseArguments(context, line.c_str()), 0u) << line;
    EXPECT_EQ(Value(n), value[0] != '\0' ? value : "dflt") << line;
  }
  const char* argv[] = {"my prog", "/Na b", "q\""};
  EXPECT_EQ(JoinArguments(3, argv), "my\" \"prog /Na\" \"b q\"\"");
}

}  // namespace
