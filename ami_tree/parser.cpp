#include "ami_tree/parser.h"

#include <cstdlib>
#include <cstring>

#include "ami_tree/c_locale.h"

namespace {

// A NUL-terminated copy of the token, on the stack when short, so that a
// conversion can never read past the token ("nan" followed by "(x)" must not
// be taken as "nan(x)").
class TokenText {
 public:
  explicit TokenText(InLineString token) : text_(local_) {
    const std::size_t length = token.length > 0 ? static_cast<std::size_t>(token.length) : 0;
    if (length >= sizeof local_) {
      heap_ = static_cast<char*>(std::malloc(length + 1));
      text_ = heap_;
    }
    if (text_ == nullptr) return;
    if (length != 0) std::memcpy(text_, token.start, length);
    text_[length] = '\0';
  }
  ~TokenText() { std::free(heap_); }
  TokenText(const TokenText&) = delete;
  TokenText& operator=(const TokenText&) = delete;
  const char* get() const { return text_; }  // null when memory ran out

 private:
  char local_[64];
  char* heap_ = nullptr;
  char* text_;
};

bool readDouble(InLineString token, double* out) {
  const TokenText text(token);
  if (text.get() == nullptr) return false;
  char* end = nullptr;
  const double value = std::strtod(text.get(), &end);
  if (end == text.get()) return false;
  *out = value;
  return true;
}

// Reads an integer and saturates it at [lowest, highest].
bool readInteger(InLineString token, long long lowest, long long highest, long long* out) {
  const TokenText text(token);
  if (text.get() == nullptr) return false;
  char* end = nullptr;
  const long long value = std::strtoll(text.get(), &end, 0);
  if (end == text.get()) return false;
  *out = value < lowest ? lowest : (value > highest ? highest : value);
  return true;
}

bool readInt32(InLineString token, std::int32_t* out) {
  long long value = 0;
  if (!readInteger(token, INT32_MIN, INT32_MAX, &value)) return false;
  *out = static_cast<std::int32_t>(value);
  return true;
}

bool readInt16(InLineString token, std::int16_t* out) {
  long long value = 0;
  if (!readInteger(token, INT16_MIN, INT16_MAX, &value)) return false;
  *out = static_cast<std::int16_t>(value);
  return true;
}

std::size_t elementWidth(ParamType type) {
  switch (type) {
    case ParamDoubleArray: return sizeof(double);
    case ParamLongArray:
    case ParamIntArray: return sizeof(std::int32_t);
    case ParamShortArray: return sizeof(std::int16_t);
    default: return 0;
  }
}

// Makes room for one more element; storage doubles so that long arrays fill
// in linear time.
bool growArray(ArrayVal* array, std::size_t width) {
  if (array->count < 0 || array->count == INT32_MAX) return false;
  if (array->values != nullptr && array->count < array->capacity) return true;
  std::int32_t capacity = array->count < 4 ? 4 : array->count;
  capacity = capacity > INT32_MAX / 2 ? INT32_MAX : capacity * 2;
  void* grown = std::realloc(array->values, static_cast<std::size_t>(capacity) * width);
  if (grown == nullptr) return false;
  array->values = grown;
  array->capacity = capacity;
  return true;
}

// Text after which a binding message names its node.
void reportNode(TextBuffer* message, const char* head, const ParamNode* node) {
  TextAppend(message, head);
  TextAppend(message, node->name != nullptr ? node->name : "");
  TextAppend(message, ".\n");
}

constexpr char kCouldNotConvert[] = "**Error** Could not convert value for ";
constexpr char kExtraText[] = "**Warning** Extra white space and text encountered in value for ";
constexpr char kOpenAfterLeafHead[] = "**Error** '(' encountered in parameter string when value for ";
constexpr char kOpenAfterLeafTail[] = " was expected.\n";

std::int32_t storeText(InLineString token, ParamNode* node) {
  const std::size_t length = token.length > 0 ? static_cast<std::size_t>(token.length) : 0;
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (copy == nullptr) return 0;
  if (length != 0) std::memcpy(copy, token.start, length);
  copy[length] = '\0';
  // The tree owns its texts: the one replaced is released here.
  std::free(node->value.text);
  node->value.text = copy;
  return 1;
}

// Converts a first value into node by its type; 1 when converted.
std::int32_t convertValue(InLineString token, ParamNode* node) {
  switch (node->type) {
    case ParamDouble: return readDouble(token, &node->value.d) ? 1 : 0;
    case ParamLong: return readInt32(token, &node->value.l) ? 1 : 0;
    case ParamInt: return readInt32(token, &node->value.i) ? 1 : 0;
    case ParamShort: return readInt16(token, &node->value.s) ? 1 : 0;
    case ParamChar:
      if (token.length <= 0) return 0;
      node->value.c = token.start[0];
      return 1;
    case ParamDoubleArray:
    case ParamLongArray:
    case ParamIntArray:
    case ParamShortArray: return AddToArray(token, node->type, node->value.array);
    case ParamString: return storeText(token, node);
    case ParamSubtree: return 0;
  }
  return 0;
}

// Everything a parse keeps between characters.
struct ParseState {
  AmiLexClass lexClass = TokSpace;
  AmiParseState state = ExpectParen;
  std::int32_t inQuote = 0;
  std::int32_t tokenDone = 0;
  std::int32_t depth = 0;  // index into levels, 0 to kAmiMaxDepth
  InLineString token{nullptr, 0};
  char buffer[kAmiMessageLimit] = {};  // lexer and grammar messages of one character
  ParamNode* current = nullptr;        // node named last; null when the name is unknown
  ParamTree levels[kAmiMaxDepth + 1] = {};  // name list of each open depth
  std::int32_t count = 0;
};

void flushBuffer(ParseState* p, TextBuffer* message) {
  if (p->buffer[0] == '\0') return;
  TextAppend(message, p->buffer);
  TextAppend(message, "\n");
  p->buffer[0] = '\0';
}

void addCount(ParseState* p, std::int32_t converted) {
  if (converted > 0 && p->count < INT32_MAX) ++p->count;
}

ParamNode* findName(const ParamTree& list, InLineString token) {
  if (list.children == nullptr) return nullptr;
  const std::size_t length = static_cast<std::size_t>(token.length);
  for (std::int32_t k = 0; k < list.count; ++k) {
    ParamNode* node = &list.children[k];
    if (node->name != nullptr && std::strlen(node->name) == length &&
        std::memcmp(node->name, token.start, length) == 0)
      return node;
  }
  return nullptr;
}

// A completed word, bound by the grammar state it arrives in.
void bindWord(ParseState* p, TextBuffer* message) {
  switch (p->state) {
    case ExpectName:
      p->current = p->depth >= 0 && p->depth <= kAmiMaxDepth
                       ? findName(p->levels[p->depth], p->token)
                       : nullptr;
      return;
    case ExpectValueOrOpen: {
      if (p->current == nullptr) return;
      const std::int32_t converted = convertValue(p->token, p->current);
      addCount(p, converted);
      if (converted == 0) reportNode(message, kCouldNotConvert, p->current);
      return;
    }
    case ExpectMoreOrClose: {
      if (p->current == nullptr) return;
      if (IsArrayType(p->current->type)) {
        const std::int32_t converted =
            AddToArray(p->token, p->current->type, p->current->value.array);
        addCount(p, converted);
        if (converted == 0) reportNode(message, kCouldNotConvert, p->current);
        return;
      }
      reportNode(message, kExtraText, p->current);
      reportNode(message, kCouldNotConvert, p->current);
      return;
    }
    case ExpectParen: return;
  }
}

// A "(" right after a name opens the child list of that name.
void openLevel(ParseState* p, TextBuffer* message) {
  ParamTree& next = p->levels[p->depth + 1];
  const ParamNode* node = p->current;
  if (node != nullptr && node->type == ParamSubtree && node->value.tree != nullptr) {
    next = *node->value.tree;
    if (next.count < 0) next.count = 0;
    return;
  }
  next.name = "NotMine";  // matches nothing: its whole content is skipped
  next.count = 0;
  next.children = nullptr;
  if (node != nullptr && node->type != ParamSubtree) {
    TextAppend(message, kOpenAfterLeafHead);
    TextAppend(message, node->name != nullptr ? node->name : "");
    TextAppend(message, kOpenAfterLeafTail);
  }
}

}  // namespace

std::int32_t AddToArray(InLineString token, ParamType type, ArrayVal* array) {
  const std::size_t width = elementWidth(type);
  if (array == nullptr || width == 0 || array->type != type) return 0;
  if (!growArray(array, width)) return 0;
  const CLocaleScope cLocale;
  const std::int32_t index = array->count++;
  char* slot = static_cast<char*>(array->values) + static_cast<std::size_t>(index) * width;
  std::memset(slot, 0, width);
  switch (type) {
    case ParamDoubleArray: return readDouble(token, reinterpret_cast<double*>(slot)) ? 1 : 0;
    case ParamLongArray:
    case ParamIntArray: return readInt32(token, reinterpret_cast<std::int32_t*>(slot)) ? 1 : 0;
    case ParamShortArray: return readInt16(token, reinterpret_cast<std::int16_t*>(slot)) ? 1 : 0;
    default: return 0;
  }
}

std::int32_t ParseTree(const char* input, ParamTree root, TextBuffer* message) {
  TextFree(message);
  if (input == nullptr) input = "";
  const CLocaleScope cLocale;

  ParseState p;
  p.token.start = input;
  // Level 0 holds one node, the root itself, so the first name must be the root's.
  ParamNode rootNode = ParamNodeSubtree(root.name, &root);
  p.levels[0].name = "MotherEarth";
  p.levels[0].count = 1;
  p.levels[0].children = &rootNode;

  for (const char* cursor = input; *cursor != '\0'; ++cursor) {
    p.lexClass = AmiLexer(cursor, p.lexClass, p.state, &p.token, &p.inQuote, &p.tokenDone,
                          p.buffer, kAmiMessageLimit);
    flushBuffer(&p, message);
    if (p.tokenDone == 1 && p.lexClass == TokText) bindWord(&p, message);
    if (p.tokenDone == 1 && p.lexClass == TokOpen && p.state == ExpectValueOrOpen &&
        p.depth >= 0 && p.depth <= kAmiMaxDepth - 1)
      openLevel(&p, message);
    p.state = AmiParser(p.lexClass, p.state, &p.tokenDone, &p.depth, p.buffer, kAmiMessageLimit);
    flushBuffer(&p, message);
  }
  return p.count;
}
