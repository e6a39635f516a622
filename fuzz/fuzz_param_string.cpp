// Feeds arbitrary bytes as a parameter string to ParseTree over a description
// tree that holds every branch and leaf of the three models plus one leaf of
// every other type, then writes the tree back with GrowTree and releases
// everything. The sanitizers and the leak check report any fault; the
// invariants below abort on a wrong result.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ami_tree/lexer.h"
#include "ami_tree/parser.h"
#include "ami_tree/writer.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

struct FuzzTree {
  ParamNode ctleChildren[2];
  ParamTree ctle;
  ParamNode tapChildren[2];
  ParamTree tapWeights;
  ParamNode dfeChildren[4];
  ParamTree dfecdr;
  ParamNode debugChildren[2];
  ParamTree debug;
  ArrayVal taps = ArrayValEmpty(ParamDoubleArray);
  ArrayVal thresholds = ArrayValEmpty(ParamDoubleArray);
  ArrayVal ints = ArrayValEmpty(ParamIntArray);
  ArrayVal longs = ArrayValEmpty(ParamLongArray);
  ArrayVal shorts = ArrayValEmpty(ParamShortArray);
  ParamNode rootChildren[15];
  ParamTree root;

  FuzzTree() {
    ctleChildren[0] = ParamNodeDouble("Mode", 1.0);
    ctleChildren[1] = ParamNodeDouble("ConfigSelect", 0.0);
    ctle = ParamTree{"CTLE", 2, ctleChildren};
    tapChildren[0] = ParamNodeDouble("3", 0.0);
    tapChildren[1] = ParamNodeDouble("4", 0.0);
    tapWeights = ParamTree{"TapWeights", 2, tapChildren};
    dfeChildren[0] = ParamNodeDouble("ReferenceOffset", 0.0);
    dfeChildren[1] = ParamNodeDouble("PhaseOffset", 0.0);
    dfeChildren[2] = ParamNodeDouble("Mode", 1.0);
    dfeChildren[3] = ParamNodeSubtree("TapWeights", &tapWeights);
    dfecdr = ParamTree{"DFECDR", 4, dfeChildren};
    debugChildren[0] = ParamNodeString("Enable", "False");
    debugChildren[1] = ParamNodeDouble("Start_Time", 0.0);
    debug = ParamTree{"AMI_Debug", 2, debugChildren};
    rootChildren[0] = ParamNodeSubtree("CTLE", &ctle);
    rootChildren[1] = ParamNodeSubtree("DFECDR", &dfecdr);
    rootChildren[2] = ParamNodeString("Modulation", "NRZ");
    rootChildren[3] = ParamNodeString("DLL_ID", "Rx_debug");
    rootChildren[4] = ParamNodeSubtree("AMI_Debug", &debug);
    rootChildren[5] = ParamNodeDouble("DC_Offset", 0.0);
    rootChildren[6] = ParamNodeArray("Taps", &taps);
    rootChildren[7] = ParamNodeArray("PAM_Thresholds", &thresholds);
    rootChildren[8] = ParamNodeArray("Ints", &ints);
    rootChildren[9] = ParamNodeArray("Longs", &longs);
    rootChildren[10] = ParamNodeArray("Shorts", &shorts);
    rootChildren[11] = ParamNodeLong("L", 0);
    rootChildren[12] = ParamNodeInt("I", 0);
    rootChildren[13] = ParamNodeShort("S", 0);
    rootChildren[14] = ParamNodeChar("C", 'c');
    root = ParamTree{"rx_hcm_ctle_high", 15, rootChildren};
  }
  ~FuzzTree() { FreeTree(root); }
};

// Runs the two machines alone with the lenient quote policy, which ParseTree
// never uses, and checks the depth and the message buffer stay in bounds.
void runLenientMachines(const char* input) {
  AmiLexClass lexClass = TokSpace;
  AmiParseState state = ExpectParen;
  std::int32_t inQuote = 0;
  std::int32_t tokenDone = 0;
  std::int32_t depth = 0;
  InLineString token{input, 0};
  char buffer[kAmiMessageLimit] = "";
  for (const char* cursor = input; *cursor != '\0'; ++cursor) {
    lexClass = AmiLexerNew(cursor, lexClass, state, &token, &inQuote, &tokenDone, buffer,
                           kAmiMessageLimit, kAmiQuoteLenient);
    require(std::strlen(buffer) < static_cast<std::size_t>(kAmiMessageLimit));
    buffer[0] = '\0';
    state = AmiParser(lexClass, state, &tokenDone, &depth, buffer, kAmiMessageLimit);
    require(depth >= 0 && depth <= kAmiMaxDepth);
    require(std::strlen(buffer) < static_cast<std::size_t>(kAmiMessageLimit));
    buffer[0] = '\0';
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size NUL-terminated copy, so any read past the end is caught.
  char* input = static_cast<char*>(std::malloc(size + 1));
  if (input == nullptr) return 0;
  if (size != 0) std::memcpy(input, data, size);
  input[size] = '\0';

  {
    FuzzTree tree;
    TextBuffer message = TextBufferEmpty();
    const std::int32_t count = ParseTree(input, tree.root, &message);
    require(count >= 0);
    require(message.text == nullptr ? message.length == 0
                                    : std::strlen(message.text) == message.length);
    require(tree.taps.count <= tree.taps.capacity && tree.shorts.count <= tree.shorts.capacity);

    char* output = GrowTree(tree.root);
    require(output != nullptr);
    const std::size_t length = std::strlen(output);
    require(std::strncmp(output, "(rx_hcm_ctle_high(CTLE(Mode ", 28) == 0);
    require(length > 0 && output[length - 1] == ')');
    std::free(output);
    TextFree(&message);
  }
  runLenientMachines(input);
  std::free(input);
  return 0;
}
