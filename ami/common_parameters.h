// Parameters every model shares (Modulation, DLL_ID, AMI_Debug) and lookups
// of parsed values in a description tree.
#pragma once

#include "ami_tree/param_tree.h"
#include "ami_tree/writer.h"

class AMI;

// Storage for the three shared children of a root and the AMI_Debug branch.
struct CommonParameters {
  ParamTree debugTree;
  ParamNode debugChildren[2];  // Enable, Start_Time
};

// Fills children[0..2] with Modulation, DLL_ID and AMI_Debug and their defaults
// (heap texts, released by FreeTree).
void Rx_addCommonParameters(ParamNode children[3], CommonParameters& common);

// The child of tree named name, or null.
const ParamNode* Rx_findChild(const ParamTree* tree, const char* name);
// root.branch.leaf (leaf null: root.branch), or null.
const ParamNode* Rx_findParameter(const ParamTree& root, const char* branch, const char* leaf);
// The value of a double leaf; fallback when absent or of another type.
double Rx_parameterDouble(const ParamNode* node, double fallback);
// The text of a string leaf; "" when absent.
const char* Rx_parameterText(const ParamNode* node);

// 2 for NRZ, 4 for PAM4 (bare or in one pair of double or single quotes);
// otherwise 2 with the warning.
double Rx_bindModulation(const ParamTree& root, AMI& ami);

// Releases a description tree built in one Storage record whose first member
// is the root: the texts the parser stored, then the records.
template <typename Storage>
void Rx_releaseInputTree(ParamTree* root) {
  if (root == nullptr) return;
  FreeTree(*root);
  delete reinterpret_cast<Storage*>(root);
}
