// Runs the host program as a user would, capturing its output and status.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

struct ProgramRun {
  int exitCode = -1;       // exit status; -1 when it did not exit normally
  bool signalled = false;  // killed by a signal (a crash, a sanitizer abort)
  std::string out;
  std::string err;
};

inline std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh folder under the system's temporary directory.
inline std::string makeTempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/amisim_test_XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  const char* dir = mkdtemp(buf.data());
  return dir != nullptr ? std::string(dir) : std::string("/tmp");
}

inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::string& workDir) {
  ProgramRun r;
  const std::string outPath = workDir + "/stdout.txt";
  const std::string errPath = workDir + "/stderr.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return r;
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
  r.signalled = WIFSIGNALED(status);
  r.out = readWhole(outPath);
  r.err = readWhole(errPath);
  return r;
}

// The text of the value after "key": in the JSON object that follows
// "section": (the whole text when section is empty): a number, true, false,
// null or a quoted string (returned without its quotes).
inline std::string jsonField(const std::string& json, const std::string& section,
                             const std::string& key) {
  std::size_t from = 0;
  if (!section.empty()) {
    from = json.find("\"" + section + "\":");
    if (from == std::string::npos) return "";
  }
  const std::string needle = "\"" + key + "\": ";
  std::size_t at = json.find(needle, from);
  if (at == std::string::npos) return "";
  at += needle.size();
  if (json[at] == '"') {
    std::string s;
    for (std::size_t i = at + 1; i < json.size() && json[i] != '"'; ++i) {
      if (json[i] != '\\' || i + 1 >= json.size()) {
        s += json[i];
        continue;
      }
      const char e = json[++i];
      if (e == 'n')
        s += '\n';
      else if (e == 't')
        s += '\t';
      else if (e == 'u' && i + 4 < json.size()) {
        s += static_cast<char>(std::strtol(json.substr(i + 1, 4).c_str(), nullptr, 16));
        i += 4;
      } else
        s += e;
    }
    return s;
  }
  const std::size_t end = json.find_first_of(",}\n", at);
  return json.substr(at, end - at);
}

inline double jsonNumber(const std::string& json, const std::string& section,
                         const std::string& key) {
  const std::string text = jsonField(json, section, key);
  if (text.empty() || text == "null") return NAN;
  return std::strtod(text.c_str(), nullptr);
}
