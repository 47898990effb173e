#include "flags/flag.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "flags/command_line.h"

namespace {

// An error report as the library prints it: the message on a line of its own, with a full
// stop. Built with append rather than operator+, on which GCC 12 at -O2 and above reports
// a false out-of-bounds copy inside the temporary std::string (-Warray-bounds).
std::string Reported(const char* message) {
  std::string text = "\n";
  return text.append(message).append(".\n");
}

// One parse of "tqupd " + arguments; the text lives as long as the context points into it.
struct Parsed {
  std::string line;
  FlagContext context;
  FlagError error;

  Parsed(t_Flag** table, const std::string& arguments) : line("tqupd " + arguments) {
    context.table = table;
    error = ParseArguments(context, line.c_str());
  }
  std::string Report() const { return FlagErrorText(context); }
};

// A flag without a value, like a group met inside a group, of a kind of its own.
class t_TestSwitch : public t_Flag {
 public:
  explicit t_TestSwitch(const char* name)
      : t_Flag(name, FlagState::Minus, static_cast<FlagKind>(9)) {}
  FlagError Parse(const char*&) override { return FlagError::None; }
};

// An initial state that no modifier gives, so that a flag the parser did not meet shows.
constexpr FlagState kNotMet = static_cast<FlagState>(7);

std::string Value(const t_FlagString& flag) { return flag.value ? flag.value : "(null)"; }

TEST(FlagParser, TakesTheFirstFlagOfTheTableWhoseNameStartsTheItem) {
  t_FlagULongR port("PORT", 0, 99, 0, 99, FlagState::Minus);
  t_FlagString p("P", nullptr, 0, 8, nullptr, kNotMet);
  t_Flag* portFirst[] = {&port, &p, nullptr};
  EXPECT_EQ(Parsed(portFirst, "/port5").error, FlagError::None);
  EXPECT_EQ(port.low, 5u);
  EXPECT_EQ(p.state, kNotMet);
  t_Flag* pFirst[] = {&p, &port, nullptr};
  EXPECT_EQ(Parsed(pFirst, "/PORT5").error, FlagError::None);
  EXPECT_EQ(Value(p), "ORT5");
}

TEST(FlagParser, SetsEachFlagsStateFromItsModifier) {
  t_FlagULongR a("A", 0, 9, 0, 0, kNotMet), b("B", 0, 9, 0, 0, kNotMet),
      c("C", 0, 9, 0, 0, kNotMet), d("D", 0, 9, 0, 0, kNotMet);
  t_Flag* table[] = {&a, &b, &c, &d, nullptr};
  EXPECT_EQ(Parsed(table, "/-A+B /~C").error, FlagError::None);
  EXPECT_EQ(a.state, FlagState::Minus);
  EXPECT_EQ(b.state, FlagState::Plus);
  EXPECT_EQ(c.state, FlagState::Tilde);
  EXPECT_EQ(d.state, kNotMet);
  EXPECT_EQ(Parsed(table, "/A/B").error, FlagError::None);
  EXPECT_EQ(a.state, FlagState::Plain);
  EXPECT_EQ(b.state, FlagState::Plain);
}

TEST(FlagParser, IgnoresWordsOutsideItemsAndTheProgramName) {
  t_FlagULongR v("V", 0, 1000, 0, 100, FlagState::Minus);
  t_Flag* table[] = {&v, nullptr};
  FlagContext context;
  context.table = table;
  EXPECT_EQ(ParseArguments(context, "  tqupd   "), FlagError::None);
  EXPECT_EQ(ParseArguments(context, "tqupd word other"), FlagError::None);
  EXPECT_EQ(v.state, FlagState::Minus);
  // "/" inside a word starts an item.
  EXPECT_EQ(ParseArguments(context, "tqupd\tword/V7"), FlagError::None);
  EXPECT_EQ(v.low, 7u);
  // A quoted program name runs to its closing quote, whatever it holds.
  EXPECT_EQ(ParseArguments(context, "\"/opt/my tools/tqupd\" /V9"), FlagError::None);
  EXPECT_EQ(v.low, 9u);
  EXPECT_EQ(ParseArguments(context, nullptr), FlagError::None);
}

TEST(FlagParser, SkipsFlagsWithoutANameInsteadOfLoopingOnThem) {
  t_FlagULongR unnamed("", 0, 9, 0, 9, FlagState::Minus), v("V", 0, 9, 0, 9, FlagState::Minus);
  t_Flag* table[] = {&unnamed, &v, nullptr};
  EXPECT_EQ(Parsed(table, "/V3").error, FlagError::None);
  EXPECT_EQ(v.low, 3u);
}

TEST(FlagString, ReadsQuotedAndPlainValues) {
  struct Case {
    const char* arguments;
    const char* value;
  } cases[] = {
      {"/Nvalue", "value"},       {"/N value", "value"},    {"/N\"a b\"", "a b"},
      {"/Nx\"\"y", "x\"y"},       {"/N\"a\"\"b\"", "a\"b"}, {"/N\"a/b\"", "a/b"},
      {"/Nab/M", "ab"},           {"/N", "dflt"},           {"/N  ", "dflt"},
      {"/Nfirst /Nlast", "last"},
  };
  for (const Case& c : cases) {
    t_FlagString n("N", "dflt", 0, 8, nullptr, FlagState::Minus);
    t_FlagString m("M", nullptr, 0, 8, nullptr, FlagState::Minus);
    t_Flag* table[] = {&n, &m, nullptr};
    EXPECT_EQ(Parsed(table, c.arguments).error, FlagError::None) << c.arguments;
    EXPECT_EQ(Value(n), c.value) << c.arguments;
  }
}

TEST(FlagString, RefusesValuesShorterThanTheMinimum) {
  t_FlagString n("N", nullptr, 3, 8, nullptr, FlagState::Minus);
  t_Flag* table[] = {&n, nullptr};
  EXPECT_EQ(Parsed(table, "/Nab").error, FlagError::TooShort);
  EXPECT_EQ(Parsed(table, "/N").error, FlagError::TooShort);
  EXPECT_EQ(Parsed(table, "/Nabc").error, FlagError::None);
}

TEST(FlagString, TakesAChoiceAsWrittenInTheList) {
  static const char* const kOnOff[] = {"ON", "OFF", nullptr};
  t_FlagString m("M", 2, kOnOff, FlagState::Minus);
  EXPECT_EQ(m.value, kOnOff[1]);
  t_Flag* table[] = {&m, nullptr};
  EXPECT_EQ(Parsed(table, "/Moff").error, FlagError::None);
  EXPECT_EQ(m.value, kOnOff[1]);
  // The default is the value until the flag is given; given empty, the value is shorter
  // than the shortest choice.
  EXPECT_EQ(Parsed(table, "/M").error, FlagError::TooShort);
  Parsed no(table, "/Mno");
  EXPECT_EQ(no.error, FlagError::UnknownValue);
  EXPECT_EQ(no.Report(), "\nError: Unknown parameter value - \"/Mno\".\n");
  EXPECT_EQ(Parsed(table, "/Mmaybe").error, FlagError::TooLong);  // before the list is searched
}

TEST(FlagString, KeepsAtMostNineChoicesAndNoDefaultPastTheList) {
  t_FlagString nine("C", 10, "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", FlagState::Minus);
  EXPECT_EQ(nine.value, nullptr);
  t_Flag* table[] = {&nine, nullptr};
  EXPECT_EQ(Parsed(table, "/Ci").error, FlagError::None);
  EXPECT_EQ(Parsed(table, "/Cj").error, FlagError::UnknownValue);

  static const char* const kTwo[] = {"X", "Y", nullptr};
  t_FlagString pastTheEnd("M", 3, kTwo, FlagState::Minus);
  EXPECT_EQ(pastTheEnd.value, nullptr);
  t_FlagString second("M", 2, "P", "Q", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr, nullptr, FlagState::Minus);
  EXPECT_EQ(Value(second), "Q");
}

TEST(FlagString, ChecksPathValuesWithTheirValidator) {
  t_FlagString f("F", nullptr, 0, 64, FlagPathKind::File, FlagState::Minus);
  t_FlagString file("FILE", nullptr, 0, 64, FlagPathKind::File, FlagState::Minus);
  t_FlagString d("D", nullptr, 0, 64, FlagPathKind::Directory, FlagState::Minus);
  t_Flag* table[] = {&file, &f, &d, nullptr};
  struct Case {
    const char* arguments;
    FlagError error;
  } cases[] = {
      {"/Fc:\\dir\\x.txt", FlagError::None},
      {"/Fx*.txt", FlagError::BadFileName},
      {"/Fdir\\", FlagError::BadFileName},
      {"/FILEa|b", FlagCode(FlagError::BadFileName, FlagPlace::Name)},
      {"/Dc:\\dir\\sub", FlagError::None},
      {"/Dc:\\a:b", FlagError::BadDirectory},
      {"/D1:\\x", FlagError::BadDirectory},
  };
  for (const Case& c : cases) EXPECT_EQ(Parsed(table, c.arguments).error, c.error) << c.arguments;
  Parsed bad(table, "/Fx*.txt");
  EXPECT_EQ(bad.Report(), "\nError: Syntax error in filename - \"/Fx*.txt\".\n");
}

TEST(FlagRange, ReadsNumbersRangesAndQuotedCharacters) {
  struct Case {
    const char* arguments;
    FlagError error;
    uint32_t low;
    uint32_t high;
  } cases[] = {
      {"/V5", FlagError::None, 5, 100},
      {"/V-7", FlagError::None, 0, 7},
      {"/V9-3", FlagError::None, 3, 9},
      {"/V'A'", FlagError::None, 65, 100},
      {"/V0x10", FlagError::None, 16, 100},
      {"/V010", FlagError::None, 8, 100},
      {"/V5-", FlagError::None, 5, 100},
      {"/V", FlagError::None, 0, 100},
      {"/V ", FlagError::None, 0, 100},
      {"/V200-0x12C", FlagError::None, 200, 300},
      {"/V'A", FlagError::Syntax, 0, 100},
      {"/V'", FlagError::Syntax, 0, 100},  // the text ends right after the quote
      {"/V2000", FlagError::AboveMaximum, 0, 100},
      {"/V99999999999", FlagError::AboveMaximum, 0, 100},
      {"/V5-2000", FlagError::AboveMaximum, 5, 100},
      {"/Vx", FlagError::Unknown, 0, 100},  // V keeps its defaults, then x is no flag
  };
  for (const Case& c : cases) {
    t_FlagULongR v("V", 0, 1000, 0, 100, FlagState::Minus);
    t_Flag* table[] = {&v, nullptr};
    EXPECT_EQ(Parsed(table, c.arguments).error, c.error) << c.arguments;
    EXPECT_EQ(v.low, c.low) << c.arguments;
    EXPECT_EQ(v.high, c.high) << c.arguments;
  }
  t_FlagULongR atLeastTen("V", 10, 1000, 10, 100, FlagState::Minus);
  t_Flag* table[] = {&atLeastTen, nullptr};
  EXPECT_EQ(Parsed(table, "/V5").error, FlagError::BelowMinimum);
}

TEST(FlagRange, WithoutANumberKeepsItsDefaultsAsDeclared) {
  // Defaults given high end first: a range read from the line is put in order, the
  // defaults alone are the application's own and stay as they are.
  struct Case {
    const char* arguments;
    uint32_t low;
    uint32_t high;
  } cases[] = {
      {"/V", 100, 0},  {"/V-", 100, 0}, {"/V ", 100, 0},
      {"/V50", 0, 50}, {"/V5-", 0, 5},  {"/V-7", 7, 100},
  };
  for (const Case& c : cases) {
    t_FlagULongR v("V", 0, 1000, 100, 0, FlagState::Minus);
    t_Flag* table[] = {&v, nullptr};
    EXPECT_EQ(Parsed(table, c.arguments).error, FlagError::None) << c.arguments;
    EXPECT_EQ(v.low, c.low) << c.arguments;
    EXPECT_EQ(v.high, c.high) << c.arguments;
  }
}

TEST(FlagParser, CodesOneToTenKeepTheirNumberWhereverTheyAreRaised) {
  // A validator may pass on an error of the path and environment services: a message of
  // its own, not a class with places, so neither a longer name nor a group moves it on.
  FlagValidator notFound = [](t_FlagString*) { return FlagError::DirectoryNotFound; };
  t_FlagString n("n", nullptr, 0, 8, notFound, FlagState::Minus);
  t_Flag* members[] = {&n, nullptr};
  t_FlagGroup grp("GRP", members, FlagState::Minus);
  t_FlagString name("NAME", nullptr, 0, 8, notFound, FlagState::Minus),
      topN("N", nullptr, 0, 8, notFound, FlagState::Minus);
  t_Flag* table[] = {&grp, &name, &topN, nullptr};
  for (const char* arguments : {"/Nx", "/NAMEx", "/GRPnx"}) {
    EXPECT_EQ(Parsed(table, arguments).error, FlagError::DirectoryNotFound) << arguments;
    EXPECT_EQ(flagNestingDepth, -1) << arguments;
  }
}

TEST(FlagParser, NumbersEachErrorByNameLengthAndNestingAndQuotesTheItem) {
  t_FlagULongR v("v", 0, 1000, 0, 100, FlagState::Minus);
  t_FlagString n("n", nullptr, 0, 4, nullptr, FlagState::Minus);
  t_TestSwitch a("a"), b("b");
  t_Flag* members[] = {&v, &n, &a, &b, nullptr};
  t_FlagGroup grp("GRP", members, FlagState::Minus), g("G", members, FlagState::Minus);
  t_FlagULongR port("PORT", 0, 1000, 0, 100, FlagState::Minus);
  t_FlagString name("NAME", nullptr, 0, 4, nullptr, FlagState::Minus),
      topN("N", nullptr, 0, 4, nullptr, FlagState::Minus);
  t_Flag* table[] = {&grp, &g, &port, &name, &topN, nullptr};
  struct Case {
    const char* arguments;
    FlagError errorClass;
    FlagPlace place;
    const char* message;
  } cases[] = {
      {"/Q", FlagError::Unknown, FlagPlace::Letter, "Error: Unknown flag - \"/Q\""},
      {"/q", FlagError::Unknown, FlagPlace::Letter, "Error: Unknown flag - \"/Q\""},
      // One character too many is kept, so that the message shows where the value broke.
      {"/Nabcdef", FlagError::TooLong, FlagPlace::Letter,
       "Error: String contains too many characters in flag - \"/Nabcde...\""},
      {"/NAMEabcdef", FlagError::TooLong, FlagPlace::Name,
       "Error: String contains too many characters in flag - \"/NAMEabcde...\""},
      // The item ends at "=".
      {"/Gz=1", FlagError::Unknown, FlagPlace::Name, "Error: Unknown flag - \"/GZ\""},
      {"/GRPz", FlagError::Unknown, FlagPlace::Member, "Error: Unknown flag in \"/GRP\" - 'Z'"},
      {"/PORT2000", FlagError::AboveMaximum, FlagPlace::Name,
       "Error: Out of bounds in flag - \"/PORT\""},
      {"/Gv2000", FlagError::AboveMaximum, FlagPlace::Name,
       "Error: Out of bounds in flag - \"/G\""},
      {"/GRPv2000", FlagError::AboveMaximum, FlagPlace::Member,
       "Error: Flag out of bounds in \"/GRP\" - 'v'"},
      {"/Gnabcdef", FlagError::TooLong, FlagPlace::Name,
       "Error: String contains too many characters in flag - \"/Gnabcde...\""},
      {"/GRPnabcdef", FlagError::TooLong, FlagPlace::Member,
       "Error: String contains too many characters for flag in \"/GRP\" - 'n'abcde...\""},
      {"/GRPv'x", FlagError::Syntax, FlagPlace::Member,
       "Error: Flag syntax error in \"/GRP\" - 'v'"},
  };
  for (const Case& c : cases) {
    Parsed run(table, c.arguments);
    EXPECT_EQ(run.error, FlagCode(c.errorClass, c.place)) << c.arguments;
    EXPECT_EQ(run.Report(), Reported(c.message)) << c.arguments;
    EXPECT_EQ(flagNestingDepth, -1) << c.arguments;
  }
  Parsed ok(table, "/Ga-b/PORT7 /GRP+v5");
  EXPECT_EQ(ok.error, FlagError::None);
  EXPECT_EQ(a.state, FlagState::Plain);
  EXPECT_EQ(b.state, FlagState::Minus);
  EXPECT_EQ(port.low, 7u);
  EXPECT_EQ(v.state, FlagState::Plus);
  EXPECT_EQ(v.low, 5u);
}

// Applications act on the codes' numbers, so the numbers are the library's interface: the
// tests above name the codes, and this one holds each name to its number.
TEST(FlagError, EveryCodeKeepsItsNumber) {
  const std::pair<FlagError, uint32_t> codes[] = {
      {FlagError::None, 0},
      {FlagError::OutOfMemory, 1},
      {FlagError::PathSyntax, 2},
      {FlagError::DirectorySyntax, 3},
      {FlagError::NoSuchDrive, 4},
      {FlagError::DirectoryNotFound, 5},
      {FlagError::TooManyDirectories, 6},
      {FlagError::TooManyFileNames, 7},
      {FlagError::EnvironmentSyntax, 8},
      {FlagError::VariableNotFound, 9},
      {FlagError::EnvironmentDirectoryNotFound, 10},
      {FlagError::Unknown, 11},
      {FlagError::Syntax, 14},
      {FlagError::NoData, 17},
      {FlagError::BelowMinimum, 20},
      {FlagError::AboveMaximum, 23},
      {FlagError::TooShort, 26},
      {FlagError::TooLong, 29},
      {FlagError::BadFileName, 32},
      {FlagError::BadDirectory, 35},
      {FlagError::UnknownValue, 38},
      // A class's three places: "/X", "/NAME" or "/Gm", "/GRPm".
      {FlagCode(FlagError::Syntax, FlagPlace::Letter), 14},
      {FlagCode(FlagError::Syntax, FlagPlace::Name), 15},
      {FlagCode(FlagError::Syntax, FlagPlace::Member), 16},
  };
  for (const auto& [code, number] : codes) EXPECT_EQ(static_cast<uint32_t>(code), number);
}

// The parser's tests above meet the messages of the flag classes as a user does. These
// rows add the shapes of message they do not reach: a text alone, an echo with its own
// stop set and closing text, the environment's variable name, and codes outside the table.
// The code after the last one the library has a message for.
constexpr FlagError kPastTheLastCode = static_cast<FlagError>(
    static_cast<uint32_t>(FlagCode(FlagError::UnknownValue, FlagPlace::Member)) + 1);

TEST(FlagReport, PrintsTheRowOfTheCodeWithItsArguments) {
  t_FlagString flag("NAME", nullptr, 0, 8, nullptr, FlagState::Minus),
      member("m", nullptr, 0, 8, nullptr, FlagState::Minus);
  flag.value = "val";
  member.value = "mv";
  FlagContext context;
  context.token = "c:\\dir more";
  context.memberToken = "path";
  context.flag = &flag;
  context.member = &member;
  struct Case {
    FlagError code;
    const char* message;
  } cases[] = {
      {FlagError::None, "Error: Unknown error: "},  // no row lists None
      {FlagError::OutOfMemory, "Error: Out of memory"},
      {FlagError::NoSuchDrive, "Error: No such drive - \"C:\""},
      {FlagError::EnvironmentSyntax, "Error: Syntax error in environment - Env=path, Dir=C:\\DIR"},
      {FlagError::VariableNotFound, "Error: Environment variable not found - \"PATH\""},
      {FlagCode(FlagError::TooShort, FlagPlace::Member),
       "Error: String contains too few characters for flag in \"/NAME\" - 'm'mv\""},
      {kPastTheLastCode, "Error: Unknown error: "},
  };
  for (const Case& c : cases) {
    context.error = c.code;
    EXPECT_EQ(FlagErrorText(context), Reported(c.message)) << static_cast<unsigned>(c.code);
  }
}

TEST(FlagReport, ShowsMissingTextsAsNullPointer) {
  FlagContext context;
  context.error = FlagError::PathSyntax;
  EXPECT_EQ(FlagErrorText(context), "\nError: Syntax error in path - \"(Null Pointer)\".\n");
  context.error = FlagError::NoData;
  EXPECT_EQ(FlagErrorText(context), "\nError: No data given for flag - \"/(Null Pointer)\".\n");
  EXPECT_EQ(UpperUntilText(nullptr, " "), "(Null Pointer)");
  EXPECT_EQ(UpperUntilText("c:dir x", " :"), "C");
}

TEST(FlagCommandLine, GivesTheParserBackEachArgumentAsItWas) {
  const char* values[] = {"plain",       "a b",   "x\"y",   "\"quoted\"", "tab\there",
                          "two  blanks", "a \"b", "  \"\n", "\" \"\" ",   ""};
  for (const char* value : values) {
    std::string item = std::string("/N") + value;
    const char* argv[] = {"/opt/my tools/tqupd", "", "word", item.c_str()};
    t_FlagString n("N", "dflt", 0, 32, nullptr, FlagState::Minus);
    t_Flag* table[] = {&n, nullptr};
    FlagContext context;
    context.table = table;
    std::string line = JoinArguments(4, argv);
    EXPECT_EQ(ParseArguments(context, line.c_str()), FlagError::None) << line;
    EXPECT_EQ(Value(n), value[0] != '\0' ? value : "dflt") << line;
  }
  const char* argv[] = {"my prog", "/Na b", "q\""};
  EXPECT_EQ(JoinArguments(3, argv), "my\" \"prog /Na\" \"b q\"\"");
}

}  // namespace
