// Frame of the DFE-only models (LP_rx, DDR_rx): the DFE/CDR of revision B
// alone, with no CTLE, amplifier or DC offset.
#pragma once

#include <cstdint>

#include "blocks/dfecdr/dfecdr_b.h"
#include "model/frame.h"
#include "model/model_object.h"

struct Inputs_Rx_T {
  double DFECDR_ReferenceOffset;  // sampling clock frequency offset [ppm]
  double DFECDR_PhaseOffset;      // data instant offset [UI]
  double DFECDR_Mode;             // 0 no feedback, 1 fixed taps
  double DFECDR_TapWeights[4];    // initial tap weights, taps 1..4
  double ImpulseIn[kImpulseCapacity];  // impulse matrix, column after column; first
                                       // RowSize x (Aggressors + 1) meaningful
  double Aggressors;      // aggressor columns
  double Modulation;      // levels: 2 NRZ, 4 PAM4
  double RowSize;         // samples per column
  double SampleInterval;  // [s]
  double SymbolTime;      // [s]
};

struct State_Rx_T {
  dfecdr_b::blk_DFECDR_Rx_T DFECDR;  // time-domain DFE/CDR
  double AdaptedPhase;               // CDR sampling phase [UI]
  double AdaptedTapWeights[4];       // DFE tap weights, taps 1..4
  double ImpulseOut[kImpulseCapacity];  // processed impulse matrix, first N meaningful
};

struct B_Rx_T {
  dfecdr_b::blk_DFECDR_Rx_n_T statisticalDFECDR;  // lives only inside Rx_initialize
  dfecdr_b::cdrStatSignals_Rx_T statisticalSignals;  // unused side outputs
  double tapWeightsIn[4];  // copy of AdaptedTapWeights handed to the step
  double clockSignal;      // DFE/CDR clock signal of this sample
  double threshold;        // PAM4 threshold of this sample (unused)
};
