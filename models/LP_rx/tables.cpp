// Parameter tables of LP_rx: the DFECDR branch with TapWeights entries 3 and
// 4 (taps 1 and 2 fixed), and the common parameters; reports DFECDR.Phase and
// TapWeights 3 and 4.
#include <new>

#include "ami/ami.h"
#include "ami/common_parameters.h"
#include "ami_tree/param_tree.h"
#include "ami_tree/writer.h"
#include "model/frame_dfe.h"
#include "model/model_tables.h"
#include "models/common/dfecdr_parameters.h"

extern const char* const kModelRootName = "LP_rx";

namespace {

constexpr double kFixedTaps[2] = {-0.04, -0.02};  // taps 1 and 2

struct InputTree {
  ParamTree root;
  ParamNode rootChildren[4];  // DFECDR, Modulation, DLL_ID, AMI_Debug
  ParamTree dfecdr;
  ParamNode dfecdrChildren[4];  // ReferenceOffset, PhaseOffset, Mode, TapWeights
  ParamTree tapWeights;
  ParamNode tapWeightsChildren[2];  // 3, 4
  CommonParameters common;
};

}  // namespace

ParamTree* Rx_buildInputTree() {
  InputTree* t = new (std::nothrow) InputTree();
  if (t == nullptr) return nullptr;
  t->tapWeightsChildren[0] = ParamNodeDouble("3", 0.0);
  t->tapWeightsChildren[1] = ParamNodeDouble("4", 0.0);
  t->tapWeights = ParamTree{"TapWeights", 2, t->tapWeightsChildren};
  Rx_addDfecdrParameters(t->dfecdrChildren);
  t->dfecdrChildren[3] = ParamNodeSubtree("TapWeights", &t->tapWeights);
  t->dfecdr = ParamTree{"DFECDR", 4, t->dfecdrChildren};
  t->rootChildren[0] = ParamNodeSubtree("DFECDR", &t->dfecdr);
  Rx_addCommonParameters(&t->rootChildren[1], t->common);
  t->root = ParamTree{kModelRootName, 4, t->rootChildren};
  return &t->root;
}

void Rx_freeInputTree(ParamTree* tree) { Rx_releaseInputTree<InputTree>(tree); }

void Rx_bindInputs(const ParamTree& tree, const InitArguments& args, Model_Rx_T* model, AMI& ami) {
  Inputs_Rx_T* in = model->inputs;
  Rx_bindDfecdrParameters(tree, in, ami);
  in->DFECDR_TapWeights[0] = kFixedTaps[0];
  in->DFECDR_TapWeights[1] = kFixedTaps[1];
  const ParamNode* taps = Rx_findParameter(tree, "DFECDR", "TapWeights");
  const ParamTree* tapTree = taps != nullptr && taps->type == ParamSubtree ? taps->value.tree : nullptr;
  in->DFECDR_TapWeights[2] = Rx_parameterDouble(Rx_findChild(tapTree, "3"), 0.0);
  in->DFECDR_TapWeights[3] = Rx_parameterDouble(Rx_findChild(tapTree, "4"), 0.0);
  Rx_bindFrameArguments(in, args, Rx_bindModulation(tree, ami));
}

char* Rx_writeOutputParameters(const Model_Rx_T* model) {
  const State_Rx_T* state = model->state;
  ParamNode paramOut_DFECDRSignal_TapWeights[2] = {
      ParamNodeDouble("3", state->AdaptedTapWeights[2]),
      ParamNodeDouble("4", state->AdaptedTapWeights[3])};
  ParamTree paramOut_list_DFECDRSignal_TapWeights{"TapWeights", 2,
                                                  paramOut_DFECDRSignal_TapWeights};
  ParamNode paramOut_DFECDRSignal[2] = {
      ParamNodeDouble("Phase", state->AdaptedPhase),
      ParamNodeSubtree("TapWeights", &paramOut_list_DFECDRSignal_TapWeights)};
  ParamTree paramOut_list_DFECDRSignal{"DFECDR", 2, paramOut_DFECDRSignal};
  ParamNode paramOut = ParamNodeSubtree("DFECDR", &paramOut_list_DFECDRSignal);
  ParamTree paramOut_list{kModelRootName, 1, &paramOut};
  return GrowTree(paramOut_list);
}
