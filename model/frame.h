// What the entry layer sees of a model frame. Each library links exactly one
// frame variant, which defines Model_Rx_T and these functions.
#pragma once

#include <cstdint>

struct Model_Rx_T;

// Capacity of the impulse buffers, in doubles.
constexpr std::int64_t kImpulseCapacity = 8388608;

// Creates a model object; null when the object itself cannot be allocated.
// A failed group allocation leaves Rx_errorStatus non-null.
Model_Rx_T* Rx();
void Rx_initialize(Model_Rx_T* model);
void Rx_output(Model_Rx_T* model);
void Rx_update(Model_Rx_T* model);
// Releases the model object and everything it owns; null is harmless.
void Rx_terminate(Model_Rx_T* model);

// The entry layer's window on the model: buffers it copies to and from, the
// sample cells, and the clock-times cursor (kept per instance, so instances
// driven from different threads never share it).
const char* Rx_errorStatus(const Model_Rx_T* model);
double* Rx_impulseIn(Model_Rx_T* model);
const double* Rx_impulseOut(const Model_Rx_T* model);
void Rx_setWaveIn(Model_Rx_T* model, double sample);
double Rx_waveOut(const Model_Rx_T* model);
void Rx_setClockTimes(Model_Rx_T* model, double* buffer);
std::int32_t Rx_clockTimesCount(const Model_Rx_T* model);
