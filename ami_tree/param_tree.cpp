#include "ami_tree/param_tree.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

bool IsArrayType(ParamType type) {
  return type == ParamDoubleArray || type == ParamLongArray || type == ParamIntArray ||
         type == ParamShortArray;
}

ArrayVal ArrayValEmpty(ParamType type) {
  ArrayVal array;
  array.type = type;
  array.count = 0;
  array.values = nullptr;
  array.capacity = 0;
  return array;
}

namespace {

ParamNode makeNode(const char* name, ParamType type) {
  ParamNode node;
  node.name = name;
  node.type = type;
  // Zero the whole slot first so that narrow scalars leave no stray bytes.
  std::memset(&node.value, 0, sizeof node.value);
  return node;
}

}  // namespace

ParamNode ParamNodeDouble(const char* name, double value) {
  ParamNode node = makeNode(name, ParamDouble);
  node.value.d = value;
  return node;
}

ParamNode ParamNodeLong(const char* name, std::int32_t value) {
  ParamNode node = makeNode(name, ParamLong);
  node.value.l = value;
  return node;
}

ParamNode ParamNodeInt(const char* name, std::int32_t value) {
  ParamNode node = makeNode(name, ParamInt);
  node.value.i = value;
  return node;
}

ParamNode ParamNodeShort(const char* name, std::int16_t value) {
  ParamNode node = makeNode(name, ParamShort);
  node.value.s = value;
  return node;
}

ParamNode ParamNodeChar(const char* name, char value) {
  ParamNode node = makeNode(name, ParamChar);
  node.value.c = value;
  return node;
}

ParamNode ParamNodeString(const char* name, const char* defaultText) {
  ParamNode node = makeNode(name, ParamString);
  node.value.text = string_cat(nullptr, defaultText);
  return node;
}

ParamNode ParamNodeArray(const char* name, ArrayVal* array) {
  ParamNode node = makeNode(name, array != nullptr ? array->type : ParamDoubleArray);
  node.value.array = array;
  return node;
}

ParamNode ParamNodeSubtree(const char* name, ParamTree* tree) {
  ParamNode node = makeNode(name, ParamSubtree);
  node.value.tree = tree;
  return node;
}

char* string_cat(char* text, const char* more) {
  if (more == nullptr) return text;
  const std::size_t moreLength = std::strlen(more);
  const std::size_t textLength = text != nullptr ? std::strlen(text) : 0;
  char* joined = static_cast<char*>(std::malloc(textLength + moreLength + 1));
  if (joined == nullptr) return text;
  if (textLength != 0) std::memcpy(joined, text, textLength);
  std::memcpy(joined + textLength, more, moreLength + 1);
  std::free(text);
  return joined;
}

int Equalf(double a, double b) {
  if (a == b) return 1;
  const double ratio = std::fabs(a - b) / ((std::fabs(a) + std::fabs(b)) / 2.0);
  return ratio < 1e-7 ? 1 : 0;
}
