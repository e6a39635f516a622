// A description tree shaped like the rx_hcm_ctle_high model's, with one leaf
// of every other type added under the root, built the way the entry layer
// builds it: heap default texts, arrays empty.
#pragma once

#include <cstdint>
#include <string>

#include "ami_tree/param_tree.h"
#include "ami_tree/text_buffer.h"
#include "ami_tree/writer.h"

struct CtleTree {
  ParamNode ctleChildren[2];
  ParamTree ctle;
  ParamNode debugChildren[2];
  ParamTree debug;
  ArrayVal taps = ArrayValEmpty(ParamDoubleArray);
  ArrayVal ints = ArrayValEmpty(ParamIntArray);
  ArrayVal longs = ArrayValEmpty(ParamLongArray);
  ArrayVal shorts = ArrayValEmpty(ParamShortArray);
  ParamNode rootChildren[14];
  ParamTree root;

  CtleTree() {
    ctleChildren[0] = ParamNodeDouble("Mode", 1.0);
    ctleChildren[1] = ParamNodeDouble("ConfigSelect", 0.0);
    ctle = ParamTree{"CTLE", 2, ctleChildren};
    debugChildren[0] = ParamNodeString("Enable", "False");
    debugChildren[1] = ParamNodeDouble("Start_Time", 0.0);
    debug = ParamTree{"AMI_Debug", 2, debugChildren};
    rootChildren[0] = ParamNodeSubtree("CTLE", &ctle);
    rootChildren[1] = ParamNodeString("Modulation", "NRZ");
    rootChildren[2] = ParamNodeString("DLL_ID", "Rx_debug");
    rootChildren[3] = ParamNodeSubtree("AMI_Debug", &debug);
    rootChildren[4] = ParamNodeDouble("DC_Offset", 0.0);
    rootChildren[5] = ParamNodeArray("Taps", &taps);
    rootChildren[6] = ParamNodeArray("Ints", &ints);
    rootChildren[7] = ParamNodeArray("Longs", &longs);
    rootChildren[8] = ParamNodeArray("Shorts", &shorts);
    rootChildren[9] = ParamNodeLong("L", 0);
    rootChildren[10] = ParamNodeInt("I", 0);
    rootChildren[11] = ParamNodeShort("S", 0);
    rootChildren[12] = ParamNodeChar("C", '-');
    rootChildren[13] = ParamNodeDouble("D", 0.0);
    root = ParamTree{"rx_hcm_ctle_high", 14, rootChildren};
  }
  ~CtleTree() { FreeTree(root); }
  CtleTree(const CtleTree&) = delete;
  CtleTree& operator=(const CtleTree&) = delete;

  double mode() const { return ctleChildren[0].value.d; }
  const char* modulation() const { return rootChildren[1].value.text; }
};

// ParseTree's outcome with the message as a std::string ("<absent>" when null).
struct ParseOutcome {
  std::int32_t count;
  std::string message;
  bool absent;
};
