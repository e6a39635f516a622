// Frame of rx_hcm_ctle_high: CTLE, DC offset, saturating amplifier and the
// DFE/CDR of revision A.
#pragma once

#include <cstdint>

#include "blocks/ctle/amplifier.h"
#include "blocks/ctle/ctle.h"
#include "blocks/dfecdr/dfecdr_a.h"
#include "model/frame.h"
#include "model/model_object.h"

struct Inputs_Rx_T {
  double DFECDR_ReferenceOffset;  // sampling clock frequency offset [ppm] (0 here)
  double DFECDR_PhaseOffset;      // data instant offset [UI] (0 here)
  double DFECDR_Mode;             // DFE/CDR mode (0 here: no feedback)
  double DFECDR_TapWeights[4];    // initial tap weights (0 here)
  double CTLE_Mode;               // 0 bypass, 1 fixed configuration
  double CTLE_ConfigSelect;       // requested CTLE configuration
  double Amplifier_Mode;          // 1: the amplifier's curve is applied
  double ImpulseIn[kImpulseCapacity];  // impulse matrix, column after column; first
                                       // RowSize x (Aggressors + 1) meaningful
  double Aggressors;      // aggressor columns
  double Modulation;      // levels: 2 NRZ, 4 PAM4
  double RowSize;         // samples per column
  double SampleInterval;  // [s]
  double SymbolTime;      // [s]
};

struct State_Rx_T {
  blk_SaturatingAmplifier_Rx_T SaturatingAmplifier;
  dfecdr_a::blk_DFECDR_Rx_T DFECDR;  // time-domain DFE/CDR
  blk_CTLE_Rx_T CTLE;                // time-domain CTLE
  double AdaptedPhase;               // CDR sampling phase [UI]
  double AdaptedTapWeights[4];       // DFE tap weights, taps 1..4
  double DC_Offset;                  // added before and removed after the amplifier [V]
  double ImpulseOut[kImpulseCapacity];  // processed impulse matrix, first N meaningful
  double ConfigSelectOut;            // CTLE configuration chosen by the statistical step
};

struct B_Rx_T {
  blk_CTLE_Rx_j_T statisticalCTLE;                // lives only inside Rx_initialize
  dfecdr_a::blk_DFECDR_Rx_m_T statisticalDFECDR;  // lives only inside Rx_initialize
  dfecdr_a::cdrOptional cdrDiagnostics;           // side outputs of the time-domain step
  dfecdr_a::cdrOptional_Rx_T cdrStatisticalDiagnostics;  // side outputs of the adaptation
  double statisticalClockTime;    // unused outputs of the adaptation [s]
  double statisticalClockSignal;
  double equalizedSample;  // CTLE output, plus DC_Offset, then the amplifier's output [V]
  double clockTime;        // clock time of this sample [s]
  double clockSignal;      // clock signal; its rises are the sampling instants
  std::int32_t zcEvent;    // rt_ZCFcn result of this sample
};
