#include "vdkit/job/job_args.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(JobArgsTest, EntriesAreFoundByNameAndKeepTheirOrder) {
  CJobArgs args;
  args.AddArg("Alpha", "m", "1");
  args.AddArg("beta", nullptr, nullptr);  // null texts are empty
  args.AddArg("ALPHA", "km", "2");        // replaces all three strings of Alpha
  const char *name = nullptr, *unit = nullptr, *value = nullptr;
  ASSERT_TRUE(args.GetArg(0, &name, &unit, &value));
  EXPECT_EQ(std::string(name) + unit + value, "ALPHAkm2");
  ASSERT_TRUE(args.GetArg(1, &name, nullptr, &value));
  EXPECT_EQ(std::string(name) + value, "beta");
  EXPECT_FALSE(args.GetArg(2, &name, &unit, &value));  // the index equal to the count
  EXPECT_STREQ(args.GetArgsz("alpha"), "2");
  EXPECT_STREQ(args.GetUnit("Alpha"), "km");
  EXPECT_EQ(args.GetArgsz("gamma"), nullptr);
  EXPECT_EQ(args.GetUnit("gamma"), nullptr);

  CJobArgs copy = args;  // deep: the copy changes alone
  copy.AddArgFmt("alpha", "", "%d", 3);
  EXPECT_STREQ(args.GetArgsz("alpha"), "2");
  EXPECT_EQ(copy["alpha"], 3.0f);
  copy.AddArgFmt("long", "", "%s-%d", std::string(300, 'x').c_str(), 5);  // cut to 128 characters
  EXPECT_EQ(std::string(copy.GetArgsz("long")), std::string(128, 'x'));
  copy.AddArgFmt("none", "u", nullptr);
  EXPECT_STREQ(copy.GetArgsz("none"), "");
  // A null name is the empty one: set again, not appended again.
  const int count = copy.GetCount();
  copy.AddArg(nullptr, "", "1");
  copy.AddArg(nullptr, "", "2");
  copy.AddArg("", "", "3");
  EXPECT_EQ(copy.GetCount(), count + 1);
  EXPECT_STREQ(copy.GetArgsz(""), "3");
}

TEST(JobArgsTest, ValuesParseAsNumbers) {
  const float null = 9.999e-30f;  // the marker, never 0
  const struct {
    const char* text;
    int i;
    float f;
  } rows[] = {
      {"42", 42, 42.0f},
      {"  -7.5e1 m", -7, -75.0f},  // "%d" stops at the dot, "%g" at the blank
      {"12abc", 12, 12.0f},
      {"abc", 0, null},
      {"", 0, null},
      {"99999999999", INT_MAX, 1e11f},  // saturates as the 32-bit scan did
      {"-99999999999", INT_MIN, -1e11f},
      {"0x10", 0, 16.0f},
  };
  for (const auto& row : rows) {
    CJobArgs args;
    args.AddArg("v", "", row.text);
    EXPECT_EQ(args.GetArgi("V"), row.i) << row.text;
    EXPECT_EQ(args["v"], row.f) << row.text;
  }
  CJobArgs none;
  EXPECT_EQ(none.GetArgi("missing"), 0);
  EXPECT_EQ(none.GetArgf("missing"), null);
}

}  // namespace
