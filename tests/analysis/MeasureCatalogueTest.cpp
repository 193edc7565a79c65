#include <gtest/gtest.h>

#include <limits>

#include "analysis/MeasureCatalogue.h"

TEST(MeasureCatalogue, LookupFindsEachMeasure) {
  for (const MeasureInfo& info : kMeasureCatalogue) {
    EXPECT_EQ(MeasureInfoOf(info.measure).title, info.title);
  }
  EXPECT_EQ(kMeasureCatalogue[3].title, "Hadamard Deviation");
  EXPECT_EQ(kMeasureCatalogue[6].sequence, TauSequence::Theo1);
  EXPECT_EQ(kMeasureCatalogue[8].sequence, TauSequence::MtieStages);
}

TEST(MeasureCatalogue, ValueFormat) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {1.234e-11, "1.23 x 10 E-11"},
      {9.999e-11, "1.00 x 10 E-10"},
      {5e3, "5.00 x 10 E+3"},
      {0.0, "0.00 x 10 E+0"},
      {-2.5e-9, "-2.50 x 10 E-9"},
      {1.5e-300, "1.50 x 10 E-300"},
      {std::numeric_limits<double>::quiet_NaN(), "-"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatMeasureValue(c.value), c.text) << c.value;
}
