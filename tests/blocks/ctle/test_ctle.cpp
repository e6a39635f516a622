// Time-domain CTLE (setup, property refresh, per-sample filter) and statistical CTLE
// (configurations, Mode 0/1/2 step, pulse scoring and configuration choice).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "blocks/ctle/ctle.h"
#include "blocks/ctle/impulse2pulse.h"
#include "tests/common/same_bits.h"

namespace {

constexpr double kG = 19.437929381981153;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using Column = std::vector<double>;
using Columns = std::vector<Column>;

// Dynamic array owned by a test.
class Dyn {
 public:
  explicit Dyn(std::int32_t dims) { EXPECT_TRUE(Rx_dynInit_real_T(&a_, dims)); }
  ~Dyn() { Rx_dynFree_real_T(&a_); }
  Dyn(const Dyn&) = delete;
  Dyn& operator=(const Dyn&) = delete;
  dynArray_real_T* get() const { return a_; }

  void setVector(const Column& v) {
    const auto old = static_cast<std::int32_t>(Rx_dynNumel(a_->sizes, a_->dimCount));
    a_->sizes[0] = static_cast<std::int32_t>(v.size());
    ASSERT_TRUE(Rx_dynEnsureCapacity_real_T(a_, old));
    for (std::size_t i = 0; i < v.size(); ++i) a_->elements[i] = v[i];
  }
  void setColumns(const Columns& cols) {
    const auto old = static_cast<std::int32_t>(Rx_dynNumel(a_->sizes, a_->dimCount));
    const std::size_t rows = cols.empty() ? 0 : cols[0].size();
    a_->sizes[0] = static_cast<std::int32_t>(rows);
    a_->sizes[1] = static_cast<std::int32_t>(cols.size());
    ASSERT_TRUE(Rx_dynEnsureCapacity_real_T(a_, old));
    for (std::size_t j = 0; j < cols.size(); ++j)
      for (std::size_t i = 0; i < rows; ++i) a_->elements[j * rows + i] = cols[j][i];
  }
  Column vector() const { return Column(a_->elements, a_->elements + a_->sizes[0]); }
  Columns columns() const {
    Columns out(static_cast<std::size_t>(a_->sizes[1]));
    const std::int32_t rows = a_->sizes[0];
    for (std::size_t j = 0; j < out.size(); ++j)
      out[j].assign(a_->elements + j * rows, a_->elements + (j + 1) * rows);
    return out;
  }

 private:
  dynArray_real_T* a_ = nullptr;
};

// ---- time-domain CTLE -----------------------------------------------------------------------

blk_CTLE_Rx_T setUpTimeDomain(double sampleInterval, double mode) {
  blk_CTLE_Rx_T obj{};
  obj.latchPending = true;
  obj.SymbolTime = 1e-10;
  obj.SampleInterval = sampleInterval;
  Rx_SystemCore_setup(&obj);
  EXPECT_FALSE(Rx_CTLE_refreshProperties(&obj, 1e-10, sampleInterval, 0.0, 0.0));
  Rx_CTLE_refreshProperties(&obj, 1e-10, sampleInterval, mode, 0.0);
  return obj;
}

double step(blk_CTLE_Rx_T* obj, double in, double* cs = nullptr) {
  double out = -123.0, reported = -123.0;
  Rx_CTLE_stepImpl(obj, in, &out, &reported);
  if (cs != nullptr) *cs = reported;
  return out;
}

TEST(TimeDomainSetup, LeavesAReadyBypassedFilter) {
  blk_CTLE_Rx_T obj{};
  obj.Mode = 1.0;
  obj.ConfigSelect = 4.0;
  obj.SampleInterval = 6.25e-12;
  obj.cascadeSelected = true;
  obj.inputHistory[0] = 5.0;
  obj.outputHistory[1] = 5.0;
  Rx_SystemCore_setup(&obj);
  EXPECT_EQ(obj.isSetUp, 1);
  EXPECT_TRUE(sameBits(obj.Mode, 0.0));
  EXPECT_TRUE(sameBits(obj.ConfigSelect, 0.0));
  EXPECT_FALSE(obj.cascadeSelected);
  EXPECT_TRUE(obj.timingCurrent);
  EXPECT_TRUE(obj.filterReady);
  EXPECT_FALSE(obj.propertiesChanged);
  EXPECT_TRUE(sameBits(obj.order, 2.0));
  EXPECT_TRUE(sameBits(obj.denominatorLead, 1.0));
  EXPECT_TRUE(sameBits(obj.designScale, 1.0));
  EXPECT_TRUE(sameBits(obj.designSampleInterval, 6.25e-12));
  EXPECT_TRUE(sameBits(obj.cascadeGain, kG));
  EXPECT_TRUE(sameBits(obj.cascadeDenominator[0], 1.0));
  EXPECT_TRUE(sameBits(obj.cascadeStateRows, 2.0));
  for (double v : obj.inputHistory) EXPECT_TRUE(sameBits(v, 0.0));
  for (double v : obj.outputHistory) EXPECT_TRUE(sameBits(v, 0.0));
  for (double v : obj.cascadeState) EXPECT_TRUE(sameBits(v, 0.0));
}

TEST(TimeDomainStep, ModeZeroPassesSamplesAndKeepsTheHistories) {
  blk_CTLE_Rx_T obj = setUpTimeDomain(6.25e-12, 1.0);
  step(&obj, 0.3);
  step(&obj, -0.2);
  const blk_CTLE_Rx_T before = obj;
  Rx_CTLE_refreshProperties(&obj, 1e-10, 6.25e-12, 0.0, 6.0);
  for (double x : {0.5, -0.0, kNaN, 1e300, -kInf}) {
    double cs = 0.0;
    EXPECT_TRUE(sameBits(step(&obj, x, &cs), x));
    EXPECT_TRUE(sameBits(cs, 6.0));
  }
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(sameBits(obj.inputHistory[i], before.inputHistory[i]));
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(sameBits(obj.outputHistory[i], before.outputHistory[i]));

  // Back in Mode 1 the filter resumes from the kept histories.
  blk_CTLE_Rx_T continuous = before;
  Rx_CTLE_refreshProperties(&obj, 1e-10, 6.25e-12, 1.0, 6.0);
  EXPECT_TRUE(sameBits(step(&obj, 0.1), step(&continuous, 0.1)));
}

TEST(TimeDomainStep, UnitImpulseGivesB0ThenB1MinusA1B0) {
  blk_CTLE_Rx_T obj = setUpTimeDomain(1e-12, 1.0);
  const double b0 = obj.numerator[0], b1 = obj.numerator[1], a1 = obj.denominator[0];
  double cs = -1.0;
  EXPECT_TRUE(sameBits(step(&obj, 1.0, &cs), b0));
  EXPECT_TRUE(sameBits(cs, 0.0));
  EXPECT_TRUE(sameBits(step(&obj, 0.0), b1 - a1 * b0));
  EXPECT_TRUE(sameBits(obj.inputHistory[0], 0.0));
  EXPECT_TRUE(sameBits(obj.inputHistory[1], 1.0));
  EXPECT_TRUE(sameBits(obj.outputHistory[1], b0));
}

TEST(TimeDomainStep, OutputIsTheDirectFormRecursion) {
  blk_CTLE_Rx_T obj = setUpTimeDomain(6.25e-12, 1.0);
  const double* b = obj.numerator;
  const double* a = obj.denominator;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  for (int n = 0; n < 200; ++n) {
    const double x = std::sin(0.37 * n) * 0.25 + (n % 7 == 0 ? 0.1 : 0.0);
    const double want = ((b[0] * x + b[1] * x1) + b[2] * x2) - (a[0] * y1 + a[1] * y2);
    ASSERT_TRUE(sameBits(step(&obj, x), want)) << n;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = want;
  }
}

struct SettleCase {
  const char* name;
  double t;
  int samples;
};
const SettleCase kSettle[] = {{"T1ps", 1e-12, 20000},
                              {"T6p25ps", 6.25e-12, 4000},
                              {"T25ps", 2.5e-11, 1000},
                              {"T1ns", 1e-9, 50}};
class TimeDomainDcGain : public ::testing::TestWithParam<SettleCase> {};
TEST_P(TimeDomainDcGain, ConstantInputSettlesAtG) {
  blk_CTLE_Rx_T obj = setUpTimeDomain(GetParam().t, 1.0);
  double y = 0.0;
  for (int n = 0; n < GetParam().samples; ++n) y = step(&obj, 1.0);
  EXPECT_NEAR(y, kG, 1e-8 * kG);
}
INSTANTIATE_TEST_SUITE_P(SampleIntervals, TimeDomainDcGain, ::testing::ValuesIn(kSettle),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(TimeDomainStep, NaNSamplePoisonsEveryLaterOutput) {
  blk_CTLE_Rx_T obj = setUpTimeDomain(6.25e-12, 1.0);
  EXPECT_TRUE(std::isfinite(step(&obj, 0.2)));
  EXPECT_TRUE(std::isnan(step(&obj, kNaN)));
  for (int n = 0; n < 10; ++n) EXPECT_TRUE(std::isnan(step(&obj, 0.0))) << n;
}

TEST(TimeDomainStep, ModeTwoFiltersAndReportsTheFirstLatchedConfiguration) {
  blk_CTLE_Rx_T one = setUpTimeDomain(6.25e-12, 1.0);
  blk_CTLE_Rx_T two = setUpTimeDomain(6.25e-12, 2.0);
  Rx_CTLE_refreshProperties(&two, 1e-10, 6.25e-12, 2.0, 3.0);
  double cs = -1.0;
  EXPECT_TRUE(sameBits(step(&two, 0.4, &cs), step(&one, 0.4)));
  EXPECT_TRUE(sameBits(cs, 3.0));
  EXPECT_FALSE(two.latchPending);
  EXPECT_TRUE(sameBits(two.latchedConfigSelect, 3.0));
  Rx_CTLE_refreshProperties(&two, 1e-10, 6.25e-12, 2.0, 5.0);
  EXPECT_TRUE(sameBits(step(&two, -0.1, &cs), step(&one, -0.1)));
  EXPECT_TRUE(sameBits(cs, 3.0));
}

TEST(TimeDomainStep, OtherModesFilterAsModeOne) {
  blk_CTLE_Rx_T one = setUpTimeDomain(6.25e-12, 1.0);
  blk_CTLE_Rx_T odd = setUpTimeDomain(6.25e-12, kNaN);
  Rx_CTLE_refreshProperties(&odd, 1e-10, 6.25e-12, kNaN, 2.0);
  double cs = -1.0;
  EXPECT_TRUE(sameBits(step(&odd, 0.4, &cs), step(&one, 0.4)));
  EXPECT_TRUE(sameBits(cs, 2.0));
}

TEST(TimeDomainRefresh, WritesOnlyChangesAndNeverRecomputesTheFilter) {
  blk_CTLE_Rx_T obj = setUpTimeDomain(6.25e-12, 1.0);
  const blk_CTLE_Rx_T before = obj;
  EXPECT_FALSE(Rx_CTLE_refreshProperties(&obj, 1e-10, 6.25e-12, 1.0, 0.0));
  EXPECT_TRUE(obj.timingCurrent);

  EXPECT_TRUE(Rx_CTLE_refreshProperties(&obj, 1e-10, 3.125e-12, 1.0, 0.0));
  EXPECT_TRUE(sameBits(obj.SampleInterval, 3.125e-12));
  EXPECT_FALSE(obj.timingCurrent);
  EXPECT_FALSE(obj.propertiesChanged);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(sameBits(obj.numerator[i], before.numerator[i]));
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(sameBits(obj.denominator[i], before.denominator[i]));
  EXPECT_TRUE(sameBits(obj.designSampleInterval, 6.25e-12));
  EXPECT_FALSE(Rx_CTLE_refreshProperties(&obj, 1e-10, 3.125e-12, 1.0, 0.0));

  EXPECT_TRUE(Rx_CTLE_refreshProperties(&obj, 2e-10, 3.125e-12, 1.0, 0.0));
  EXPECT_TRUE(sameBits(obj.SymbolTime, 2e-10));
}

TEST(TimeDomainRefresh, ModeAndConfigSelectCompareNaNAware) {
  blk_CTLE_Rx_T obj = setUpTimeDomain(6.25e-12, kNaN);
  EXPECT_FALSE(Rx_CTLE_refreshProperties(&obj, 1e-10, 6.25e-12, kNaN, 0.0));
  EXPECT_TRUE(Rx_CTLE_refreshProperties(&obj, 1e-10, 6.25e-12, kNaN, kNaN));
  EXPECT_FALSE(Rx_CTLE_refreshProperties(&obj, 1e-10, 6.25e-12, kNaN, kNaN));
  EXPECT_TRUE(Rx_CTLE_refreshProperties(&obj, 1e-10, 6.25e-12, 1.0, kNaN));
  // The sample interval compares plainly: a NaN is written every time.
  EXPECT_TRUE(Rx_CTLE_refreshProperties(&obj, 1e-10, kNaN, 1.0, kNaN));
  EXPECT_TRUE(Rx_CTLE_refreshProperties(&obj, 1e-10, kNaN, 1.0, kNaN));
}

// ---- statistical CTLE: configurations and setup ---------------------------------------------

TEST(DesignConfigurations, MatchTheTableRowsScaledToHz) {
  const double rowZero[8] = {-11300000000.0, -8363000000.0, -7099000000.0, -5676000000.0,
                             -4960100000.0,  -4358000000.0, -3844000000.0, -3399000000.0};
  const double rowPole[8] = {-25600000000.0, -18600000000.0, -18600000000.0, -15600000000.0,
                             -15600000000.0, -15600000000.0, -15600000000.0, -15600000000.0};
  const double gains[8] = {1.0,
                           0.8912509381337456,
                           0.7943282347242815,
                           0.7079457843841379,
                           0.6309573444801932,
                           0.5623413251903491,
                           0.5011872336272722,
                           0.44668359215096315};
  // Printed figures of the eight configurations (rounded to 16 digits).
  const double printedZero[8] = {-1937142857.142857, -1433657142.857143, -1216971428.5714285,
                                 -973028571.4285715, -850302857.1428572, -747085714.2857143,
                                 -658971428.5714285, -582685714.2857143};
  const double printedPole[8] = {-4388571428.571428, -3188571428.571429, -3188571428.571429,
                                 -2674285714.285714, -2674285714.285714, -2674285714.285714,
                                 -2674285714.285714, -2674285714.285714};
  double zeros[8], poles[16], dc[8];
  Rx_CTLE_designConfigurations(zeros, poles, dc);
  for (int k = 0; k < 8; ++k) {
    SCOPED_TRACE(k);
    EXPECT_TRUE(sameBits(zeros[k], (rowZero[k] * 2.4e9) / 1.4e10));
    EXPECT_TRUE(sameBits(poles[k], (rowPole[k] * 2.4e9) / 1.4e10));
    EXPECT_TRUE(sameBits(poles[k + 8], (-14100000000.0 * 2.4e9) / 1.4e10));
    EXPECT_TRUE(sameBits(dc[k], gains[k]));
    EXPECT_NEAR(zeros[k], printedZero[k], 1e-6);
    EXPECT_NEAR(poles[k], printedPole[k], 1e-6);
    EXPECT_NEAR(poles[k + 8], -2417142857.142857, 1e-6);
  }
}

struct RunResult {
  bool ok = false;
  double configSelect = -1.0;
  Columns out;
};

// Fresh statistical object, one step, object released.
RunResult runStatistical(double mode, double configSelect, double sampleInterval, double symbolTime,
                         const Columns& impulse) {
  blk_CTLE_Rx_j_T obj{};
  RunResult r;
  EXPECT_TRUE(Rx_dynInitStruct_blk_CTLE(&obj));
  obj.isSetUp = 0;
  obj.SampleInterval = sampleInterval;
  obj.SymbolTime = symbolTime;
  obj.Mode = mode;
  obj.ConfigSelect = configSelect;
  obj.stepReady = false;
  {
    Dyn in(2), out(2);
    in.setColumns(impulse);
    r.ok = Rx_SystemCore_step(&obj, in.get(), out.get(), &r.configSelect);
    r.out = out.columns();
  }
  Rx_dynFreeStruct_blk_CTLE(&obj);
  return r;
}

class StatisticalSetup : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Rx_dynInitStruct_blk_CTLE(&obj_));
    obj_.SampleInterval = 6.25e-12;
    obj_.SymbolTime = 1e-10;
    obj_.Mode = 0.0;
    obj_.ConfigSelect = 0.0;
  }
  void TearDown() override { Rx_dynFreeStruct_blk_CTLE(&obj_); }
  bool stepOnce(const Columns& cols, Columns* result, double* cs) {
    Dyn in(2), out(2);
    in.setColumns(cols);
    const bool ok = Rx_SystemCore_step(&obj_, in.get(), out.get(), cs);
    *result = out.columns();
    return ok;
  }
  blk_CTLE_Rx_j_T obj_{};
};

TEST_F(StatisticalSetup, FirstStepBuildsEightTwoPoleOneZeroConfigurations) {
  Columns out;
  double cs = -1.0;
  ASSERT_TRUE(stepOnce(Columns(3, Column(5, 0.25)), &out, &cs));
  EXPECT_EQ(obj_.isSetUp, 1);
  EXPECT_TRUE(obj_.stepReady);
  EXPECT_FALSE(obj_.cascadeRequired);
  EXPECT_TRUE(obj_.coefficientsReady);
  EXPECT_FALSE(obj_.propertiesChanged);
  EXPECT_TRUE(sameBits(obj_.designSampleInterval, 6.25e-12));
  EXPECT_TRUE(sameBits(obj_.designScale, 1.0));
  const std::int32_t wantSize[8] = {5, 3, 1, 1, 1, 1, 1, 1};
  for (int d = 0; d < 8; ++d) EXPECT_EQ(obj_.inputSize[d], wantSize[d]) << d;
  const ctleCoefficients_Rx_T& c = obj_.coefficients;
  ASSERT_EQ(c.poleCount->sizes[0], 8);
  for (int k = 0; k < 8; ++k) {
    EXPECT_TRUE(sameBits(c.poleCount->elements[k], 2.0));
    EXPECT_TRUE(sameBits(c.zeroCount->elements[k], 1.0));
  }
  EXPECT_EQ(c.numerator->sizes[0], 3);
  EXPECT_EQ(c.denominator->sizes[0], 2);

  // A second step with another size records it and keeps the coefficients.
  const double b0 = c.numerator->elements[0];
  ASSERT_TRUE(stepOnce(Columns(1, Column(7, 0.0)), &out, &cs));
  EXPECT_EQ(obj_.inputSize[0], 7);
  EXPECT_EQ(obj_.inputSize[1], 1);
  EXPECT_TRUE(sameBits(c.numerator->elements[0], b0));
}

// ---- statistical CTLE: Mode 0 and Mode 1 ----------------------------------------------------

// Periodic response of configuration k to v: the filter over [v; v], last v.size() outputs.
Column periodicReference(const blk_CTLE_Rx_j_T& obj, int k, const Column& v) {
  const double* b = obj.coefficients.numerator->elements + 3 * k;
  const double* a = obj.coefficients.denominator->elements + 2 * k;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  Column out(v.size());
  for (int pass = 0; pass < 2; ++pass)
    for (std::size_t i = 0; i < v.size(); ++i) {
      const double y = ((b[0] * v[i] + b[1] * x1) + b[2] * x2) - (a[0] * y1 + a[1] * y2);
      x2 = x1;
      x1 = v[i];
      y2 = y1;
      y1 = y;
      if (pass == 1) out[i] = y;
    }
  return out;
}

Columns sampleImpulse(std::size_t rows) {
  Column victim(rows, 0.0), aggressor(rows, 0.0), third(rows, 0.0);
  for (std::size_t i = 0; i < rows; ++i) {
    const double t = static_cast<double>(i);
    victim[i] = i >= 10 ? 4e10 * std::exp(-(t - 10) / 6.0) : 0.0;
    aggressor[i] = 1e9 * std::sin(t / 5.0) * std::exp(-t / 40.0);
    third[i] = i == rows - 1 ? -3e10 : 0.0;
  }
  return {victim, aggressor, third};
}

TEST(StatisticalStep, ModeZeroCopiesAndReportsConfigSelect) {
  const Columns in = sampleImpulse(64);
  for (double sel : {0.0, 5.0, 9.5, kNaN}) {
    const RunResult r = runStatistical(0.0, sel, 6.25e-12, 1e-10, in);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(sameBits(r.configSelect, sel));
    ASSERT_EQ(r.out.size(), in.size());
    for (std::size_t j = 0; j < in.size(); ++j) EXPECT_TRUE(sameBits(r.out[j], in[j])) << j;
  }
}

class ModeOneConfig : public ::testing::TestWithParam<int> {};
TEST_P(ModeOneConfig, FiltersEveryColumnPeriodically) {
  const int k = GetParam();
  const Columns in = sampleImpulse(96);
  blk_CTLE_Rx_j_T obj{};
  ASSERT_TRUE(Rx_dynInitStruct_blk_CTLE(&obj));
  obj.SampleInterval = 6.25e-12;
  obj.SymbolTime = 1e-10;
  obj.Mode = 1.0;
  obj.ConfigSelect = k;
  Dyn inArr(2), outArr(2);
  inArr.setColumns(in);
  double cs = -1.0;
  EXPECT_TRUE(Rx_SystemCore_step(&obj, inArr.get(), outArr.get(), &cs));
  EXPECT_TRUE(sameBits(cs, static_cast<double>(k)));
  const Columns out = outArr.columns();
  ASSERT_EQ(out.size(), in.size());
  for (std::size_t j = 0; j < in.size(); ++j)
    EXPECT_TRUE(sameBits(out[j], periodicReference(obj, k, in[j]))) << "column " << j;
  Rx_dynFreeStruct_blk_CTLE(&obj);
}
INSTANTIATE_TEST_SUITE_P(AllConfigurations, ModeOneConfig, ::testing::Range(0, 8));

TEST(StatisticalStep, ConstantColumnApproachesItsValueTimesTheDcGain) {
  for (int k : {0, 3, 7}) {
    const RunResult r = runStatistical(1.0, k, 2.5e-11, 1e-10, Columns{Column(400, 0.75)});
    ASSERT_TRUE(r.ok);
    EXPECT_NEAR(r.out[0].back(), 0.75 * std::pow(10.0, -k / 20.0), 1e-9) << k;
  }
}

TEST(StatisticalStep, UnusualModesFilterWithConfigSelect) {
  const Columns in = sampleImpulse(48);
  const RunResult one = runStatistical(1.0, 4.0, 6.25e-12, 1e-10, in);
  for (double mode : {3.0, -1.0, kNaN}) {
    const RunResult r = runStatistical(mode, 4.0, 6.25e-12, 1e-10, in);
    EXPECT_TRUE(sameBits(r.configSelect, 4.0));
    for (std::size_t j = 0; j < in.size(); ++j) EXPECT_TRUE(sameBits(r.out[j], one.out[j]));
  }
}

TEST(StatisticalStep, InvalidConfigSelectPassesTheMatrixThrough) {
  const Columns in = sampleImpulse(32);
  for (double sel : {-1.0, 8.0, 2.5, kNaN, kInf, -kInf, 1e300}) {
    const RunResult r = runStatistical(1.0, sel, 6.25e-12, 1e-10, in);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(sameBits(r.configSelect, sel));
    for (std::size_t j = 0; j < in.size(); ++j) EXPECT_TRUE(sameBits(r.out[j], in[j]));
  }
}

TEST(StatisticalStep, EmptyMatrixGivesEmptyOutput) {
  for (double mode : {0.0, 1.0, 2.0}) {
    const RunResult r = runStatistical(mode, 0.0, 6.25e-12, 1e-10, Columns{});
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(sameBits(r.configSelect, 0.0));
    EXPECT_TRUE(r.out.empty());
  }
}

TEST_F(StatisticalSetup, CascadeRequiredPassesThroughAndReportsConfigSelect) {
  Columns out;
  double cs = -1.0;
  ASSERT_TRUE(stepOnce(Columns{Column(8, 1.0)}, &out, &cs));
  obj_.cascadeRequired = true;  // as if a configuration had a repeated pole
  const Columns in = sampleImpulse(40);
  for (double mode : {1.0, 2.0}) {
    obj_.Mode = mode;
    obj_.ConfigSelect = 3.0;
    ASSERT_TRUE(stepOnce(in, &out, &cs));
    EXPECT_TRUE(sameBits(cs, 3.0));
    for (std::size_t j = 0; j < in.size(); ++j) EXPECT_TRUE(sameBits(out[j], in[j]));
  }
}

TEST(StatisticalStep, OutputThatCannotBeSizedFails) {
  blk_CTLE_Rx_j_T obj{};
  ASSERT_TRUE(Rx_dynInitStruct_blk_CTLE(&obj));
  obj.SampleInterval = 6.25e-12;
  obj.SymbolTime = 1e-10;
  obj.Mode = 2.0;
  // Sizes beyond 32-bit element counts, with no storage behind them: never read.
  Dyn huge(2), out(2);
  huge.get()->sizes[0] = 65536;
  huge.get()->sizes[1] = 65536;
  double cs = -1.0;
  EXPECT_FALSE(Rx_SystemCore_step(&obj, huge.get(), out.get(), &cs));
  EXPECT_EQ(out.get()->sizes[0], 0);
  EXPECT_EQ(out.get()->sizes[1], 0);
  // An output without a second dimension is refused as well.
  Dyn small(2), flat(1);
  small.setColumns(Columns{Column(4, 1.0)});
  EXPECT_FALSE(Rx_SystemCore_step(&obj, small.get(), flat.get(), &cs));
  Rx_dynFreeStruct_blk_CTLE(&obj);
}

// ---- statistical CTLE: Mode 2 --------------------------------------------------------------

constexpr double kT = 6.25e-12;    // sample interval of the Mode-2 cases [s]
constexpr double kSymbol = 1e-10;  // 16 samples per symbol

// Scores of the eight configurations for a victim column, through the public pieces.
std::vector<double> scoresOf(const Column& victim, double t, double symbolTime) {
  const double n = std::round(symbolTime / t);
  Dyn impulse(1), pulse(1), u(1);
  impulse.setVector(victim);
  EXPECT_TRUE(Rx_impulse2pulse(impulse.get(), n, t, pulse.get()));
  EXPECT_TRUE(Rx_CTLE_truncatePulse(pulse.get(), n, u.get()));
  std::vector<double> scores;
  for (int k = 0; k < 8; ++k) {
    const RunResult r = runStatistical(1.0, k, t, symbolTime, Columns{u.vector()});
    Dyn filtered(1);
    filtered.setVector(r.out[0]);
    scores.push_back(Rx_CTLE_PulseGoodness(filtered.get(), n));
  }
  return scores;
}

int bestOf(const std::vector<double>& s) {
  int best = -1;
  for (int k = 0; k < 8; ++k)
    if (!std::isnan(s[k]) && (best < 0 || s[k] > s[best])) best = k;
  return best < 0 ? 0 : best;
}

Column rectangleImpulse(std::size_t rows, std::size_t at, double t) {
  Column v(rows, 0.0);
  v[at] = 1.0 / t;
  return v;
}

TEST(Adaptation, RectangleChoosesTheBestScoreAndFiltersWithIt) {
  const Column victim = rectangleImpulse(256, 40, kT);
  const std::vector<double> scores = scoresOf(victim, kT, kSymbol);
  const int want = bestOf(scores);
  int distinct = 0;
  for (int k = 1; k < 8; ++k) distinct += scores[k] != scores[0];
  EXPECT_GT(distinct, 0) << "the case must tell the configurations apart";

  const RunResult two = runStatistical(2.0, 0.0, kT, kSymbol, Columns{victim});
  ASSERT_TRUE(two.ok);
  EXPECT_TRUE(sameBits(two.configSelect, static_cast<double>(want)));
  const RunResult one = runStatistical(1.0, want, kT, kSymbol, Columns{victim});
  EXPECT_TRUE(sameBits(two.out[0], one.out[0]));
}

TEST(Adaptation, AggressorsAreFilteredWithTheVictimsChoice) {
  // A victim with a long tail wants a strong boost; the rectangle alone would want none.
  Column victim(256, 0.0);
  for (std::size_t i = 30; i < 256; ++i)
    victim[i] = 2e10 * std::exp(-static_cast<double>(i - 30) / 30.0);
  const Column aggressor = rectangleImpulse(256, 40, kT);
  const int victimChoice = bestOf(scoresOf(victim, kT, kSymbol));
  const int aggressorChoice = bestOf(scoresOf(aggressor, kT, kSymbol));
  ASSERT_NE(victimChoice, 0) << "the case must differ from the fallback choice";
  ASSERT_NE(victimChoice, aggressorChoice) << "the case must separate the two choices";

  const RunResult two = runStatistical(2.0, 0.0, kT, kSymbol, Columns{victim, aggressor});
  ASSERT_TRUE(two.ok);
  EXPECT_TRUE(sameBits(two.configSelect, static_cast<double>(victimChoice)));
  const RunResult one = runStatistical(1.0, victimChoice, kT, kSymbol, Columns{victim, aggressor});
  EXPECT_TRUE(sameBits(two.out[0], one.out[0]));
  EXPECT_TRUE(sameBits(two.out[1], one.out[1]));
}

struct FallbackCase {
  const char* name;
  double t;
  double symbolTime;
  double impulseValue;
};
const FallbackCase kFallback[] = {
    {"zero_energy", kT, kSymbol, 0.0},
    {"nan_coefficients", 1e-7, 1.6e-6, 1e7},  // poles overflow at this interval
    {"nan_symbol_time", kT, kNaN, 1e11},
    {"infinite_samples_per_symbol", 0.0, kSymbol, 1e11},
    {"negative_samples_per_symbol", kT, -kSymbol, 1e11},
    {"nan_impulse", kT, kSymbol, kNaN},
    {"pulse_conversion_refused", kT, 1e-3, 1e11},  // 1.6e8 samples per symbol
};
class AdaptationFallback : public ::testing::TestWithParam<FallbackCase> {};
TEST_P(AdaptationFallback, ChoosesConfigurationZeroWhenNothingScores) {
  const FallbackCase& c = GetParam();
  Column victim(128, 0.0);
  victim[20] = c.impulseValue;
  const RunResult two = runStatistical(2.0, 5.0, c.t, c.symbolTime, Columns{victim});
  EXPECT_TRUE(two.ok);
  EXPECT_TRUE(sameBits(two.configSelect, 0.0));
  const RunResult one = runStatistical(1.0, 0.0, c.t, c.symbolTime, Columns{victim});
  EXPECT_TRUE(sameBits(two.out[0], one.out[0]));
}
INSTANTIATE_TEST_SUITE_P(Adaptation, AdaptationFallback, ::testing::ValuesIn(kFallback),
                         [](const auto& i) { return std::string(i.param.name); });

// ---- truncated pulse --------------------------------------------------------------------

Column truncate(const Column& pulse, double n) {
  Dyn p(1), u(1);
  p.setVector(pulse);
  EXPECT_TRUE(Rx_CTLE_truncatePulse(p.get(), n, u.get()));
  return u.vector();
}

Column iota(std::size_t n) {
  Column v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<double>(i + 1);
  return v;
}

TEST(TruncatePulse, UnionOfEnergyAndPeakWindowsInPulseOrder) {
  // Two equal peaks at samples 6 and 27 (1-based), N = 1: the peak window is 3..9; the
  // normalised energy is 0.5 from sample 6 to 26 and exactly 1 from 27 on, which the strict
  // upper bound leaves out.
  Column p(32, 0.0);
  p[5] = 1.0;
  p[26] = 1.0;
  const Column u = truncate(p, 1.0);
  Column want(p.begin() + 2, p.begin() + 26);
  EXPECT_TRUE(sameBits(u, want));
}

TEST(TruncatePulse, EnergyWindowBoundsAreStrict) {
  // Squares 1, 19881, 100, 16, 1, 1 (total 20000): the normalised energy is exactly 5e-5
  // before the peak and exactly 0.99995 at sample 16; both lie outside. N = 1 puts the peak
  // window at 4..10, the energy window is 7..15.
  const Column p = {1, 0, 0, 0, 0, 0, 141, 10, 4, 0, 0, 0, 0, 0, 0, 1, 1};
  EXPECT_TRUE(sameBits(truncate(p, 1.0), Column(p.begin() + 3, p.begin() + 15)));
}

TEST(TruncatePulse, ZeroEnergyKeepsThePeakWindowAlone) {
  const Column u = truncate(Column(20, 0.0), 2.0);  // peak at 1: window 1..7
  EXPECT_TRUE(sameBits(u, Column(7, 0.0)));
}

struct WindowCase {
  const char* name;
  double n;
  std::size_t first, last;  // kept samples, 1-based inclusive (last < first: none)
};
const WindowCase kWindows[] = {
    {"n2", 2.0, 4, 16},
    {"n5_clipped_at_start", 5.0, 1, 25},
    {"n12_clipped_at_both_ends", 12.0, 1, 40},
    {"nan_n_keeps_everything", kNaN, 1, 40},
    {"infinite_n_keeps_everything", kInf, 1, 40},
    {"negative_n_keeps_nothing", -3.0, 1, 0},
    {"huge_negative_n_keeps_nothing", -1e300, 1, 0},
};
class PeakWindow : public ::testing::TestWithParam<WindowCase> {};
TEST_P(PeakWindow, KeepsTheClippedWindow) {
  // A single negative sample at 10 (1-based): the largest |pulse|. Its energy lies in one
  // sample, so the energy window is empty (F jumps from 0 to 1).
  Column p(40, 0.0);
  p[9] = -2.0;
  p[39] = 0.0;
  const WindowCase& c = GetParam();
  Column want;
  if (c.last >= c.first)
    want.assign(p.begin() + static_cast<long>(c.first - 1), p.begin() + static_cast<long>(c.last));
  EXPECT_TRUE(sameBits(truncate(p, c.n), want));
}
INSTANTIATE_TEST_SUITE_P(Windows, PeakWindow, ::testing::ValuesIn(kWindows),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(TruncatePulse, EmptyPulseGivesEmptyResult) {
  EXPECT_TRUE(truncate(Column{}, 4.0).empty());
  EXPECT_TRUE(sameBits(truncate(iota(1), 4.0), iota(1)));
}

// ---- pulse goodness ------------------------------------------------------------------------

double goodness(const Column& p, double n) {
  Dyn d(1);
  d.setVector(p);
  return Rx_CTLE_PulseGoodness(d.get(), n);
}

Column pulseWith(std::size_t len, std::size_t at, std::size_t count, double v,
                 std::size_t count2 = 0, double v2 = 0.0) {
  Column p(len, 0.0);
  for (std::size_t i = 0; i < count; ++i) p[at + i] = v;
  for (std::size_t i = 0; i < count2; ++i) p[at + count + i] = v2;
  return p;
}

struct GoodnessCase {
  const char* name;
  Column pulse;
  double n;
  double want;
};
const GoodnessCase kGoodness[] = {
    {"rectangle_n4", pulseWith(32, 5, 4, 1.0), 4.0, kInf},
    {"rectangle_n1", pulseWith(16, 3, 1, 1.0), 1.0, kInf},
    {"rectangle_n7_near_start", pulseWith(40, 1, 7, 1.0), 7.0, kInf},
    {"negative_rectangle", pulseWith(32, 9, 4, -1.0), 4.0, kInf},
    {"ones_then_halves_n4", pulseWith(32, 5, 4, 1.0, 4, 0.5), 4.0, 4.0},
    {"ones_then_halves_n8", pulseWith(64, 10, 8, 1.0, 8, 0.5), 8.0, 4.0},
    // Crossing at 3.4: window (2.4, 3.4) holds sample 3 alone: 1 / (0.25 + 0.0625).
    {"by_hand", Column{0.0, 0.5, 1.0, 0.25, 0.0}, 1.0, 1.0 / 0.3125},
    {"peak_at_last_sample", Column{0.0, 0.1, 0.2, 0.4, 0.8}, 2.0, kNaN},
    {"rising_to_the_end", iota(12), 3.0, kNaN},
    {"single_sample", Column{1.0}, 1.0, kNaN},
    {"empty", Column{}, 1.0, kNaN},
    {"nan_n", pulseWith(32, 5, 4, 1.0), kNaN, kNaN},
    {"infinite_n", pulseWith(32, 5, 4, 1.0), kInf, kNaN},
    {"zero_pulse", Column(16, 0.0), 4.0, kNaN},
    // Peak at sample 1: the lagged samples of the search wrap to the end of the pulse; the
    // crossing at 4 1/3 puts samples 1..4 in the window and 0.1 at sample 7 outside.
    // w(5) - w(3) is exactly 0: the crossing is sample 5 itself and the open window (3, 5)
    // holds sample 4 alone.
    {"crossing_on_a_sample", Column{0, 0, 1, 1, 1, 0, 0, 0}, 2.0, 0.5},
    {"peak_at_start_wraps", Column{1, 1, 1, 0.5, 0, 0, 0.1, 0, 0, 0, 0, 0}, 4.0,
     3.25 / (0.1 * 0.1)},
};
class PulseGoodness : public ::testing::TestWithParam<GoodnessCase> {};
TEST_P(PulseGoodness, Score) {
  const GoodnessCase& c = GetParam();
  const double got = goodness(c.pulse, c.n);
  if (std::isnan(c.want)) {
    EXPECT_TRUE(std::isnan(got)) << got;
  } else {
    EXPECT_TRUE(sameBits(got, c.want));
  }
}
INSTANTIATE_TEST_SUITE_P(Pulses, PulseGoodness, ::testing::ValuesIn(kGoodness),
                         [](const auto& i) { return std::string(i.param.name); });

// ---- configuration choice --------------------------------------------------------------------

struct ChoiceCase {
  const char* name;
  double scores[8];
  std::int32_t want;
};
const ChoiceCase kChoice[] = {
    {"highest", {1, 2, 3, 9, 4, 5, 6, 7}, 3},
    {"tie_keeps_lower", {1, 5, 3, 5, 4, 5, 2, 0}, 1},
    {"all_equal", {2, 2, 2, 2, 2, 2, 2, 2}, 0},
    {"nan_skipped", {kNaN, 1, kNaN, 3, kNaN, 2, kNaN, 0}, 3},
    {"nan_first_then_tie", {kNaN, 4, 4, kNaN, kNaN, kNaN, kNaN, kNaN}, 1},
    {"all_nan", {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN}, 0},
    {"infinity_wins", {1, kInf, 3, kInf, 4, 5, 6, 7}, 1},
    {"last_only", {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, 0.5}, 7},
    {"zero_scores", {0, 0, 0, 0, 0, 0, 0, 0}, 0},
};
class ChooseConfiguration : public ::testing::TestWithParam<ChoiceCase> {};
TEST_P(ChooseConfiguration, Index) {
  EXPECT_EQ(Rx_CTLE_chooseConfiguration(GetParam().scores), GetParam().want);
}
INSTANTIATE_TEST_SUITE_P(Scores, ChooseConfiguration, ::testing::ValuesIn(kChoice),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
