#include "ami_tree/writer.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ami_tree/c_locale.h"
#include "ami_tree/text_buffer.h"

namespace {

// Building fails as a whole once one append fails, so no truncated text is
// ever returned.
struct Writer {
  TextBuffer text = TextBufferEmpty();
  bool ok = true;

  void add(const char* more) {
    if (ok) ok = TextAppend(&text, more != nullptr ? more : "");
  }
  void addN(const char* more, std::size_t count) {
    if (ok) ok = TextAppendN(&text, more, count);
  }
  // Appends a number; the buffer is ample for every directive used here.
  template <typename T>
  void addNumber(const char* format, T value) {
    char number[64];
    const int length = std::snprintf(number, sizeof number, format, value);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof number) {
      ok = false;
      return;
    }
    addN(number, static_cast<std::size_t>(length));
  }
  char* finish() {
    if (ok) return TextRelease(&text);
    TextFree(&text);
    return nullptr;
  }
};

bool isPamThresholds(const char* name) {
  return name != nullptr && std::strcmp(name, "PAM_Thresholds") == 0;
}

void writeArray(Writer* out, const char* name, const ArrayVal& array) {
  const bool quoted = isPamThresholds(name);
  out->add("(");
  out->add(name);
  out->add(quoted ? " \"" : " ");
  for (std::int32_t k = 0; k < array.count; ++k) {
    if (k != 0) out->add(" ");
    switch (array.type) {
      case ParamDoubleArray: out->addNumber("%g", static_cast<const double*>(array.values)[k]); break;
      case ParamLongArray:
        out->addNumber("%" PRId32, static_cast<const std::int32_t*>(array.values)[k]);
        break;
      case ParamIntArray:
        out->addNumber("%" PRId32, static_cast<const std::int32_t*>(array.values)[k]);
        break;
      case ParamShortArray:
        out->addNumber("%d", static_cast<int>(static_cast<const std::int16_t*>(array.values)[k]));
        break;
      default: out->ok = false; break;
    }
  }
  out->add(quoted ? "\")" : ")");
}

bool writableArray(const ArrayVal& array) {
  return array.count > 0 && array.values != nullptr && IsArrayType(array.type);
}

void writeTree(Writer* out, const ParamTree& tree);

void writeLeaf(Writer* out, const ParamNode& node, const char* format) {
  out->add("(");
  out->add(node.name);
  out->add(" ");
  switch (node.type) {
    case ParamDouble: out->addNumber(format, node.value.d); break;
    case ParamLong: out->addNumber(format, node.value.l); break;
    case ParamInt: out->addNumber(format, node.value.i); break;
    case ParamShort: out->addNumber(format, static_cast<int>(node.value.s)); break;
    default: break;
  }
  out->add(")");
}

void writeNode(Writer* out, const ParamNode& node) {
  switch (node.type) {
    case ParamDouble: writeLeaf(out, node, "%g"); return;
    case ParamLong:
    case ParamInt: writeLeaf(out, node, "%" PRId32); return;
    case ParamShort: writeLeaf(out, node, "%d"); return;
    case ParamChar:
      out->add("(");
      out->add(node.name);
      out->add(" ");
      // A NUL would end the text early; it is left out.
      if (node.value.c != '\0') out->addN(&node.value.c, 1);
      out->add(")");
      return;
    case ParamDoubleArray:
    case ParamLongArray:
    case ParamIntArray:
    case ParamShortArray:
      if (node.value.array != nullptr && writableArray(*node.value.array))
        writeArray(out, node.name, *node.value.array);
      return;
    case ParamString:
      out->add("(");
      out->add(node.name);
      out->add(" \"");
      out->add(node.value.text);
      out->add("\")");
      return;
    case ParamSubtree:
      if (node.value.tree != nullptr) writeTree(out, *node.value.tree);
      return;
  }
}

void writeTree(Writer* out, const ParamTree& tree) {
  out->add("(");
  out->add(tree.name);
  if (tree.children != nullptr)
    for (std::int32_t k = 0; k < tree.count && out->ok; ++k) writeNode(out, tree.children[k]);
  out->add(")");
}

}  // namespace

char* GrowTree(ParamTree tree) {
  const CLocaleScope cLocale;
  Writer out;
  writeTree(&out, tree);
  return out.finish();
}

char* print_array(const char* name, ArrayVal array) {
  if (!writableArray(array)) return nullptr;
  const CLocaleScope cLocale;
  Writer out;
  writeArray(&out, name, array);
  return out.finish();
}

void EchoTree(const char* text) {
  std::FILE* file = std::fopen("tarvo_echo_param.txt", "w");
  if (file == nullptr) return;
  if (text != nullptr) std::fputs(text, file);
  std::fclose(file);
}

void FreeTree(ParamTree tree) {
  if (tree.children == nullptr) return;
  for (std::int32_t k = 0; k < tree.count; ++k) {
    ParamNode& node = tree.children[k];
    switch (node.type) {
      case ParamDoubleArray:
      case ParamLongArray:
      case ParamIntArray:
      case ParamShortArray:
        if (node.value.array != nullptr) {
          std::free(node.value.array->values);
          node.value.array->values = nullptr;
          node.value.array->count = 0;
          node.value.array->capacity = 0;
        }
        break;
      case ParamString:
        std::free(node.value.text);
        node.value.text = nullptr;
        break;
      case ParamSubtree:
        if (node.value.tree != nullptr) FreeTree(*node.value.tree);
        break;
      default: break;
    }
  }
}
