// Lexer and grammar machine: state sequences, depth, tokens, every message and
// the whole-or-nothing rule of the message buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ami_tree/lexer.h"
#include "tests/ami_tree/machines_trace.h"

namespace {

const std::string kMsg1 = "**Error** '(' encountered in parameter string when text was expected.\n";
const std::string kMsg2 = "**Error** '(' encountered in parameter string when ')' was expected.\n";
const std::string kMsg3 =
    "**Error** Text encountered in parameter string when '(' or ')' was expected.\n";
const std::string kMsg4 = "**Error** ')' encountered in parameter string when text was expected.\n";
const std::string kMsg5 =
    "**Error** ')' encountered in parameter string when '(' or text was expected.\n";
const std::string kMsg6 = "**Error** Parameter string nested too deeply.\n";
const std::string kMsg7 = "**Error** Too many close parens in parameter string.\n";

std::string quoteWarning(const std::string& rest) {
  return "**Warning** Ignoring unexpected quote found at " + rest + ".\n";
}

std::vector<AmiParseState> statesOnTokens(const MachineTrace& t) {
  std::vector<AmiParseState> out;
  for (const MachineStep& s : t.doneSteps()) out.push_back(s.state);
  return out;
}

std::vector<std::string> wordTokens(const MachineTrace& t) {
  std::vector<std::string> out;
  for (const MachineStep& s : t.doneSteps())
    if (s.lexClass == TokText) out.push_back(s.token);
  return out;
}

TEST(Machines, LeafItemStatesAndDepth) {
  const MachineTrace t = runMachines("(a 1)");
  EXPECT_EQ(statesOnTokens(t), (std::vector<AmiParseState>{ExpectName, ExpectValueOrOpen,
                                                           ExpectMoreOrClose, ExpectParen}));
  EXPECT_EQ(wordTokens(t), (std::vector<std::string>{"a", "1"}));
  EXPECT_EQ(t.depth, 0);
  EXPECT_TRUE(t.messages.empty());
}

TEST(Machines, BranchRaisesAndLowersDepth) {
  const MachineTrace t = runMachines("(r (a 1))");
  std::vector<std::int32_t> depths;
  for (const MachineStep& s : t.doneSteps()) depths.push_back(s.depth);
  // Tokens: ( r ( a 1 ) )
  EXPECT_EQ(depths, (std::vector<std::int32_t>{0, 0, 1, 1, 1, 1, 0}));
  EXPECT_EQ(statesOnTokens(t),
            (std::vector<AmiParseState>{ExpectName, ExpectValueOrOpen, ExpectName,
                                        ExpectValueOrOpen, ExpectMoreOrClose, ExpectParen,
                                        ExpectParen}));
  EXPECT_TRUE(t.messages.empty());
}

TEST(Machines, WordAtEndOfInputIsCompleted) {
  const MachineTrace t = runMachines("(a 12");
  ASSERT_FALSE(t.steps.empty());
  EXPECT_TRUE(t.steps.back().done);
  EXPECT_EQ(t.steps.back().token, "12");
  EXPECT_EQ(t.steps.back().state, ExpectMoreOrClose);
  EXPECT_TRUE(t.messages.empty());  // an unfinished input says nothing
}

TEST(Machines, WordReportedOnceOnItsLastCharacter) {
  const MachineTrace t = runMachines("(abc\tdef\r\nghi)");
  EXPECT_EQ(wordTokens(t), (std::vector<std::string>{"abc", "def", "ghi"}));
  for (const MachineStep& s : t.steps)
    if (s.c == 'a' || s.c == 'b' || s.c == 'd') {
      EXPECT_FALSE(s.done) << s.c;
    }
}

TEST(Machines, HighBytesAndVerticalTabAreWordCharacters) {
  const MachineTrace t = runMachines("(a \xc3\xa9\v\x80)");
  EXPECT_EQ(wordTokens(t), (std::vector<std::string>{"a", "\xc3\xa9\v\x80"}));
}

TEST(Machines, FormatSkippedInNamePosition) {
  const MachineTrace t = runMachines("(Format Mode 2)");
  EXPECT_EQ(wordTokens(t), (std::vector<std::string>{"Mode", "2"}));
  EXPECT_EQ(statesOnTokens(t), (std::vector<AmiParseState>{ExpectName, ExpectValueOrOpen,
                                                           ExpectMoreOrClose, ExpectParen}));
  EXPECT_TRUE(t.messages.empty());
}

TEST(Machines, FormatIsAnOrdinaryValue) {
  const MachineTrace t = runMachines("(Mode Format)");
  EXPECT_EQ(wordTokens(t), (std::vector<std::string>{"Mode", "Format"}));
}

TEST(Machines, FormatExceptionIsExactAndCaseSensitive) {
  EXPECT_EQ(wordTokens(runMachines("(format 1)")), (std::vector<std::string>{"format", "1"}));
  EXPECT_EQ(wordTokens(runMachines("(Formats 1)")), (std::vector<std::string>{"Formats", "1"}));
  // Alone before ")", it is never reported, so ")" arrives where a name was expected.
  const MachineTrace t = runMachines("(Format)");
  EXPECT_TRUE(wordTokens(t).empty());
  EXPECT_EQ(t.messages, (std::vector<std::string>{kMsg4}));
}

TEST(Machines, QuotedValueKeepsInnerSpace) {
  const MachineTrace t = runMachines("(PAM \"PAM 4\")");
  EXPECT_EQ(wordTokens(t), (std::vector<std::string>{"PAM", "PAM 4"}));
  const std::vector<MachineStep> done = t.doneSteps();
  ASSERT_EQ(done.size(), 4u);
  EXPECT_EQ(done[2].c, '"');  // reported on the closing quote
  EXPECT_EQ(done[2].token.size(), 5u);
  EXPECT_TRUE(t.messages.empty());
}

TEST(Machines, QuotedTextHoldsParenthesesAndSpaces) {
  const MachineTrace t = runMachines("(a \"(x) y\" z)");
  EXPECT_EQ(wordTokens(t), (std::vector<std::string>{"a", "(x) y", "z"}));
  EXPECT_EQ(t.depth, 0);
  EXPECT_TRUE(t.messages.empty());
}

TEST(Machines, EmptyQuotesGiveNoValue) {
  const MachineTrace t = runMachines("(a \"\")");
  EXPECT_EQ(wordTokens(t), (std::vector<std::string>{"a"}));
  // The empty pair completes a token of class TokSpace, which nobody binds.
  const std::vector<MachineStep> done = t.doneSteps();
  ASSERT_EQ(done.size(), 4u);
  EXPECT_EQ(done[2].lexClass, TokSpace);
  EXPECT_EQ(t.messages, (std::vector<std::string>{kMsg5}));
}

TEST(Machines, QuoteRightAfterNameIsIgnoredWithWarning) {
  const MachineTrace t = runMachines("(a\"b\")");
  EXPECT_EQ(t.messages, (std::vector<std::string>{quoteWarning("\"b\")"), quoteWarning("\")")}));
  // The word after the ignored quote is a token of its own, without the quote.
  EXPECT_EQ(wordTokens(t), (std::vector<std::string>{"a", "b"}));
}

TEST(Machines, WordRightAfterClosingQuoteStartsANewToken) {
  const MachineTrace t = runMachines("(a \"bc\"de)");
  EXPECT_EQ(wordTokens(t), (std::vector<std::string>{"a", "bc", "de"}));
}

TEST(Machines, QuoteInNamePositionIsIgnored) {
  const MachineTrace t = runMachines("( \"a\" 1)");
  EXPECT_EQ(t.messages, (std::vector<std::string>{quoteWarning("\"a\" 1)"),
                                                  quoteWarning("\" 1)")}));
  EXPECT_EQ(wordTokens(t), (std::vector<std::string>{"a", "1"}));
  EXPECT_EQ(t.inQuote, 0);
}

TEST(Machines, QuoteBeforeFirstParenIsIgnored) {
  const MachineTrace t = runMachines(" \"x");
  ASSERT_EQ(t.messages.size(), 2u);
  EXPECT_EQ(t.messages[0], quoteWarning("\"x"));
  EXPECT_EQ(t.messages[1], kMsg3);
}

TEST(Machines, LenientPolicyOpensQuotesInNamePosition) {
  const MachineTrace t = runMachines("( \"a b\" 1)", kAmiQuoteLenient);
  EXPECT_TRUE(t.messages.empty());
  EXPECT_EQ(wordTokens(t), (std::vector<std::string>{"a b", "1"}));
}

TEST(Machines, InputEndingInsideQuotesSaysNothing) {
  const MachineTrace t = runMachines("(a \"open (b");
  EXPECT_TRUE(t.messages.empty());
  EXPECT_EQ(t.inQuote, 1);
  EXPECT_EQ(wordTokens(t), (std::vector<std::string>{"a"}));
}

TEST(Machines, EachWordBeforeFirstParenGivesMessage3) {
  const MachineTrace t = runMachines("x yz (a 1)");
  EXPECT_EQ(t.messages, (std::vector<std::string>{kMsg3, kMsg3}));
}

TEST(Machines, SurplusCloseGivesMessage7AndDepthStaysZero) {
  const MachineTrace t = runMachines("(r (a 1)))");
  EXPECT_EQ(t.messages, (std::vector<std::string>{kMsg7}));
  EXPECT_EQ(t.depth, 0);
  EXPECT_EQ(t.steps.back().state, ExpectParen);
}

std::string nested(int opens) {
  std::string s = "(a";
  for (int k = 0; k < opens; ++k) s += " (a";
  return s;
}

TEST(Machines, DepthStopsAtFifteen) {
  const MachineTrace fifteen = runMachines(nested(15));
  EXPECT_EQ(fifteen.depth, 15);
  EXPECT_TRUE(fifteen.messages.empty());

  const MachineTrace sixteen = runMachines(nested(16));
  EXPECT_EQ(sixteen.depth, 15);
  EXPECT_EQ(sixteen.messages, (std::vector<std::string>{kMsg6}));
  // The refused "(" still moves on to a name.
  const std::vector<MachineStep> done = sixteen.doneSteps();
  ASSERT_GE(done.size(), 2u);
  EXPECT_EQ(done[done.size() - 2].state, ExpectName);
  EXPECT_EQ(done.back().state, ExpectValueOrOpen);
}

struct GrammarCase {
  const char* name;
  const char* input;
  std::vector<std::string> messages;
  AmiParseState finalState;
  std::int32_t finalDepth;
};

const GrammarCase kGrammar[] = {
    {"open_when_name_expected", "((", {kMsg1}, ExpectName, 0},
    {"open_after_value", "(a 1 (", {kMsg2}, ExpectMoreOrClose, 0},
    {"text_when_paren_expected", "(a 1) b", {kMsg3}, ExpectParen, 0},
    {"close_when_name_expected", "()", {kMsg4}, ExpectName, 0},
    {"close_after_name", "(a)", {kMsg5}, ExpectValueOrOpen, 0},
    {"too_many_close", ")", {kMsg7}, ExpectParen, 0},
    {"close_then_open_sibling", "(r (a 1) (b 2))", {}, ExpectParen, 0},
    {"more_values_stay", "(a 1 2 3)", {}, ExpectParen, 0},
    {"open_branch_left_open", "(r (s (t 1)", {}, ExpectParen, 2},
    {"errors_do_not_stop", "(() x 1)", {kMsg1, kMsg4}, ExpectParen, 0},
};

class GrammarTest : public ::testing::TestWithParam<GrammarCase> {};

TEST_P(GrammarTest, MessagesAndFinalState) {
  const GrammarCase& c = GetParam();
  const MachineTrace t = runMachines(c.input);
  EXPECT_EQ(t.messages, c.messages);
  ASSERT_FALSE(t.steps.empty());
  EXPECT_EQ(t.steps.back().state, c.finalState);
  EXPECT_EQ(t.depth, c.finalDepth);
}

INSTANTIATE_TEST_SUITE_P(Table, GrammarTest, ::testing::ValuesIn(kGrammar),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Machines, ParserIgnoresCharactersThatCompleteNothing) {
  std::int32_t done = 0;
  std::int32_t depth = 3;
  char buffer[kAmiMessageLimit] = "";
  for (AmiLexClass c : {TokOpen, TokText, TokClose, TokSpace})
    for (AmiParseState s : {ExpectParen, ExpectName, ExpectValueOrOpen, ExpectMoreOrClose})
      EXPECT_EQ(AmiParser(c, s, &done, &depth, buffer, kAmiMessageLimit), s);
  EXPECT_EQ(depth, 3);
  EXPECT_STREQ(buffer, "");
}

// --- the message buffer ----------------------------------------------------

std::string lexQuoteInNamePosition(const std::string& rest, std::vector<char>* buffer,
                                   std::int32_t limit) {
  InLineString token{nullptr, 0};
  std::int32_t inQuote = 0;
  std::int32_t done = 0;
  AmiLexer(rest.c_str(), TokSpace, ExpectName, &token, &inQuote, &done, buffer->data(), limit);
  EXPECT_EQ(done, 0);
  EXPECT_EQ(inQuote, 0);
  return std::string(buffer->data());
}

TEST(MessageBuffer, QuoteWarningFitsUpTo206CharactersOfRest) {
  const std::string rest = "\"" + std::string(205, 'x');  // 206 characters with the quote
  std::vector<char> buffer(kAmiMessageLimit, '\0');
  const std::string got = lexQuoteInNamePosition(rest, &buffer, kAmiMessageLimit);
  EXPECT_EQ(got, quoteWarning(rest));
  EXPECT_EQ(got.size(), 255u);
}

TEST(MessageBuffer, QuoteWarningDroppedWholeFrom207Characters) {
  const std::string rest = "\"" + std::string(206, 'x');
  std::vector<char> buffer(kAmiMessageLimit, '\0');
  EXPECT_EQ(lexQuoteInNamePosition(rest, &buffer, kAmiMessageLimit), "");
}

TEST(MessageBuffer, HundredKilobyteRestNeverOverruns) {
  const std::string rest = "\"" + std::string(100 * 1024, 'y');
  std::vector<char> buffer(kAmiMessageLimit, '\0');
  EXPECT_EQ(lexQuoteInNamePosition(rest, &buffer, kAmiMessageLimit), "");
}

TEST(MessageBuffer, MessageAppendedOnlyWhenItFitsBesideHeldText) {
  // Held text of 186 characters: message 7 (53 characters) fits (239 < 256).
  std::vector<char> buffer(kAmiMessageLimit, '\0');
  const std::string held(186, 'h');
  std::memcpy(buffer.data(), held.c_str(), held.size() + 1);
  std::int32_t done = 1;
  std::int32_t depth = 0;
  AmiParser(TokClose, ExpectParen, &done, &depth, buffer.data(), kAmiMessageLimit);
  EXPECT_EQ(std::string(buffer.data()), held + kMsg7);

  // Held text of 203: 203 + 53 = 256 is not below the limit, so it is dropped.
  const std::string fuller(203, 'h');
  std::memcpy(buffer.data(), fuller.c_str(), fuller.size() + 1);
  AmiParser(TokClose, ExpectParen, &done, &depth, buffer.data(), kAmiMessageLimit);
  EXPECT_EQ(std::string(buffer.data()), fuller);
}

TEST(MessageBuffer, UnterminatedBufferCountsAsFull) {
  std::vector<char> buffer(16, 'z');  // no NUL within the limit
  std::int32_t done = 1;
  std::int32_t depth = 0;
  AmiParser(TokClose, ExpectParen, &done, &depth, buffer.data(), 16);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(16, 'z'));
}

TEST(MessageBuffer, SmallLimitDropsEverything) {
  std::vector<char> buffer(8, '\0');
  std::int32_t done = 1;
  std::int32_t depth = 0;
  AmiParser(TokClose, ExpectParen, &done, &depth, buffer.data(), 8);
  EXPECT_STREQ(buffer.data(), "");
  EXPECT_FALSE(AmiAppendMessage(buffer.data(), 0, "a", nullptr, 0, nullptr));
  EXPECT_FALSE(AmiAppendMessage(nullptr, 8, "a", nullptr, 0, nullptr));
}

}  // namespace
