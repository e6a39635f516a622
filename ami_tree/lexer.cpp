#include "ami_tree/lexer.h"

#include <cstring>

namespace {

constexpr char kQuoteWarningHead[] = "**Warning** Ignoring unexpected quote found at ";
constexpr char kQuoteWarningTail[] = ".\n";

constexpr char kOpenWhenText[] =
    "**Error** '(' encountered in parameter string when text was expected.\n";
constexpr char kOpenWhenClose[] =
    "**Error** '(' encountered in parameter string when ')' was expected.\n";
constexpr char kTextWhenParen[] =
    "**Error** Text encountered in parameter string when '(' or ')' was expected.\n";
constexpr char kCloseWhenText[] =
    "**Error** ')' encountered in parameter string when text was expected.\n";
constexpr char kCloseWhenOpenOrText[] =
    "**Error** ')' encountered in parameter string when '(' or text was expected.\n";
constexpr char kTooDeep[] = "**Error** Parameter string nested too deeply.\n";
constexpr char kTooManyClose[] = "**Error** Too many close parens in parameter string.\n";

bool isSpace(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// Characters after which a word ends.
bool endsWord(char c) {
  return c == '\0' || isSpace(c) || c == '"' || c == '(' || c == ')';
}

// A character extends the token only when it directly follows it; after an
// ignored or closing quote the class is still TokText, but the next word must
// not swallow the quote character, so it starts afresh.
void extendToken(const char* cursor, AmiLexClass lexClass, InLineString* token) {
  if (lexClass == TokText && token->start != nullptr && token->length >= 0 &&
      token->start + token->length == cursor) {
    if (token->length < INT32_MAX) ++token->length;
  } else {
    token->start = cursor;
    token->length = 1;
  }
}

bool isFormat(const InLineString& token) {
  return token.length == 6 && std::memcmp(token.start, "Format", 6) == 0;
}

bool quoteOpensText(AmiLexClass lexClass, AmiParseState state, std::int32_t policy) {
  const bool valuePosition = state == ExpectValueOrOpen || state == ExpectMoreOrClose;
  if (policy == kAmiQuoteStrict) return lexClass == TokSpace && valuePosition;
  return (lexClass == TokSpace || lexClass == TokOpen) && (state == ExpectName || valuePosition);
}

// strnlen without relying on POSIX: the length of s, or `bound` when longer.
std::size_t boundedLength(const char* s, std::size_t bound) {
  const void* nul = std::memchr(s, '\0', bound);
  return nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - s) : bound;
}

}  // namespace

bool AmiAppendMessage(char* message, std::int32_t limit, const char* part1, const char* part2,
                      std::int32_t part2MaxLength, const char* part3) {
  if (message == nullptr || limit <= 0) return false;
  const std::size_t room = static_cast<std::size_t>(limit);
  // An unterminated buffer counts as full.
  const std::size_t held = boundedLength(message, room);
  if (held >= room) return false;
  const std::size_t length1 = part1 != nullptr ? std::strlen(part1) : 0;
  const std::size_t length3 = part3 != nullptr ? std::strlen(part3) : 0;
  // Measure part2 only up to what could still fit, so a long rest of the input
  // costs at most `limit` steps.
  std::size_t length2 = 0;
  if (part2 != nullptr && part2MaxLength > 0) {
    const std::size_t bound = static_cast<std::size_t>(part2MaxLength) < room
                                  ? static_cast<std::size_t>(part2MaxLength)
                                  : room;
    length2 = boundedLength(part2, bound);
  }
  const std::size_t total = length1 + length2 + length3;
  if (total >= room || held + total >= room) return false;
  char* out = message + held;
  if (length1 != 0) std::memcpy(out, part1, length1);
  if (length2 != 0) std::memcpy(out + length1, part2, length2);
  if (length3 != 0) std::memcpy(out + length1 + length2, part3, length3);
  out[total] = '\0';
  return true;
}

AmiLexClass AmiLexer(const char* cursor, AmiLexClass lexClass, AmiParseState state,
                     InLineString* token, std::int32_t* inQuote, std::int32_t* tokenDone,
                     char* message, std::int32_t limit) {
  return AmiLexerNew(cursor, lexClass, state, token, inQuote, tokenDone, message, limit,
                     kAmiQuoteStrict);
}

AmiLexClass AmiLexerNew(const char* cursor, AmiLexClass lexClass, AmiParseState state,
                        InLineString* token, std::int32_t* inQuote, std::int32_t* tokenDone,
                        char* message, std::int32_t limit, std::int32_t quotePolicy) {
  if (cursor == nullptr || token == nullptr || inQuote == nullptr || tokenDone == nullptr)
    return lexClass;
  const char c = *cursor;

  if (*inQuote == 1) {
    if (c == '"') {
      *inQuote = 0;
      *tokenDone = 1;
      return lexClass;
    }
    *tokenDone = 0;
    extendToken(cursor, lexClass, token);
    return TokText;
  }
  if (isSpace(c)) {
    *tokenDone = 0;
    return TokSpace;
  }
  if (c == '(' || c == ')') {
    *tokenDone = 1;
    return c == '(' ? TokOpen : TokClose;
  }
  if (c == '"') {
    if (quoteOpensText(lexClass, state, quotePolicy)) {
      *inQuote = 1;
    } else {
      // The warning quotes the rest of the input from this quote on.
      AmiAppendMessage(message, limit, kQuoteWarningHead, cursor, limit, kQuoteWarningTail);
    }
    *tokenDone = 0;
    return lexClass;
  }

  *tokenDone = 0;
  extendToken(cursor, lexClass, token);
  // "Format" in name position is a keyword, never a name: the next word is.
  if (endsWord(cursor[1]) && !(state == ExpectName && isFormat(*token))) *tokenDone = 1;
  return TokText;
}

namespace {

void report(char* message, std::int32_t limit, const char* text) {
  AmiAppendMessage(message, limit, text, nullptr, 0, nullptr);
}

}  // namespace

AmiParseState AmiParser(AmiLexClass lexClass, AmiParseState state, const std::int32_t* tokenDone,
                        std::int32_t* depth, char* message, std::int32_t limit) {
  if (tokenDone == nullptr || depth == nullptr || *tokenDone != 1) return state;
  switch (lexClass) {
    case TokOpen:
      switch (state) {
        case ExpectParen: return ExpectName;
        case ExpectName: report(message, limit, kOpenWhenText); return state;
        case ExpectValueOrOpen:
          if (*depth > kAmiMaxDepth - 1) {
            report(message, limit, kTooDeep);
          } else {
            ++*depth;
          }
          return ExpectName;
        case ExpectMoreOrClose: report(message, limit, kOpenWhenClose); return state;
      }
      return state;
    case TokText:
      switch (state) {
        case ExpectParen: report(message, limit, kTextWhenParen); return state;
        case ExpectName: return ExpectValueOrOpen;
        case ExpectValueOrOpen: return ExpectMoreOrClose;
        case ExpectMoreOrClose: return state;
      }
      return state;
    case TokClose:
      switch (state) {
        case ExpectParen:
          if (*depth <= 0) {
            report(message, limit, kTooManyClose);
          } else {
            --*depth;
          }
          return ExpectParen;
        case ExpectName: report(message, limit, kCloseWhenText); return state;
        case ExpectValueOrOpen: report(message, limit, kCloseWhenOpenOrText); return state;
        case ExpectMoreOrClose: return ExpectParen;
      }
      return state;
    case TokSpace:
      return state;
  }
  return state;
}
