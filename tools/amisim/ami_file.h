// Reader of IBIS-AMI parameter (.ami) files and builder of the parameter
// string a simulator sends to AMI_Init.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace amisim {

// One word or quoted text of an .ami file.
struct AmiToken {
  std::string text;     // without the quotes
  bool quoted = false;  // written between double quotes
};

// One parenthesised item: its name, the words after it, its nested items.
struct AmiItem {
  std::string name;
  std::vector<AmiToken> values;  // in file order
  std::vector<AmiItem> items;    // in file order
  int line = 0;                  // where the item opens, 1-based
};

enum class AmiUsage { In, Out, InOut, Info };
enum class AmiType { Float, Integer, String, Boolean, UI, Tap };
enum class AmiFormat { Value, List, Range, Default };  // Default: a default with no format

// A leaf parameter: an item with a Usage.
struct AmiParameter {
  std::vector<std::string> path;  // names below the root, the branches Reserved_Parameters
                                  // and Model_Specific left out (as a simulator sends them)
  bool reserved = false;          // under Reserved_Parameters
  AmiUsage usage = AmiUsage::Info;
  AmiType type = AmiType::Float;
  AmiFormat format = AmiFormat::Value;
  std::vector<AmiToken> list;              // List: the allowed values; Value: the value
  double typ = 0.0, min = 0.0, max = 0.0;  // Range: typical, lowest, highest
  AmiToken defaultValue;                   // the value sent when nothing overrides it
  std::string description;
  int line = 0;
};

struct AmiFile {
  std::string root;                      // the model name: the parameter string's root
  std::string description;               // the root's (Description ...)
  AmiItem tree;                          // the root item as read
  std::vector<AmiParameter> parameters;  // every leaf, in file order
};

// Parses the text of an .ami file; false with a reason (line included).
bool parseAmiText(const std::string& text, AmiFile* out, std::string* error);
bool readAmiFile(const std::string& path, AmiFile* out, std::string* error);

// "CTLE.Mode" for a path.
std::string joinPath(const std::vector<std::string>& path);
// Usage In or InOut: the simulator sends it.
bool isSent(const AmiParameter& p);
const char* usageName(AmiUsage usage);
const char* typeName(AmiType type);

// The parameter with this dotted path, or null.
const AmiParameter* findParameter(const AmiFile& file, const std::string& dottedPath);

// The value written into the parameter string: strings quoted, other types as
// written in the file.
std::string formatValue(const AmiParameter& p, const AmiToken& value);

// Whether a value is one that the file allows (in the List, within the
// Range, equal to the Value; a Default-only parameter allows anything of its
// type). Numbers are compared as doubles.
bool valueAllowed(const AmiParameter& p, const AmiToken& value);

// The parameter string: the root and every In and InOut parameter with its
// default, or with overrides[dotted path] when given; branches without a
// sent parameter are left out. *sentCount receives the number of leaves.
std::string buildParameterString(const AmiFile& file,
                                 const std::map<std::string, AmiToken>& overrides, int* sentCount);

}  // namespace amisim

namespace amisim {

// The leaves of a parameter string as "A.B.C" and their value text, read
// leniently: unbalanced parentheses, missing values and stray text are
// tolerated, quotes are removed, several values are joined by spaces. The
// root's name is left out of the paths.
std::vector<std::pair<std::string, std::string>> flattenParameterString(const std::string& text);

}  // namespace amisim
