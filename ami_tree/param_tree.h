// Parameter description tree: the records that the entry layer builds, the
// parser fills and the writer reads, plus the two small shared helpers
// string_cat and Equalf.
//
// Ownership: the builder owns every ParamTree, ParamNode and ArrayVal record
// and every name. The tree owns every text value (ParamString) and the element
// storage of every ArrayVal: they are heap blocks of std::malloc, or null.
// ParseTree releases a text value when it replaces it, and FreeTree releases
// all of them, so build string defaults with ParamNodeString (a heap copy),
// never with a literal or a fixed buffer.
#pragma once

#include <cstdint>

// Value type of a node; the numbers are part of the interface.
enum ParamType : std::int32_t {
  ParamDouble = 0,       // double, read "%lf", written "%g"
  ParamLong = 1,         // signed 32-bit, read "%li", written "%ld"
  ParamInt = 2,          // signed 32-bit, read "%i", written "%d"
  ParamShort = 3,        // signed 16-bit, read "%hi", written "%hd"
  ParamChar = 4,         // one 8-bit character, read and written as itself
  ParamDoubleArray = 5,  // ArrayVal of doubles
  ParamLongArray = 6,    // ArrayVal of signed 32-bit integers
  ParamIntArray = 7,     // ArrayVal of signed 32-bit integers
  ParamShortArray = 8,   // ArrayVal of signed 16-bit integers
  ParamString = 9,       // NUL-terminated heap text owned by the tree
  ParamSubtree = 10      // branch: points to a ParamTree of the same name
};

// True for the four array types.
bool IsArrayType(ParamType type);

// A growable array of numbers, filled element by element by the parser.
struct ArrayVal {
  ParamType type;         // one of the four array types, the same as its node's
  std::int32_t count;     // elements in use
  void* values;           // count elements of the type's width (8, 4 or 2 bytes),
                          // std::malloc storage owned by the tree; null while empty
  std::int32_t capacity;  // elements the storage holds; 0 while values is null
};

// An empty array of the given array type (no storage yet).
ArrayVal ArrayValEmpty(ParamType type);

struct ParamTree;

// The 8-byte value slot of a node; the member in use follows the node's type.
union ParamValue {
  double d;          // ParamDouble
  std::int32_t l;    // ParamLong
  std::int32_t i;    // ParamInt
  std::int16_t s;    // ParamShort
  char c;            // ParamChar
  ArrayVal* array;   // the four array types (record owned by the builder)
  char* text;        // ParamString: heap text owned by the tree, or null
  ParamTree* tree;   // ParamSubtree (record owned by the builder)
};

// One parameter, leaf or branch.
struct ParamNode {
  const char* name;  // NUL-terminated, owned by the builder; compared exactly
  ParamType type;
  ParamValue value;
};

// A named list of nodes: the root of a description tree, or a branch.
struct ParamTree {
  const char* name;      // NUL-terminated, owned by the builder
  std::int32_t count;    // number of children
  ParamNode* children;   // count nodes, in output order; written through by the parser
};

// Node builders. ParamNodeString stores a heap copy of defaultText (null when
// defaultText is null or memory runs out).
ParamNode ParamNodeDouble(const char* name, double value);
ParamNode ParamNodeLong(const char* name, std::int32_t value);
ParamNode ParamNodeInt(const char* name, std::int32_t value);
ParamNode ParamNodeShort(const char* name, std::int16_t value);
ParamNode ParamNodeChar(const char* name, char value);
ParamNode ParamNodeString(const char* name, const char* defaultText);
ParamNode ParamNodeArray(const char* name, ArrayVal* array);  // type from array->type
ParamNode ParamNodeSubtree(const char* name, ParamTree* tree);

// Joins two texts. Both null: null. text null: a new copy of more. more null:
// text itself. Otherwise a new allocation holding text then more, and text is
// released. Callers replace their own pointer with the result. When memory
// runs out, text is returned unchanged (null when it was null), so nothing is
// lost or leaked. Texts are std::malloc blocks; release the result with std::free.
char* string_cat(char* text, const char* more);

// Equality within a relative tolerance: 1 when a == b, else 1 when
// |a - b| / ((|a| + |b|) / 2) < 1e-7, else 0. Any NaN gives 0; zero against any
// non-zero value gives 0.
int Equalf(double a, double b);
