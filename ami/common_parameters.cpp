#include "ami/common_parameters.h"

#include <cstring>

#include "ami/ami.h"

void Rx_addCommonParameters(ParamNode children[3], CommonParameters& common) {
  common.debugChildren[0] = ParamNodeString("Enable", "False");
  common.debugChildren[1] = ParamNodeDouble("Start_Time", 0.0);
  common.debugTree = ParamTree{"AMI_Debug", 2, common.debugChildren};
  children[0] = ParamNodeString("Modulation", "NRZ");
  children[1] = ParamNodeString("DLL_ID", "Rx_debug");
  children[2] = ParamNodeSubtree("AMI_Debug", &common.debugTree);
}

const ParamNode* Rx_findChild(const ParamTree* tree, const char* name) {
  if (tree == nullptr) return nullptr;
  for (std::int32_t i = 0; i < tree->count; ++i)
    if (std::strcmp(tree->children[i].name, name) == 0) return &tree->children[i];
  return nullptr;
}

const ParamNode* Rx_findParameter(const ParamTree& root, const char* branch, const char* leaf) {
  const ParamNode* node = Rx_findChild(&root, branch);
  if (node == nullptr || leaf == nullptr) return node;
  return node->type == ParamSubtree ? Rx_findChild(node->value.tree, leaf) : nullptr;
}

double Rx_parameterDouble(const ParamNode* node, double fallback) {
  return node != nullptr && node->type == ParamDouble ? node->value.d : fallback;
}

const char* Rx_parameterText(const ParamNode* node) {
  return node != nullptr && node->type == ParamString && node->value.text != nullptr
             ? node->value.text
             : "";
}

namespace {

// text is word, or word in one pair of double or of single quotes.
bool namesModulation(const char* text, const char* word) {
  if (std::strcmp(text, word) == 0) return true;
  const std::size_t n = std::strlen(text);
  const std::size_t w = std::strlen(word);
  if (n != w + 2) return false;
  const char q = text[0];
  return (q == '"' || q == '\'') && text[n - 1] == q && std::strncmp(text + 1, word, w) == 0;
}

}  // namespace

double Rx_bindModulation(const ParamTree& root, AMI& ami) {
  const char* text = Rx_parameterText(Rx_findParameter(root, "Modulation", nullptr));
  if (namesModulation(text, "NRZ")) return 2.0;
  if (namesModulation(text, "PAM4")) return 4.0;
  ami.appendMessage("**Warning** Invalid Modulation. Setting to NRZ.\n");
  return 2.0;
}
