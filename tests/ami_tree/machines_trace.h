// Drives the lexer and grammar machine over an input exactly as ParseTree
// does and records what happens on every character, so tests can check
// states, depth, tokens and messages without any binding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ami_tree/lexer.h"

struct MachineStep {
  char c;                // the character read
  AmiLexClass lexClass;  // class returned by the lexer
  bool done;             // the character completed a token
  std::string token;     // the token's text after the lexer call
  AmiParseState state;   // grammar state after the parser call
  std::int32_t depth;    // depth after the parser call
};

struct MachineTrace {
  std::vector<MachineStep> steps;
  std::vector<std::string> messages;  // each buffer flush, in order
  std::int32_t depth = 0;
  std::int32_t inQuote = 0;

  // Steps that completed a token.
  std::vector<MachineStep> doneSteps() const {
    std::vector<MachineStep> out;
    for (const MachineStep& s : steps)
      if (s.done) out.push_back(s);
    return out;
  }
};

inline MachineTrace runMachines(const std::string& input,
                                std::int32_t policy = kAmiQuoteStrict) {
  MachineTrace trace;
  AmiLexClass lexClass = TokSpace;
  AmiParseState state = ExpectParen;
  std::int32_t inQuote = 0;
  std::int32_t tokenDone = 0;
  std::int32_t depth = 0;
  InLineString token{nullptr, 0};
  // Heap buffer of exactly the limit, so an overrun is caught by AddressSanitizer.
  std::vector<char> buffer(kAmiMessageLimit, '\0');
  auto flush = [&] {
    if (buffer[0] != '\0') trace.messages.emplace_back(buffer.data());
    buffer[0] = '\0';
  };
  for (const char* cursor = input.c_str(); *cursor != '\0'; ++cursor) {
    lexClass = AmiLexerNew(cursor, lexClass, state, &token, &inQuote, &tokenDone, buffer.data(),
                           kAmiMessageLimit, policy);
    flush();
    MachineStep step{*cursor, lexClass, tokenDone == 1, "", state, depth};
    if (token.start != nullptr) step.token.assign(token.start, static_cast<std::size_t>(token.length));
    state = AmiParser(lexClass, state, &tokenDone, &depth, buffer.data(), kAmiMessageLimit);
    flush();
    step.state = state;
    step.depth = depth;
    trace.steps.push_back(step);
  }
  trace.depth = depth;
  trace.inQuote = inQuote;
  return trace;
}
