// The model object and the groups whose layout every frame variant shares.
// Each variant defines Inputs_Rx_T, State_Rx_T and B_Rx_T itself.
#pragma once

#include <cstdint>

#include "model/rt_zcfcn.h"

struct Inputs_Rx_T;
struct State_Rx_T;
struct B_Rx_T;

struct Outputs_Rx_T {
  double WaveOut;  // equalised sample of the last Rx_output [V]
};

struct ZCState_Rx_T {
  ZCSigState clockSignal;  // zero-crossing memory of the clock signal
};

struct ConstP_Rx_T {
  double TapLowerLimits[4];  // lower tap-weight limits, taps 1..4
  double TapUpperLimits[4];  // upper tap-weight limits, taps 1..4
};
extern const ConstP_Rx_T Rx_ConstP;

struct Model_Rx_T {
  const char* errorStatus;   // "memory allocation error" when a group is missing
  B_Rx_T* blockIO;
  ZCState_Rx_T* prevZCSigState;
  double* WaveIn;            // current input sample [V]
  Outputs_Rx_T* outputs;
  State_Rx_T* state;
  Inputs_Rx_T* inputs;
  double* Rx_clock_times_buf;       // caller's clock-times array of this AMI_GetWave, or null
  std::int32_t Rx_clock_times_idx;  // clock times stored into it so far
};
