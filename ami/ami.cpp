#include "ami/ami.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ami_tree/c_locale.h"
#include "ami_tree/param_tree.h"
#include "model/frame.h"

AMI::AMI()
    : model(Rx()),
      sampleInterval(0.0),
      bitTime(0.0),
      parametersOut(nullptr),
      message(TextBufferEmpty()),
      dllId{},
      tracePrefix{},
      debugEnabled(0),
      startTime(0.0),
      initCalls(0),
      getWaveCalls(0),
      closeCalls(0),
      sampleCount(0),
      clockTimesCount(0),
      sampleTime(0.0),
      scriptFile(nullptr),
      impulseInFile(nullptr),
      impulseOutFile(nullptr),
      waveInFile(nullptr),
      waveOutFile(nullptr),
      clockTimesFile(nullptr) {}

AMI::~AMI() {
  Rx_terminate(model);
  dbgClose();
  std::free(parametersOut);
  TextFree(&message);
}

void AMI::appendMessage(const char* text) { TextAppend(&message, text); }

void AMI::appendMessagef(const char* format, ...) {
  const CLocaleScope cLocale;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length >= 0) {
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    appendMessage(text.data());
  }
  va_end(again);
}
