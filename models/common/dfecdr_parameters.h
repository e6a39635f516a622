// The DFECDR branch shared by the DFE-only models: ReferenceOffset,
// PhaseOffset and Mode with their defaults, checks and messages.
#pragma once

#include "ami/ami.h"
#include "ami/common_parameters.h"
#include "ami_tree/param_tree.h"

// Fills children[0..2] with ReferenceOffset, PhaseOffset and Mode.
inline void Rx_addDfecdrParameters(ParamNode children[3]) {
  children[0] = ParamNodeDouble("ReferenceOffset", 0.0);
  children[1] = ParamNodeDouble("PhaseOffset", 0.0);
  children[2] = ParamNodeDouble("Mode", 1.0);
}

// A value outside [low, high] becomes 0 with its message; NaN passes.
inline double Rx_checkedRange(double value, double low, double high, const char* message,
                              AMI& ami) {
  if (value < low || value > high) {
    ami.appendMessage(message);
    return 0.0;
  }
  return value;
}

// Binds the three checked DFECDR parameters, in binding order.
template <typename Inputs>
void Rx_bindDfecdrParameters(const ParamTree& tree, Inputs* in, AMI& ami) {
  in->DFECDR_ReferenceOffset = Rx_checkedRange(
      Rx_parameterDouble(Rx_findParameter(tree, "DFECDR", "ReferenceOffset"), 0.0), -300.0,
      300.0, "Invalid DFECDRParameter.ReferenceOffset\n", ami);
  in->DFECDR_PhaseOffset = Rx_checkedRange(
      Rx_parameterDouble(Rx_findParameter(tree, "DFECDR", "PhaseOffset"), 0.0), -0.5, 0.5,
      "Invalid DFECDRParameter.PhaseOffset\n", ami);
  in->DFECDR_Mode = Rx_parameterDouble(Rx_findParameter(tree, "DFECDR", "Mode"), 1.0);
  if (!(Equalf(in->DFECDR_Mode, 1.0) != 0 || Equalf(in->DFECDR_Mode, 0.0) != 0)) {
    in->DFECDR_Mode = 1.0;
    ami.appendMessage("Invalid DFECDRParameter.Mode\n");
  }
}
