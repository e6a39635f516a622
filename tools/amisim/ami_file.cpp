#include "tools/amisim/ami_file.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace amisim {

namespace {

constexpr int kMaxDepth = 64;

struct Lexer {
  const std::string& text;
  std::size_t pos = 0;
  int line = 1;
};

enum class Tok { Open, Close, Word, End, Error };

Tok nextToken(Lexer& lx, AmiToken* tok, std::string* error) {
  const std::string& s = lx.text;
  for (;;) {
    while (lx.pos < s.size() &&
           (s[lx.pos] == ' ' || s[lx.pos] == '\t' || s[lx.pos] == '\r' || s[lx.pos] == '\n')) {
      if (s[lx.pos] == '\n') ++lx.line;
      ++lx.pos;
    }
    if (lx.pos < s.size() && s[lx.pos] == '|') {  // comment to the end of the line
      while (lx.pos < s.size() && s[lx.pos] != '\n') ++lx.pos;
      continue;
    }
    break;
  }
  if (lx.pos >= s.size()) return Tok::End;
  const char c = s[lx.pos];
  if (c == '(') {
    ++lx.pos;
    return Tok::Open;
  }
  if (c == ')') {
    ++lx.pos;
    return Tok::Close;
  }
  tok->text.clear();
  if (c == '"') {
    const int startLine = lx.line;
    ++lx.pos;
    while (lx.pos < s.size() && s[lx.pos] != '"') {
      if (s[lx.pos] == '\n') ++lx.line;
      tok->text += s[lx.pos++];
    }
    if (lx.pos >= s.size()) {
      *error = "line " + std::to_string(startLine) + ": quoted text is not closed";
      return Tok::Error;
    }
    ++lx.pos;
    tok->quoted = true;
    return Tok::Word;
  }
  while (lx.pos < s.size()) {
    const char d = s[lx.pos];
    if (d == '(' || d == ')' || d == '"' || d == ' ' || d == '\t' || d == '\r' || d == '\n') break;
    tok->text += d;
    ++lx.pos;
  }
  tok->quoted = false;
  return Tok::Word;
}

// After the '(' of an item: name, values, nested items, ')'.
bool parseItem(Lexer& lx, AmiItem* item, int depth, std::string* error) {
  if (depth > kMaxDepth) {
    *error = "line " + std::to_string(lx.line) + ": items nested too deeply";
    return false;
  }
  item->line = lx.line;
  AmiToken tok;
  Tok t = nextToken(lx, &tok, error);
  if (t == Tok::Error) return false;
  if (t != Tok::Word || tok.quoted) {
    *error = "line " + std::to_string(lx.line) + ": an item must start with a name";
    return false;
  }
  item->name = tok.text;
  for (;;) {
    t = nextToken(lx, &tok, error);
    switch (t) {
      case Tok::Error:
        return false;
      case Tok::End:
        *error = "line " + std::to_string(item->line) + ": item " + item->name + " is not closed";
        return false;
      case Tok::Close:
        return true;
      case Tok::Word:
        item->values.push_back(tok);
        break;
      case Tok::Open: {
        item->items.emplace_back();
        if (!parseItem(lx, &item->items.back(), depth + 1, error)) return false;
        break;
      }
    }
  }
}

const AmiItem* child(const AmiItem& item, const char* name) {
  for (const AmiItem& c : item.items)
    if (c.name == name) return &c;
  return nullptr;
}

bool parseNumber(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(*value);
}

std::string lineError(int line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

// Stores the reason and returns false, so that a check reads as one line.
bool fail(std::string* error, int line, const std::string& what) {
  *error = lineError(line, what);
  return false;
}

bool readLeaf(const AmiItem& item, const std::vector<std::string>& path, bool reserved,
              AmiParameter* p, std::string* error) {
  p->path = path;
  p->reserved = reserved;
  p->line = item.line;
  const std::string name = joinPath(path);
  const AmiItem* usage = child(item, "Usage");
  if (usage == nullptr || usage->values.size() != 1)
    return fail(error, item.line, name + ": needs (Usage In|Out|InOut|Info)");
  const std::string& u = usage->values[0].text;
  if (u == "In")
    p->usage = AmiUsage::In;
  else if (u == "Out")
    p->usage = AmiUsage::Out;
  else if (u == "InOut")
    p->usage = AmiUsage::InOut;
  else if (u == "Info")
    p->usage = AmiUsage::Info;
  else
    return fail(error, usage->line, name + ": unknown Usage " + u);

  const AmiItem* type = child(item, "Type");
  if (type == nullptr || type->values.size() != 1)
    return fail(error, item.line, name + ": needs (Type ...)");
  const std::string& ty = type->values[0].text;
  if (ty == "Float")
    p->type = AmiType::Float;
  else if (ty == "Integer")
    p->type = AmiType::Integer;
  else if (ty == "String")
    p->type = AmiType::String;
  else if (ty == "Boolean")
    p->type = AmiType::Boolean;
  else if (ty == "UI")
    p->type = AmiType::UI;
  else if (ty == "Tap")
    p->type = AmiType::Tap;
  else
    return fail(error, type->line, name + ": unknown Type " + ty);

  // The format item, in the present form (List 0 1) or the older (Format List 0 1).
  const AmiItem* fmt = nullptr;
  std::vector<AmiToken> args;
  std::string kind;
  for (const char* k : {"Value", "List", "Range"})
    if ((fmt = child(item, k)) != nullptr) {
      kind = k;
      args = fmt->values;
      break;
    }
  if (fmt == nullptr && (fmt = child(item, "Format")) != nullptr && !fmt->values.empty()) {
    kind = fmt->values[0].text;
    args.assign(fmt->values.begin() + 1, fmt->values.end());
  }
  const AmiItem* def = child(item, "Default");
  if (def != nullptr && def->values.size() != 1)
    return fail(error, def->line, name + ": (Default ...) takes one value");

  if (kind == "Value") {
    if (args.size() != 1) return fail(error, fmt->line, name + ": (Value ...) takes one value");
    p->format = AmiFormat::Value;
    p->list = args;
    p->defaultValue = def != nullptr ? def->values[0] : args[0];
  } else if (kind == "List") {
    if (args.empty()) return fail(error, fmt->line, name + ": empty List");
    p->format = AmiFormat::List;
    p->list = args;
    p->defaultValue = def != nullptr ? def->values[0] : args[0];
  } else if (kind == "Range") {
    if (args.size() != 3 || !parseNumber(args[0].text, &p->typ) ||
        !parseNumber(args[1].text, &p->min) || !parseNumber(args[2].text, &p->max) ||
        !(p->min <= p->max))
      return fail(error, fmt->line, name + ": (Range typ min max) needs three numbers, min <= max");
    p->format = AmiFormat::Range;
    p->defaultValue = def != nullptr ? def->values[0] : args[0];
  } else if (kind.empty() && def != nullptr) {
    p->format = AmiFormat::Default;
    p->defaultValue = def->values[0];
  } else {
    return fail(error, item.line,
                name + ": needs (Value ...), (List ...), (Range ...) or (Default ...)");
  }
  if (isSent(*p) && !valueAllowed(*p, p->defaultValue))
    return fail(error, item.line,
                name + ": default " + p->defaultValue.text + " is not allowed by its own format");
  const AmiItem* desc = child(item, "Description");
  if (desc != nullptr && !desc->values.empty()) p->description = desc->values[0].text;
  return true;
}

bool isAttribute(const std::string& name) {
  return name == "Description" || name == "Usage" || name == "Type" || name == "Format" ||
         name == "Default" || name == "Value" || name == "List" || name == "Range" ||
         name == "List_Tip" || name == "Labels" || name == "Corner" || name == "Increment" ||
         name == "Steps";
}

bool collect(const AmiItem& item, std::vector<std::string> path, bool reserved, AmiFile* file,
             std::string* error) {
  for (const AmiItem& c : item.items) {
    if (isAttribute(c.name)) continue;
    const bool branchOfKind =
        path.empty() && (c.name == "Reserved_Parameters" || c.name == "Model_Specific");
    if (branchOfKind) {
      if (!collect(c, path, c.name == "Reserved_Parameters", file, error)) return false;
      continue;
    }
    std::vector<std::string> p = path;
    p.push_back(c.name);
    const bool leafLike = child(c, "Type") != nullptr || child(c, "Range") != nullptr ||
                          child(c, "List") != nullptr || child(c, "Value") != nullptr ||
                          child(c, "Default") != nullptr || child(c, "Format") != nullptr;
    if (child(c, "Usage") == nullptr && leafLike) {
      *error = lineError(c.line, joinPath(p) + ": needs (Usage In|Out|InOut|Info)");
      return false;
    }
    if (child(c, "Usage") != nullptr) {
      AmiParameter param;
      if (!readLeaf(c, p, reserved, &param, error)) return false;
      file->parameters.push_back(std::move(param));
    } else if (!collect(c, p, reserved, file, error)) {
      return false;
    }
  }
  return true;
}

void emit(const AmiItem& item, std::vector<std::string> path, const AmiFile& file,
          const std::map<std::string, AmiToken>& overrides, std::string* out, int* count) {
  for (const AmiItem& c : item.items) {
    if (isAttribute(c.name)) continue;
    if (path.empty() && (c.name == "Reserved_Parameters" || c.name == "Model_Specific")) {
      emit(c, path, file, overrides, out, count);
      continue;
    }
    std::vector<std::string> p = path;
    p.push_back(c.name);
    const std::string dotted = joinPath(p);
    if (child(c, "Usage") != nullptr) {
      const AmiParameter* param = findParameter(file, dotted);
      if (param == nullptr || !isSent(*param)) continue;
      const auto o = overrides.find(dotted);
      const AmiToken& v = o != overrides.end() ? o->second : param->defaultValue;
      *out += " (" + c.name + " " + formatValue(*param, v) + ")";
      ++*count;
    } else {
      std::string inner;
      int innerCount = 0;
      emit(c, p, file, overrides, &inner, &innerCount);
      if (innerCount == 0) continue;
      *out += " (" + c.name + inner + ")";
      *count += innerCount;
    }
  }
}

}  // namespace

std::string joinPath(const std::vector<std::string>& path) {
  std::string s;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i != 0) s += '.';
    s += path[i];
  }
  return s;
}

bool isSent(const AmiParameter& p) { return p.usage == AmiUsage::In || p.usage == AmiUsage::InOut; }

const char* usageName(AmiUsage usage) {
  switch (usage) {
    case AmiUsage::In:
      return "In";
    case AmiUsage::Out:
      return "Out";
    case AmiUsage::InOut:
      return "InOut";
    case AmiUsage::Info:
      return "Info";
  }
  return "?";
}

const char* typeName(AmiType type) {
  switch (type) {
    case AmiType::Float:
      return "Float";
    case AmiType::Integer:
      return "Integer";
    case AmiType::String:
      return "String";
    case AmiType::Boolean:
      return "Boolean";
    case AmiType::UI:
      return "UI";
    case AmiType::Tap:
      return "Tap";
  }
  return "?";
}

bool parseAmiText(const std::string& text, AmiFile* out, std::string* error) {
  Lexer lx{text};
  AmiToken tok;
  Tok t = nextToken(lx, &tok, error);
  if (t == Tok::Error) return false;
  if (t != Tok::Open) {
    *error = lineError(lx.line, "the file must start with '(' and the model name");
    return false;
  }
  AmiFile file;
  if (!parseItem(lx, &file.tree, 0, error)) return false;
  t = nextToken(lx, &tok, error);
  if (t == Tok::Error) return false;
  if (t != Tok::End) {
    *error = lineError(lx.line, "text after the root item");
    return false;
  }
  file.root = file.tree.name;
  const AmiItem* desc = child(file.tree, "Description");
  if (desc != nullptr && !desc->values.empty()) file.description = desc->values[0].text;
  if (!collect(file.tree, {}, false, &file, error)) return false;
  *out = std::move(file);
  return true;
}

bool readAmiFile(const std::string& path, AmiFile* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (!parseAmiText(text.str(), out, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

const AmiParameter* findParameter(const AmiFile& file, const std::string& dottedPath) {
  for (const AmiParameter& p : file.parameters)
    if (joinPath(p.path) == dottedPath) return &p;
  return nullptr;
}

std::string formatValue(const AmiParameter& p, const AmiToken& value) {
  if (p.type == AmiType::String) return "\"" + value.text + "\"";
  return value.text;
}

bool valueAllowed(const AmiParameter& p, const AmiToken& value) {
  const bool numeric = p.type == AmiType::Float || p.type == AmiType::Integer ||
                       p.type == AmiType::UI || p.type == AmiType::Tap;
  double v = 0.0;
  if (numeric && !parseNumber(value.text, &v)) return false;
  if (p.type == AmiType::Integer && v != std::floor(v)) return false;
  if (p.type == AmiType::Boolean && value.text != "True" && value.text != "False") return false;
  if (p.type == AmiType::String && value.text.find('"') != std::string::npos) return false;
  switch (p.format) {
    case AmiFormat::Default:
      return true;
    case AmiFormat::Range:
      return v >= p.min && v <= p.max;
    case AmiFormat::Value:
    case AmiFormat::List:
      for (const AmiToken& t : p.list) {
        double w = 0.0;
        if (numeric ? (parseNumber(t.text, &w) && w == v) : t.text == value.text) return true;
      }
      return false;
  }
  return false;
}

std::string buildParameterString(const AmiFile& file,
                                 const std::map<std::string, AmiToken>& overrides, int* sentCount) {
  std::string body;
  int count = 0;
  emit(file.tree, {}, file, overrides, &body, &count);
  if (sentCount != nullptr) *sentCount = count;
  return "(" + file.root + body + ")";
}

}  // namespace amisim

namespace amisim {

std::vector<std::pair<std::string, std::string>> flattenParameterString(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> leaves;
  std::vector<std::string> stack;  // names of the open items, root first
  std::string value;
  bool expectName = false;
  bool hasValue = false;
  std::size_t i = 0;
  auto closeItem = [&]() {
    if (hasValue && stack.size() >= 2) {
      std::vector<std::string> path(stack.begin() + 1, stack.end());
      leaves.emplace_back(joinPath(path), value);
    }
    if (!stack.empty()) stack.pop_back();
    value.clear();
    hasValue = false;
  };
  while (i < text.size()) {
    const char c = text[i];
    if (c == '(') {
      value.clear();
      hasValue = false;
      expectName = true;
      ++i;
    } else if (c == ')') {
      closeItem();
      expectName = false;
      ++i;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else {
      std::string word;
      if (c == '"' || c == '\'') {
        const std::size_t end = text.find(c, i + 1);
        word = text.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
        i = end == std::string::npos ? text.size() : end + 1;
      } else {
        while (i < text.size() && text[i] != '(' && text[i] != ')' && text[i] != ' ' &&
               text[i] != '\t' && text[i] != '\r' && text[i] != '\n')
          word += text[i++];
      }
      if (expectName) {
        stack.push_back(word);
        expectName = false;
      } else if (!stack.empty()) {
        value += (hasValue ? " " : "") + word;
        hasValue = true;
      }
    }
  }
  return leaves;
}

}  // namespace amisim
