// What each library shows the dynamic linker: exactly the three entry points
// with C linkage, and no dependency on a C++ runtime library.
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/models/ami_library.h"

namespace {

// Output of a shell command, or an empty string when it cannot be run.
std::string commandOutput(const std::string& command) {
  std::string text;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return text;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  pclose(pipe);
  return text;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(line);
  return out;
}

// Fields of one line of "nm -D": [value] type name[@version].
std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

class ExportsTest : public ::testing::TestWithParam<std::string> {
 protected:
  std::string path() const { return AmiLibrary::pathOf(GetParam()); }
};

TEST_P(ExportsTest, DefinesExactlyTheThreeEntryPoints) {
  const std::string text = commandOutput("nm -D --defined-only '" + path() + "' 2>&1");
  std::set<std::string> names;
  for (const std::string& line : lines(text)) {
    const std::vector<std::string> w = words(line);
    ASSERT_GE(w.size(), 3u) << line;
    EXPECT_EQ(w[1], "T") << "not a function in the text section: " << line;
    names.insert(w[2]);
  }
  EXPECT_EQ(names, (std::set<std::string>{"AMI_Close", "AMI_GetWave", "AMI_Init"})) << text;
}

TEST_P(ExportsTest, TheEntryPointsResolveThroughDlsym) {
  const AmiLibrary& lib = AmiLibrary::get(GetParam());
  EXPECT_TRUE(lib.ok());
  ASSERT_NE(lib.handle, nullptr);
  // The model's own functions and the static C++ runtime stay hidden.
  EXPECT_EQ(dlsym(lib.handle, "_Z13Rx_initializeP10Model_Rx_T"), nullptr);
  EXPECT_EQ(dlsym(lib.handle, "_Znwm"), nullptr);
  EXPECT_EQ(dlsym(lib.handle, "__cxa_throw"), nullptr);
}

TEST_P(ExportsTest, NeedsOnlyTheCLibraryLibmAndTheLoader) {
#ifdef RX_SANITIZE
  GTEST_SKIP() << "the sanitizer build links the sanitizer runtimes dynamically";
#else
  const std::string text = commandOutput("readelf -d -W '" + path() + "' 2>&1");
  const std::set<std::string> allowed = {"libc.so.6", "libm.so.6", "ld-linux-x86-64.so.2"};
  int needed = 0;
  for (const std::string& line : lines(text)) {
    if (line.find("(NEEDED)") == std::string::npos) continue;
    ++needed;
    const std::size_t open = line.find('[');
    const std::size_t close = line.find(']', open);
    ASSERT_NE(open, std::string::npos) << line;
    const std::string lib = line.substr(open + 1, close - open - 1);
    EXPECT_EQ(allowed.count(lib), 1u) << "unexpected dependency " << lib;
  }
  EXPECT_GT(needed, 0) << text;
#endif
}

TEST_P(ExportsTest, ImportsNothingFromACxxRuntime) {
#ifdef RX_SANITIZE
  GTEST_SKIP() << "the sanitizer build links the sanitizer runtimes dynamically";
#else
  const std::string text = commandOutput("nm -D --undefined-only '" + path() + "' 2>&1");
  ASSERT_FALSE(text.empty());
  for (const std::string& line : lines(text)) {
    EXPECT_EQ(line.find("GLIBCXX"), std::string::npos) << line;
    EXPECT_EQ(line.find("CXXABI"), std::string::npos) << line;
    EXPECT_EQ(line.find("@GCC_"), std::string::npos) << line;
  }
#endif
}

INSTANTIATE_TEST_SUITE_P(Models, ExportsTest, ::testing::ValuesIn(allModels()),
                         [](const auto& i) { return i.param; });

}  // namespace
