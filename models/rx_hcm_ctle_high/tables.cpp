// Parameter tables of rx_hcm_ctle_high: CTLE Mode and ConfigSelect, DC_Offset,
// and the common parameters; reports CTLE.ConfigSelect.
#include <cstdlib>
#include <new>

#include "ami/ami.h"
#include "ami/common_parameters.h"
#include "ami_tree/param_tree.h"
#include "ami_tree/writer.h"
#include "model/frame_ctle.h"
#include "model/model_tables.h"

extern const char* const kModelRootName = "rx_hcm_ctle_high";

namespace {

// All records of one description tree; root comes first so that the tree
// pointer handed out is the storage's address.
struct InputTree {
  ParamTree root;
  ParamNode rootChildren[5];  // CTLE, Modulation, DLL_ID, AMI_Debug, DC_Offset
  ParamTree ctle;
  ParamNode ctleChildren[2];  // Mode, ConfigSelect
  CommonParameters common;
};

}  // namespace

ParamTree* Rx_buildInputTree() {
  InputTree* t = new (std::nothrow) InputTree();
  if (t == nullptr) return nullptr;
  t->ctleChildren[0] = ParamNodeDouble("Mode", 1.0);
  t->ctleChildren[1] = ParamNodeDouble("ConfigSelect", 0.0);
  t->ctle = ParamTree{"CTLE", 2, t->ctleChildren};
  t->rootChildren[0] = ParamNodeSubtree("CTLE", &t->ctle);
  Rx_addCommonParameters(&t->rootChildren[1], t->common);
  t->rootChildren[4] = ParamNodeDouble("DC_Offset", 0.0);
  t->root = ParamTree{kModelRootName, 5, t->rootChildren};
  return &t->root;
}

void Rx_freeInputTree(ParamTree* tree) { Rx_releaseInputTree<InputTree>(tree); }

void Rx_bindInputs(const ParamTree& tree, const InitArguments& args, Model_Rx_T* model, AMI& ami) {
  Inputs_Rx_T* in = model->inputs;
  model->state->DC_Offset = Rx_parameterDouble(Rx_findParameter(tree, "DC_Offset", nullptr), 0.0);
  in->DFECDR_ReferenceOffset = 0.0;
  in->DFECDR_PhaseOffset = 0.0;
  in->DFECDR_Mode = 0.0;
  for (double& w : in->DFECDR_TapWeights) w = 0.0;

  in->CTLE_Mode = Rx_parameterDouble(Rx_findParameter(tree, "CTLE", "Mode"), 1.0);
  if (!(Equalf(in->CTLE_Mode, 1.0) != 0 || Equalf(in->CTLE_Mode, 0.0) != 0)) {
    in->CTLE_Mode = 1.0;
    ami.appendMessage("Invalid CTLEParameter.Mode\n");
  }
  in->CTLE_ConfigSelect = Rx_parameterDouble(Rx_findParameter(tree, "CTLE", "ConfigSelect"), 0.0);
  if (Equalf(in->CTLE_ConfigSelect, 0.0) == 0) {
    in->CTLE_ConfigSelect = 0.0;
    ami.appendMessage("Invalid CTLEParameter.ConfigSelect\n");
  }
  Rx_bindFrameArguments(in, args, Rx_bindModulation(tree, ami));
  in->Amplifier_Mode = 1.0;
}

char* Rx_writeOutputParameters(const Model_Rx_T* model) {
  ParamNode paramOut_CTLESignal = ParamNodeDouble("ConfigSelect", model->state->ConfigSelectOut);
  ParamTree paramOut_list_CTLESignal{"CTLE", 1, &paramOut_CTLESignal};
  ParamNode paramOut = ParamNodeSubtree("CTLE", &paramOut_list_CTLESignal);
  ParamTree paramOut_list{kModelRootName, 1, &paramOut};
  return GrowTree(paramOut_list);
}
