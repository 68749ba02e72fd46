#include "vdkit/job/job.h"

#include <gtest/gtest.h>

namespace {

TEST(JobTest, JobsFindTheirSet) {
  class CTestJob : public CJob {
   public:
    bool Run() override { return true; }
    bool Validate() override { return m_arStrPairs.GetSize() == 2; }
    void Fill() {
      m_arStrPairs.Add("in", "a.tv");
      m_arStrPairs.Add("out", "b.tv");
      m_arStrPairs.Add("extra", "x");
      m_arStrPairs.RemoveAt(2);
      m_arStrPairs.RemoveAt(9);  // out of range: ignored
    }
  };
  CVDFile* set = CreateVDFile("CJobSet");
  ASSERT_NE(set, nullptr);
  CTestJob* job = new CTestJob;
  job->SetName("job");
  EXPECT_EQ(job->GetJobSet(), nullptr);
  ASSERT_TRUE(set->AddNewFile(job));
  EXPECT_EQ(job->GetJobSet(), set);
  EXPECT_STREQ(job->GetClassNameA(), "CVDFile");
  EXPECT_TRUE(job->OnEditJops());
  job->Fill();
  EXPECT_TRUE(job->Validate());
  delete set;

  CVDFile* flows = CreateVDFile("cworkflowset");
  ASSERT_NE(flows, nullptr);
  EXPECT_STREQ(flows->GetClassNameA(), "CWorkflowSet");
  CTestJob* other = new CTestJob;
  flows->AddNewFile(other);
  EXPECT_EQ(other->GetDisk(), flows);
  EXPECT_EQ(other->GetJobSet(), nullptr);  // a workflow set is not a job set
  delete flows;
}

TEST(JobTest, SetsAreKindsOfDiskCreatedByName) {
  CVDFile* jobs = CreateVDFile("CJobSet");
  CVDFile* flows = CreateVDFile("CWORKFLOWSET");
  ASSERT_NE(jobs, nullptr);
  ASSERT_NE(flows, nullptr);
  EXPECT_TRUE(jobs->IsKindOf("CVDisk"));
  EXPECT_TRUE(flows->IsKindOf("cvdisk"));
  EXPECT_EQ(jobs->GetDisk(), jobs);
  EXPECT_STREQ(jobs->GetName(), "Disk");
  EXPECT_STREQ(flows->GetFileType(), "Disk");
  EXPECT_EQ(CJobSet::GetBaseClass(), &CVDisk::sClassInfo);
  EXPECT_EQ(CWorkflowSet::GetBaseClass(), &CVDisk::sClassInfo);
  delete jobs;
  delete flows;
}

}  // namespace
