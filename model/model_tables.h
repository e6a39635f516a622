// What each model provides to the shared entry layer: its parameter
// description tree, the binding of parsed values and AMI_Init arguments to
// the model's inputs, and its output parameter string. models/<model>/
// defines these; the build links exactly one definition into each library.
#pragma once

struct Model_Rx_T;
struct ParamTree;
class AMI;

// AMI_Init's arguments that reach the model inputs, already checked.
struct InitArguments {
  long rows;
  long aggressors;
  double sampleInterval;  // [s]
  double bitTime;         // [s]
};

// Name of the root of the model's parameter tree.
extern const char* const kModelRootName;

// A fresh description tree with the model's defaults; release it with
// Rx_freeInputTree, whatever the parser stored into it.
ParamTree* Rx_buildInputTree();
void Rx_freeInputTree(ParamTree* tree);

// Writes the parsed values and the arguments into the model's inputs, in the
// model's binding order, appending check messages to ami.
void Rx_bindInputs(const ParamTree& tree, const InitArguments& args, Model_Rx_T* model, AMI& ami);

// The output parameter string of the model's current state, newly allocated
// (release with free); null when memory runs out.
char* Rx_writeOutputParameters(const Model_Rx_T* model);

// AMI_Init's arguments and the modulation, in the binding order every model
// shares: Aggressors, Modulation, RowSize, SampleInterval, SymbolTime.
template <typename Inputs>
void Rx_bindFrameArguments(Inputs* in, const InitArguments& args, double modulation) {
  in->Aggressors = static_cast<double>(args.aggressors);
  in->Modulation = modulation;
  in->RowSize = static_cast<double>(args.rows);
  in->SampleInterval = args.sampleInterval;
  in->SymbolTime = args.bitTime;
}
