// amisim: runs an IBIS-AMI receiver model on a channel and shows its eye.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/amisim/options.h"
#include "tools/amisim/report.h"
#include "tools/amisim/simulate.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kRunError = 1;

// A bar on stderr, shown only on a terminal and only once the run has taken
// a second; redrawn at most ten times a second.
class ProgressBar {
 public:
  explicit ProgressBar(bool enabled) : enabled_(enabled && isatty(STDERR_FILENO) == 1) {}
  ~ProgressBar() {
    if (shown_) std::fprintf(stderr, "\r%60s\r", "");
  }
  void update(double fraction) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::seconds(1)) return;
    if (shown_ && now - last_ < std::chrono::milliseconds(100) && fraction < 1.0) return;
    last_ = now;
    shown_ = true;
    const int width = 40;
    const int filled = static_cast<int>(fraction * width + 0.5);
    std::string bar(static_cast<std::size_t>(filled > width ? width : filled), '#');
    bar.resize(width, '.');
    std::fprintf(stderr, "\r[%s] %3.0f%%", bar.c_str(), fraction * 100.0);
    std::fflush(stderr);
  }

 private:
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_ = start_;
};

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out) {
    std::fprintf(stderr, "amisim: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

void listParameters(const amisim::RunSetup& s) {
  std::printf("%s: %s\n", s.ami.root.c_str(), s.ami.description.c_str());
  for (const amisim::AmiParameter& p : s.ami.parameters) {
    std::printf("  %-28s %-5s %-7s default %s", amisim::joinPath(p.path).c_str(),
                amisim::usageName(p.usage), amisim::typeName(p.type), p.defaultValue.text.c_str());
    if (p.format == amisim::AmiFormat::Range) std::printf(", range %g to %g", p.min, p.max);
    if (p.format == amisim::AmiFormat::List) {
      std::printf(", one of");
      for (const amisim::AmiToken& t : p.list) std::printf(" %s", t.text.c_str());
    }
    std::printf("\n");
  }
  std::printf("parameter string: %s\n", s.parameters.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  amisim::Options options;
  std::string error;
  if (!amisim::parseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "amisim: %s\n", error.c_str());
    return kUsageError;
  }
  if (options.help) {
    std::fputs(amisim::usageText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("amisim %s\n", amisim::kAmisimVersion);
    return 0;
  }
  if (!amisim::resolveModelFiles(&options, &error)) {
    std::fprintf(stderr, "amisim: %s\n", error.c_str());
    return kUsageError;
  }
  amisim::RunSetup setup;
  if (!amisim::prepareRun(options, &setup, &error)) {
    std::fprintf(stderr, "amisim: %s\n", error.c_str());
    return kUsageError;
  }
  for (const std::string& w : setup.warnings)
    std::fprintf(stderr, "amisim: warning: %s\n", w.c_str());
  if (options.listParameters) {
    listParameters(setup);
    return 0;
  }
  amisim::RunResult result;
  bool ok = false;
  {
    ProgressBar bar(!options.quiet && !options.json);
    ok = amisim::runModel(setup, &result, &error, [&bar](double f) { bar.update(f); });
  }
  if (!ok) {
    std::fprintf(stderr, "amisim: %s\n", error.c_str());
    if (!result.initMessage.empty()) std::fprintf(stderr, "%s", result.initMessage.c_str());
    return kRunError;
  }
  if (options.json)
    std::fputs(amisim::jsonReport(setup, result).c_str(), stdout);
  else
    std::fputs(amisim::textSummary(setup, result).c_str(), stdout);
  bool written = true;
  if (!options.reportPath.empty()) {
    written = writeFile(options.reportPath, amisim::htmlReport(setup, result)) && written;
    if (written && !options.json) std::printf("report      %s\n", options.reportPath.c_str());
  }
  if (!options.eyeSvgPath.empty())
    written = writeFile(options.eyeSvgPath, amisim::eyeSvg(setup, result)) && written;
  return written ? 0 : kRunError;
}
