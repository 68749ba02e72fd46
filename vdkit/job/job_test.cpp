#include "vdkit/job/job.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "vdkit/job/job_args.h"
#include "vdkit/job/jop.h"

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

// A job that runs the operators named "smooth" of a stored parameter file;
// the operators (CTestJop, registered by the operator tests) add their
// passes to the argument "n".
TEST(JobTest, RunsOperatorsFromAStoredParameterFile) {
  class CSmoothJob : public CJob {
   public:
    bool Run() override {
      CJopSet jops;
      return jops.Load(m_arStrPairs.GetAt(0).second) && RunJops(jops, "smooth", m_args);
    }
    bool Validate() override { return m_arStrPairs.GetSize() == 1; }
    CStrPairArray& Pairs() { return m_arStrPairs; }
    CJobArgs m_args;
  };
  const std::string path = ::testing::TempDir() + "vdkit_job_params_" + std::to_string(::getpid()) + ".xml";
  std::ofstream(path) << "<?xml version='1.0'?>\n<JobParameters>\n"
                         "<smooth class='CTestJop' type='a'>\n<passes>2</passes>\n</smooth>\n"
                         "<smooth class='CTestJop' type='b'>\n<passes>5</passes>\n</smooth>\n"
                         "<other class='CTestJop' type='a'>\n<passes>100</passes>\n</other>\n"
                         "</JobParameters>\n";
  CSmoothJob job;
  job.Pairs().Add("params", path.c_str());
  ASSERT_TRUE(job.Validate());
  job.m_args.AddArg("n", "", "1");
  EXPECT_TRUE(job.Run());
  EXPECT_EQ(job.m_args.GetArgi("n"), 8);  // 1 + 2 + 5

  std::ofstream(path) << "<?xml version='1.0'?>\n<JobParameters>\n"
                         "<smooth class='CTestJop' type='a'>\n<passes>-1</passes>\n</smooth>\n"
                         "</JobParameters>\n";
  EXPECT_FALSE(job.Run());  // the operator fails
  std::ofstream(path) << "<?xml version='1.0'?>\n<JobParameters>\n</JobParameters>\n";
  EXPECT_FALSE(job.Run());  // no operator of that name
  std::remove(path.c_str());
}

}  // namespace
