#include "vdkit/job/job_args.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

namespace {

TEST(JobArgsTest, EntriesAreFoundByNameAndKeepTheirOrder) {
  CJobArgs args;
  args.AddArg("Alpha", "m", "1");
  args.AddArg("beta", nullptr, nullptr);  // null texts are empty
  args.AddArg("ALPHA", "km", "2");        // replaces all three strings of Alpha
  ASSERT_EQ(args.GetCount(), 2);
  const char *name = nullptr, *unit = nullptr, *value = nullptr;
  ASSERT_TRUE(args.GetArg(0, &name, &unit, &value));
  EXPECT_STREQ(name, "ALPHA");
  EXPECT_STREQ(unit, "km");
  EXPECT_STREQ(value, "2");
  ASSERT_TRUE(args.GetArg(1, &name, nullptr, &value));
  EXPECT_STREQ(name, "beta");
  EXPECT_STREQ(value, "");
  EXPECT_FALSE(args.GetArg(2, &name, &unit, &value));  // index equal to the count
  EXPECT_FALSE(args.GetArg(-1, &name, &unit, &value));

  EXPECT_STREQ(args.GetArgsz("alpha"), "2");
  EXPECT_STREQ(args.GetUnit("Alpha"), "km");
  EXPECT_EQ(args.GetArgsz("gamma"), nullptr);
  EXPECT_EQ(args.GetUnit("gamma"), nullptr);
  EXPECT_EQ(args.GetArg("gamma"), nullptr);
  EXPECT_EQ(args.GetArg(static_cast<const char*>(nullptr)), nullptr);
  ASSERT_NE(args.GetArg("BETA"), nullptr);
  args.GetArg("BETA")->strValue = "7";
  EXPECT_EQ(args.GetArgi("beta"), 7);

  CJobArgs copy = args;  // deep: the copy changes alone
  copy.AddArg("alpha", "", "3");
  EXPECT_STREQ(args.GetArgsz("alpha"), "2");
  EXPECT_STREQ(copy.GetArgsz("alpha"), "3");
  copy.RemoveAll();
  EXPECT_EQ(copy.GetCount(), 0);
  EXPECT_EQ(args.GetCount(), 2);
}

TEST(JobArgsTest, ValuesParseAsNumbers) {
  struct Row {
    const char* text;
    int i;
    float f;
  };
  const float null = CJobArgs::kNullValue;
  const Row rows[] = {
      {"42", 42, 42.0f},
      {"  -7.5e1 m", -7, -75.0f},  // "%d" stops at the dot, "%g" at the blank
      {"12abc", 12, 12.0f},
      {"abc", 0, null},
      {"", 0, null},
      {"99999999999", INT_MAX, 1e11f},  // saturates as the 32-bit scan did
      {"-99999999999", INT_MIN, -1e11f},
      {"0x10", 0, 16.0f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    CJobArgs args;
    args.AddArg("v", "", row.text);
    EXPECT_EQ(args.GetArgi("v"), row.i);
    EXPECT_EQ(args.GetArgf("v"), row.f);
    EXPECT_EQ(args["V"], row.f);
  }
  CJobArgs none;
  EXPECT_EQ(none.GetArgi("missing"), 0);
  EXPECT_EQ(none.GetArgf("missing"), 9.999e-30f);  // the marker, not 0
  EXPECT_NE(none["missing"], 0.0f);
}

TEST(JobArgsTest, FormattedValuesAreCutAt128Characters) {
  CJobArgs args;
  args.AddArgFmt("r", "m", "%g", 250.0);
  EXPECT_STREQ(args.GetArgsz("r"), "250");
  EXPECT_STREQ(args.GetUnit("r"), "m");
  EXPECT_EQ(args["r"], 250.0f);
  const std::string longText(300, 'x');
  args.AddArgFmt("long", "", "%s-%d", longText.c_str(), 5);
  EXPECT_EQ(std::string(args.GetArgsz("long")), std::string(128, 'x'));
  args.AddArgFmt("exact", "", "%s", std::string(128, 'y').c_str());
  EXPECT_EQ(std::string(args.GetArgsz("exact")).size(), 128u);
  args.AddArgFmt("none", "u", nullptr);
  EXPECT_STREQ(args.GetArgsz("none"), "");
}

}  // namespace
