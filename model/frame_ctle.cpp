// Frame of rx_hcm_ctle_high: set-up of the CTLE, amplifier and DFE/CDR, the
// statistical flow on the impulse matrix (CTLE, then DFE/CDR) and the
// per-sample chain.
#include "model/frame_ctle.h"

#include <cstring>

#include "blocks/dfecdr/dfecdr_constants.h"
#include "model/frame_common.h"

const ConstP_Rx_T Rx_ConstP = {
    {-0.2, -0.1, -0.1, -0.1},  // TapLowerLimits
    {0.2, 0.1, 0.1, 0.1},      // TapUpperLimits
};

#include "model/frame_accessors.inc"

namespace {

void setUpTimeDomainBlocks(Model_Rx_T* model) {
  const Inputs_Rx_T* in = model->inputs;
  State_Rx_T* state = model->state;

  blk_CTLE_Rx_T* ctle = &state->CTLE;
  ctle->latchPending = true;
  ctle->isSetUp = 0;
  ctle->SymbolTime = in->SymbolTime;
  ctle->SampleInterval = in->SampleInterval;
  ctle->timingCurrent = false;
  Rx_SystemCore_setup(ctle);
  std::memset(ctle->inputHistory, 0, sizeof ctle->inputHistory);
  std::memset(ctle->outputHistory, 0, sizeof ctle->outputHistory);
  std::memset(ctle->cascadeState, 0, sizeof ctle->cascadeState);

  blk_SaturatingAmplifier_Rx_T* amplifier = &state->SaturatingAmplifier;
  amplifier->isSetUp = 0;
  amplifier->Limit = kAmplifierLimit;
  amplifier->LinearGain = kAmplifierGain;
  Rx_SystemCore_setup_ia(amplifier);

  dfecdr_a::blk_DFECDR_Rx_T* dfe = &state->DFECDR;
  dfecdr_a::Rx_dynInitStruct_blk_DFECDR(dfe);
  dfecdr_a::Rx_DFECDR_construct(dfe, in->SymbolTime, in->SampleInterval, in->Modulation);
  dfecdr_a::Rx_SystemCore_setup_i(dfe);
  dfecdr_a::Rx_DFECDR_resetImpl(dfe);
}

// CTLE over every column (choosing the configuration), then the DFE/CDR
// adaptation; the equalised matrix goes to ImpulseOut.
void runStatisticalFlow(Model_Rx_T* model, std::int32_t count) {
  const Inputs_Rx_T* in = model->inputs;
  State_Rx_T* state = model->state;
  B_Rx_T* b = model->blockIO;
  dynArray_real_T* M = nullptr;
  dynArray_real_T* E = nullptr;
  const bool shaped = Rx_reshapeImpulse(state->ImpulseOut, in->RowSize, in->Aggressors, &M);

  blk_CTLE_Rx_j_T* ctle = &b->statisticalCTLE;
  const bool ctleReady = Rx_dynInitStruct_blk_CTLE(ctle);
  ctle->isSetUp = 0;
  ctle->SampleInterval = in->SampleInterval;
  ctle->SymbolTime = in->SymbolTime;
  ctle->Mode = in->CTLE_Mode;
  ctle->ConfigSelect = in->CTLE_ConfigSelect;
  ctle->stepReady = false;

  dfecdr_a::blk_DFECDR_Rx_m_T* dfe = &b->statisticalDFECDR;
  const bool dfeReady = dfecdr_a::Rx_dynInitStruct_blk_DFECDR1(dfe);
  dfecdr_a::Rx_DFECDR_construct_m(dfe, in->SymbolTime, in->SampleInterval, in->Modulation,
                                  in->DFECDR_Mode, in->DFECDR_TapWeights,
                                  in->DFECDR_PhaseOffset);

  state->ConfigSelectOut = in->CTLE_ConfigSelect;
  state->AdaptedPhase = rtNaN;
  if (shaped && ctleReady && dfeReady && Rx_dynInit_real_T(&E, 2) &&
      Rx_SystemCore_step(ctle, M, E, &state->ConfigSelectOut)) {
    dfecdr_a::Rx_SystemCore_step_m(dfe, E, M, state->AdaptedTapWeights, &state->AdaptedPhase,
                                   &b->statisticalClockTime, &b->statisticalClockSignal,
                                   &b->cdrStatisticalDiagnostics);
    Rx_copyColumns(M, count, state->ImpulseOut);
  }
  // Without working arrays nothing is adapted: the impulse passes unchanged.
  Rx_dynFreeStruct_blk_CTLE(ctle);
  Rx_dynFree_real_T(&E);
  dfecdr_a::Rx_dynFreeStruct_blk_DFECDR1(dfe);
  Rx_dynFree_real_T(&M);
}

void refreshDfecdrProperties(Model_Rx_T* model) {
  const Inputs_Rx_T* in = model->inputs;
  State_Rx_T* state = model->state;
  dfecdr_a::DFECDRProperties_T props;
  std::memcpy(props.TapMin, Rx_ConstP.TapLowerLimits, sizeof props.TapMin);
  std::memcpy(props.TapMax, Rx_ConstP.TapUpperLimits, sizeof props.TapMax);
  props.AdaptGain = dfecdr_common::kAdaptGain;
  props.TapResolution = dfecdr_common::kTapResolution;
  props.CountLimit = dfecdr_common::kCountLimit;
  props.PhaseStep = dfecdr_common::kPhaseStep;
  props.SamplerHysteresis = dfecdr_common::kSamplerHysteresis;
  props.SymbolTime = in->SymbolTime;
  props.SampleInterval = in->SampleInterval;
  props.Modulation = in->Modulation;
  props.Mode = in->DFECDR_Mode;
  std::memcpy(props.TapWeights, state->AdaptedTapWeights, sizeof props.TapWeights);
  props.ReferenceOffset = in->DFECDR_ReferenceOffset;
  props.PhaseOffset = in->DFECDR_PhaseOffset;
  dfecdr_a::Rx_DFECDR_writeProperties(&state->DFECDR, &props);
}

}  // namespace

Model_Rx_T* Rx() {
  Model_Rx_T* model = Rx_allocateModel<Model_Rx_T>();
  if (model != nullptr && model->WaveIn != nullptr) *model->WaveIn = 0.0;
  if (model != nullptr && model->outputs != nullptr) model->outputs->WaveOut = 0.0;
  return model;
}

void Rx_initialize(Model_Rx_T* model) {
  const Inputs_Rx_T* in = model->inputs;
  // Only the meaningful values are copied: the rest of the buffers is never
  // read back, and leaving it untouched keeps its pages unmapped.
  const std::int32_t count = Rx_impulseValueCount(in->RowSize, in->Aggressors);
  std::memcpy(model->state->ImpulseOut, in->ImpulseIn, static_cast<std::size_t>(count) * sizeof(double));
  model->prevZCSigState->clockSignal = kZcUninitialized;
  setUpTimeDomainBlocks(model);
  runStatisticalFlow(model, count);
}

void Rx_output(Model_Rx_T* model) {
  const Inputs_Rx_T* in = model->inputs;
  State_Rx_T* state = model->state;
  B_Rx_T* b = model->blockIO;

  Rx_CTLE_refreshProperties(&state->CTLE, in->SymbolTime, in->SampleInterval, in->CTLE_Mode,
                            state->ConfigSelectOut);
  Rx_CTLE_stepImpl(&state->CTLE, *model->WaveIn, &b->equalizedSample, &state->ConfigSelectOut);
  b->equalizedSample += state->DC_Offset;
  b->equalizedSample = Rx_SaturatingAmplifier_output(&state->SaturatingAmplifier,
                                                     in->Amplifier_Mode, b->equalizedSample);
  refreshDfecdrProperties(model);
  dfecdr_a::Rx_DFECDR_stepImpl(&state->DFECDR, b->equalizedSample - state->DC_Offset,
                               &model->outputs->WaveOut, state->AdaptedTapWeights,
                               &state->AdaptedPhase, &b->clockTime, &b->clockSignal,
                               &b->cdrDiagnostics);
  b->zcEvent = Rx_recordClockTime(model, b->clockSignal, b->clockTime);
}

void Rx_terminate(Model_Rx_T* model) {
  if (model != nullptr && model->state != nullptr)
    dfecdr_a::Rx_dynFreeStruct_blk_DFECDR(&model->state->DFECDR);
  Rx_releaseModel(model);
}
