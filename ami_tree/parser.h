// Binding of a parameter string to a description tree: ParseTree drives the
// lexer and grammar machine over the input one character at a time and writes
// every value found under a known name into that node, converted by the
// node's type. Unknown names, and everything below them, are skipped silently;
// malformed values and grammar faults are reported in the message text.
//
// Conversions run in the C locale whatever the process's locale: doubles as
// strtod reads them (decimal, exponent, hexadecimal, inf, nan), integers with
// an optional sign and a base chosen by the text (0x or 0X hexadecimal, a
// leading 0 octal, else decimal). A number is the longest prefix of the token
// that forms one; the rest of the token is ignored, so "12abc" reads as 12.
// Integers beyond the type's range saturate at its bounds.
#pragma once

#include <cstdint>

#include "ami_tree/lexer.h"
#include "ami_tree/param_tree.h"
#include "ami_tree/text_buffer.h"

// Parses input (null reads as empty) into the tree below root. The message
// text is emptied first (its old text released) and then receives every
// message. Returns the number of values converted: one per scalar or text
// value, one per array element.
//
// A text value that is replaced is released; text values must therefore be
// null or std::malloc blocks owned by the tree (see param_tree.h). Array
// elements are appended to whatever the arrays already hold.
std::int32_t ParseTree(const char* input, ParamTree root, TextBuffer* message);

// Appends one element to array and converts the token into it by type. The
// element is appended before the conversion, so an element that fails to
// convert stays, with the value 0. Returns 1 when converted, 0 when not; also
// 0, appending nothing, when array is null, type is not an array type or not
// array->type, or memory runs out.
std::int32_t AddToArray(InLineString token, ParamType type, ArrayVal* array);
