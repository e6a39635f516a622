// Parameter tables of DDR_rx: the DFECDR branch with four fixed taps, and the
// common parameters; reports DFECDR.Phase.
#include <new>

#include "ami/ami.h"
#include "ami/common_parameters.h"
#include "ami_tree/param_tree.h"
#include "ami_tree/writer.h"
#include "model/frame_dfe.h"
#include "model/model_tables.h"
#include "models/common/dfecdr_parameters.h"

extern const char* const kModelRootName = "DDR_rx";

namespace {

constexpr double kFixedTaps[4] = {-0.095, -0.025, -0.02, -0.015};

struct InputTree {
  ParamTree root;
  ParamNode rootChildren[4];  // DFECDR, Modulation, DLL_ID, AMI_Debug
  ParamTree dfecdr;
  ParamNode dfecdrChildren[3];  // ReferenceOffset, PhaseOffset, Mode
  CommonParameters common;
};

}  // namespace

ParamTree* Rx_buildInputTree() {
  InputTree* t = new (std::nothrow) InputTree();
  if (t == nullptr) return nullptr;
  Rx_addDfecdrParameters(t->dfecdrChildren);
  t->dfecdr = ParamTree{"DFECDR", 3, t->dfecdrChildren};
  t->rootChildren[0] = ParamNodeSubtree("DFECDR", &t->dfecdr);
  Rx_addCommonParameters(&t->rootChildren[1], t->common);
  t->root = ParamTree{kModelRootName, 4, t->rootChildren};
  return &t->root;
}

void Rx_freeInputTree(ParamTree* tree) { Rx_releaseInputTree<InputTree>(tree); }

void Rx_bindInputs(const ParamTree& tree, const InitArguments& args, Model_Rx_T* model, AMI& ami) {
  Inputs_Rx_T* in = model->inputs;
  Rx_bindDfecdrParameters(tree, in, ami);
  for (int k = 0; k < 4; ++k) in->DFECDR_TapWeights[k] = kFixedTaps[k];
  Rx_bindFrameArguments(in, args, Rx_bindModulation(tree, ami));
}

char* Rx_writeOutputParameters(const Model_Rx_T* model) {
  ParamNode paramOut_DFECDRSignal = ParamNodeDouble("Phase", model->state->AdaptedPhase);
  ParamTree paramOut_list_DFECDRSignal{"DFECDR", 1, &paramOut_DFECDRSignal};
  ParamNode paramOut = ParamNodeSubtree("DFECDR", &paramOut_list_DFECDRSignal);
  ParamTree paramOut_list{kModelRootName, 1, &paramOut};
  return GrowTree(paramOut_list);
}
