// Output parameter strings: GrowTree writes a description tree in the same
// parenthesised form as the input, e.g. (rx_hcm_ctle_high(CTLE(ConfigSelect 3))).
// Numbers are formatted in the C locale: doubles "%g" (1e+06, 0.5, -1),
// integers as signed decimals. Nothing is ever truncated. Also the echo file
// and the release of what the parser allocated in a tree.
#pragma once

#include "ami_tree/param_tree.h"

// The output text of tree: a new std::malloc block that the caller releases
// with std::free; null only when memory runs out. Branch and root names are
// followed directly by their first item, leaf names by one space and the
// value; texts are written between double quotes, unescaped; empty arrays are
// left out, name included. A ParamChar holding NUL is written with no character.
char* GrowTree(ParamTree tree);

// "(name v1 v2 ...)" for a non-empty array, elements formatted by array's own
// type; the elements of "PAM_Thresholds" stand between double quotes as one
// value. Null for an empty or malformed array (or when memory runs out).
char* print_array(const char* name, ArrayVal array);

// Writes text exactly (no line feed added) to "tarvo_echo_param.txt" in the
// current directory, replacing it; silently does nothing when the file cannot
// be created.
void EchoTree(const char* text);

// Releases every text value and all array storage in the tree and its
// branches, leaving null texts and empty arrays behind (so a second FreeTree,
// or a later parse into the same tree, is harmless). The records and names
// stay the builder's.
void FreeTree(ParamTree tree);
