// Frame of the DFE-only models: set-up, the statistical flow on the impulse
// matrix and the per-sample chain, around the DFE/CDR of revision B.
#include "model/frame_dfe.h"

#include <cstring>

#include "model/frame_common.h"

const ConstP_Rx_T Rx_ConstP = {
    {-0.095, -0.025, -0.02, -0.015},  // TapLowerLimits
    {0.0, 0.025, 0.025, 0.015},       // TapUpperLimits
};

#include "model/frame_accessors.inc"

Model_Rx_T* Rx() {
  Model_Rx_T* model = Rx_allocateModel<Model_Rx_T>();
  if (model != nullptr && model->WaveIn != nullptr) *model->WaveIn = 0.0;
  if (model != nullptr && model->outputs != nullptr) model->outputs->WaveOut = 0.0;
  return model;
}

namespace {

void setUpTimeDomainBlock(Model_Rx_T* model) {
  const Inputs_Rx_T* in = model->inputs;
  dfecdr_b::blk_DFECDR_Rx_T* dfe = &model->state->DFECDR;
  dfecdr_b::Rx_DFECDR_construct(dfe, in->SymbolTime, in->SampleInterval, in->Modulation);
  dfecdr_b::Rx_SystemCore_setup(dfe);
  dfecdr_b::Rx_DFECDR_resetImpl(dfe);
}

// Adapts the DFE/CDR on the impulse matrix as received and leaves the
// equalised matrix in ImpulseOut.
void runStatisticalFlow(Model_Rx_T* model, std::int32_t count) {
  const Inputs_Rx_T* in = model->inputs;
  State_Rx_T* state = model->state;
  dynArray_real_T* M = nullptr;
  dynArray_real_T* E = nullptr;
  if (Rx_reshapeImpulse(state->ImpulseOut, in->RowSize, in->Aggressors, &M) &&
      Rx_dynInit_real_T(&E, 2)) {
    dfecdr_b::blk_DFECDR_Rx_n_T* stat = &model->blockIO->statisticalDFECDR;
    dfecdr_b::Rx_DFECDR_construct(stat, in->SymbolTime, in->SampleInterval, in->Modulation,
                                  in->DFECDR_PhaseOffset, in->DFECDR_Mode,
                                  in->DFECDR_TapWeights);
    stat->firstTuning = true;
    dfecdr_b::Rx_SystemCore_step_n(stat, M, E, state->AdaptedTapWeights, &state->AdaptedPhase,
                                   &model->blockIO->statisticalSignals);
    Rx_copyColumns(E, count, state->ImpulseOut);
  } else {
    state->AdaptedPhase = rtNaN;  // nothing could be adapted; the impulse passes unchanged
  }
  Rx_dynFree_real_T(&M);
  Rx_dynFree_real_T(&E);
}

}  // namespace

void Rx_initialize(Model_Rx_T* model) {
  const Inputs_Rx_T* in = model->inputs;
  // Only the meaningful values are copied: the rest of the buffers is never
  // read back, and leaving it untouched keeps its pages unmapped.
  const std::int32_t count = Rx_impulseValueCount(in->RowSize, in->Aggressors);
  std::memcpy(model->state->ImpulseOut, in->ImpulseIn, static_cast<std::size_t>(count) * sizeof(double));
  model->prevZCSigState->clockSignal = kZcUninitialized;
  setUpTimeDomainBlock(model);
  runStatisticalFlow(model, count);
}

void Rx_output(Model_Rx_T* model) {
  const Inputs_Rx_T* in = model->inputs;
  State_Rx_T* state = model->state;
  B_Rx_T* b = model->blockIO;
  dfecdr_b::Rx_DFECDR_refreshProperties(&state->DFECDR, Rx_ConstP.TapLowerLimits,
                                        Rx_ConstP.TapUpperLimits, in->SymbolTime,
                                        in->SampleInterval, in->Modulation);
  std::memcpy(b->tapWeightsIn, state->AdaptedTapWeights, sizeof b->tapWeightsIn);
  double clockTime = 0.0;
  dfecdr_b::Rx_SystemCore_step(&state->DFECDR, *model->WaveIn, in->DFECDR_Mode, b->tapWeightsIn,
                               in->DFECDR_ReferenceOffset, in->DFECDR_PhaseOffset,
                               &model->outputs->WaveOut, state->AdaptedTapWeights,
                               &state->AdaptedPhase, &clockTime, &b->clockSignal, &b->threshold);
  Rx_recordClockTime(model, b->clockSignal, clockTime);
}

void Rx_terminate(Model_Rx_T* model) { Rx_releaseModel(model); }
