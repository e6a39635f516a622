// Character-level front end of parameter strings: the lexer, which classifies
// characters and collects tokens, and the grammar machine AmiParser, which
// checks the order of completed tokens and keeps the nesting depth.
//
// Neither keeps state of its own: the caller owns every variable and passes
// it in on each call, one character at a time. Neither stops on an error:
// grammar faults become messages in the caller's message buffer and the
// caller goes on with the next character.
//
// Message buffer: a NUL-terminated buffer of at least `limit` bytes. A message
// is appended whole when its length plus the length already held is below
// `limit`, and dropped whole otherwise; it is never truncated and never
// written beyond the buffer, however long the input it quotes.
#pragma once

#include <cstdint>

// The current token: a slice of the input, not NUL-terminated, never copied.
struct InLineString {
  const char* start;    // first character inside the input (read-only)
  std::int32_t length;  // characters from start
};

// Class of the character just read, returned by the lexer and given back.
enum AmiLexClass : std::int32_t {
  TokOpen = 0,   // "("
  TokText = 1,   // a character of a word or of quoted text
  TokSpace = 2,  // white space; also the class before the first character
  TokClose = 3   // ")"
};

// What the grammar machine expects next.
enum AmiParseState : std::int32_t {
  ExpectParen = 0,        // "(" for a sibling or ")" closing the branch; start state
  ExpectName = 1,         // a name, after "("
  ExpectValueOrOpen = 2,  // a value, or "(" for a branch, after a name
  ExpectMoreOrClose = 3   // more values or ")", after the first value
};

// Greatest nesting depth; the caller's stack of name lists has one more entry.
constexpr std::int32_t kAmiMaxDepth = 15;
// Message-buffer limit used by ParseTree.
constexpr std::int32_t kAmiMessageLimit = 256;

// Quote policies of AmiLexerNew.
constexpr std::int32_t kAmiQuoteLenient = 0;  // a quote may open text after "(" or space, in
                                              // name or value position
constexpr std::int32_t kAmiQuoteStrict = 1;   // a quote opens text only after white space in
                                              // value position

// Reads the character at cursor (and peeks at the next one, so the input must
// be NUL-terminated; the NUL itself is never passed in). lexClass is the value
// returned for the previous character (TokSpace first), state the grammar
// machine's current state. Updates token, *inQuote and *tokenDone (1 when this
// character completed a token) and returns the new class. Strict quote policy.
AmiLexClass AmiLexer(const char* cursor, AmiLexClass lexClass, AmiParseState state,
                     InLineString* token, std::int32_t* inQuote, std::int32_t* tokenDone,
                     char* message, std::int32_t limit);

// The lexer proper, with the quote policy as last argument.
AmiLexClass AmiLexerNew(const char* cursor, AmiLexClass lexClass, AmiParseState state,
                        InLineString* token, std::int32_t* inQuote, std::int32_t* tokenDone,
                        char* message, std::int32_t limit, std::int32_t quotePolicy);

// Advances the grammar on the class the lexer returned for the same character,
// when *tokenDone is 1; raises *depth on a "(" after a name (never beyond
// kAmiMaxDepth) and lowers it on a ")" closing a branch. Returns the new state.
AmiParseState AmiParser(AmiLexClass lexClass, AmiParseState state, const std::int32_t* tokenDone,
                        std::int32_t* depth, char* message, std::int32_t limit);

// Appends the concatenation of up to three parts to the message buffer when it
// fits whole (see above); the length of part2 is at most part2Length, so a
// long rest of the input is measured only as far as needed. Returns true when
// appended.
bool AmiAppendMessage(char* message, std::int32_t limit, const char* part1, const char* part2,
                      std::int32_t part2MaxLength, const char* part3);
