#include "tools/amisim/options.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace amisim {

namespace {

bool parseDouble(const std::string& text, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool parseInteger(const std::string& text, long long low, long long high, long long* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || v < low || v > high) return false;
  *out = v;
  return true;
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Files in dir ending in suffix.
std::vector<std::string> filesWithSuffix(const std::string& dir, const char* suffix) {
  std::vector<std::string> found;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return found;
  const std::size_t n = std::strlen(suffix);
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() > n && name.compare(name.size() - n, n, suffix) == 0)
      found.push_back(dir + "/" + name);
  }
  closedir(d);
  return found;
}

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string usageText() {
  return R"(Usage: amisim [options] LIBRARY

Runs an IBIS-AMI receiver model on a channel: AMI_Init on the channel's
impulse response, then AMI_GetWave on a PRBS waveform, and reports the
statistical and the time-domain eye.

  LIBRARY               the model library (.so), or a folder holding it and its .ami

Model parameters
  --ami FILE            the model's .ami file (default: the .ami beside the library)
  --set NAME=VALUE      override one parameter, NAME as below the root
                        (e.g. --set CTLE.Mode=0); may be repeated
  --params STRING       send this parameter string as it is
  --list-params         list the parameters of the .ami file and stop

Channel
  --channel FILE        impulse response CSV: time [s], victim[, aggressors...] [1/s]
                        (default: the embedded lossy line)
  --loss DB             loss of the embedded line at Nyquist (default 12)
  --bit-rate GBPS       symbol rate in Gb/s (default 5)
  --samples-per-ui N    samples per UI (default 32)

Stimulus
  --prbs 7|15|23|31     pseudo-random sequence (default 7)
  --modulation NRZ|PAM4 (default NRZ; also sets the model's Modulation parameter)
  --amplitude V         peak transmitter level in volts (default: chosen for the model)
  --bits N              UIs to simulate (default 100000)
  --skip N              UIs left out of the results while the equaliser locks
                        (default: a quarter of the run, at most 4000)
  --block-size N        samples per AMI_GetWave call (default 16384)
  --no-getwave          statistical flow only

Output
  --json                JSON on stdout instead of the text summary
  --report FILE         write an HTML report with the eye and the responses
  --eye-svg FILE        write the eye diagram as SVG
  --quiet               no progress bar
  --help, --version
)";
}

bool parseOptions(int argc, const char* const* argv, Options* out, std::string* error) {
  Options o;
  auto need = [&](int& i, const char* name, std::string* value) {
    if (i + 1 >= argc) {
      *error = std::string(name) + " needs a value";
      return false;
    }
    *value = argv[++i];
    return true;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    std::string v;
    long long n = 0;
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--no-getwave") {
      o.statisticalOnly = true;
    } else if (a == "--list-params") {
      o.listParameters = true;
    } else if (a == "--quiet") {
      o.quiet = true;
    } else if (a == "--ami") {
      if (!need(i, "--ami", &o.amiPath)) return false;
    } else if (a == "--set") {
      if (!need(i, "--set", &v)) return false;
      const std::size_t eq = v.find('=');
      if (eq == std::string::npos || eq == 0) {
        *error = "--set needs NAME=VALUE, got '" + v + "'";
        return false;
      }
      o.sets.emplace_back(v.substr(0, eq), v.substr(eq + 1));
    } else if (a == "--params") {
      if (!need(i, "--params", &o.parameters)) return false;
      o.rawParameters = true;
    } else if (a == "--channel") {
      if (!need(i, "--channel", &o.channelCsv)) return false;
    } else if (a == "--loss") {
      if (!need(i, "--loss", &v)) return false;
      if (!parseDouble(v, &o.lossDb) || o.lossDb < 0.0 || o.lossDb > 60.0) {
        *error = "--loss must be a number of dB from 0 to 60, got '" + v + "'";
        return false;
      }
    } else if (a == "--bit-rate") {
      double g = 0.0;
      if (!need(i, "--bit-rate", &v)) return false;
      if (!parseDouble(v, &g) || g < 0.001 || g > 1000.0) {
        *error = "--bit-rate must be in Gb/s from 0.001 to 1000, got '" + v + "'";
        return false;
      }
      o.bitRate = g * 1e9;
    } else if (a == "--samples-per-ui") {
      if (!need(i, "--samples-per-ui", &v)) return false;
      if (!parseInteger(v, 4, 1024, &n)) {
        *error = "--samples-per-ui must be an integer from 4 to 1024, got '" + v + "'";
        return false;
      }
      o.samplesPerUi = static_cast<int>(n);
    } else if (a == "--bits") {
      if (!need(i, "--bits", &v)) return false;
      if (!parseInteger(v, 100, 100000000, &o.bits)) {
        *error = "--bits must be an integer from 100 to 100000000, got '" + v + "'";
        return false;
      }
    } else if (a == "--skip") {
      if (!need(i, "--skip", &v)) return false;
      if (!parseInteger(v, 0, 100000000, &o.skipBits)) {
        *error = "--skip must be a non-negative integer, got '" + v + "'";
        return false;
      }
    } else if (a == "--prbs") {
      if (!need(i, "--prbs", &v)) return false;
      if (!parseInteger(v, 7, 31, &n) || (n != 7 && n != 15 && n != 23 && n != 31)) {
        *error = "--prbs must be 7, 15, 23 or 31, got '" + v + "'";
        return false;
      }
      o.prbs = static_cast<int>(n);
    } else if (a == "--modulation") {
      if (!need(i, "--modulation", &v)) return false;
      if (v == "NRZ")
        o.levels = 2;
      else if (v == "PAM4")
        o.levels = 4;
      else {
        *error = "--modulation must be NRZ or PAM4, got '" + v + "'";
        return false;
      }
    } else if (a == "--amplitude") {
      if (!need(i, "--amplitude", &v)) return false;
      if (!parseDouble(v, &o.amplitude) || !(o.amplitude > 0.0) || o.amplitude > 100.0) {
        *error = "--amplitude must be a positive number of volts up to 100, got '" + v + "'";
        return false;
      }
    } else if (a == "--block-size") {
      if (!need(i, "--block-size", &v)) return false;
      if (!parseInteger(v, 1, 1 << 24, &o.blockSize)) {
        *error = "--block-size must be an integer from 1 to 16777216, got '" + v + "'";
        return false;
      }
    } else if (a == "--report") {
      if (!need(i, "--report", &o.reportPath)) return false;
    } else if (a == "--eye-svg") {
      if (!need(i, "--eye-svg", &o.eyeSvgPath)) return false;
    } else if (!a.empty() && a[0] == '-') {
      *error = "unknown option " + a + " (see --help)";
      return false;
    } else if (o.library.empty()) {
      o.library = a;
    } else {
      *error = "more than one library given: " + o.library + " and " + a;
      return false;
    }
  }
  if (!o.help && !o.version && o.library.empty()) {
    *error = "no model library given (see --help)";
    return false;
  }
  if (o.skipBits >= o.bits) {
    *error = "--skip must be smaller than --bits";
    return false;
  }
  *out = std::move(o);
  return true;
}

bool resolveModelFiles(Options* o, std::string* error) {
  struct stat st;
  if (stat(o->library.c_str(), &st) != 0) {
    *error = "no such library or folder: " + o->library;
    return false;
  }
  if (isDirectory(o->library)) {
    const std::vector<std::string> libs = filesWithSuffix(o->library, ".so");
    if (libs.size() != 1) {
      *error = o->library + " holds " + std::to_string(libs.size()) +
               " libraries (.so); name the library itself";
      return false;
    }
    o->library = libs[0];
  }
  if (o->amiPath.empty()) {
    const std::vector<std::string> amis = filesWithSuffix(directoryOf(o->library), ".ami");
    if (amis.size() != 1) {
      *error = "found " + std::to_string(amis.size()) + " .ami files beside " + o->library +
               "; name the model's one with --ami";
      return false;
    }
    o->amiPath = amis[0];
  }
  return true;
}

}  // namespace amisim
