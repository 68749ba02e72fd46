// Job operators: register an operator class, store the parameters of two
// operators in a parameter file, and let a job load that file and run them.
//
//   job_operators [directory]      (the file goes there; default: the temp directory)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "vdkit/vdkit.h"

// Scales the argument "value" by its factor and adds its offset.
class CScaleJop : public CJop {
  DECLARE_JOP(CScaleJop)

 public:
  void GetArgs(CJobArgs& args) const override {
    args.AddArgFmt("factor", "", "%g", m_factor);
    args.AddArgFmt("offset", "m", "%g", m_offset);
  }
  bool Serialize(CXmlArchive& ar) override {
    CXmlVar factor("factor", m_factor);
    CXmlVar offset("offset", m_offset);
    // Both directions: written when storing, read back when loading.
    const bool f = ar == factor;
    const bool o = ar == offset;
    return ar.IsStoring() || (f && o);
  }
  bool Run(CJobArgs& args) override {
    const float v = args.GetArgf("value");
    if (v == CJobArgs::kNullValue) return false;  // no value to work on
    args.AddArgFmt("value", args.GetUnit("value"), "%g", v * m_factor + m_offset);
    return true;
  }

  double m_factor = 1;
  double m_offset = 0;
};
IMPLEMENT_JOP(CScaleJop)

// A job whose operators live in a parameter file.
class CConvertJob : public CJob {
 public:
  explicit CConvertJob(const char* params) { m_arStrPairs.Add("params", params); }
  bool Validate() override { return m_arStrPairs.GetSize() == 1; }
  bool Run() override {
    CJopSet jops;
    if (!jops.Load(m_arStrPairs.GetAt(0).second)) return false;
    return RunJops(jops, "convert", m_args);
  }
  CJobArgs m_args;
};

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = argc > 1 ? argv[1] : (tmp ? tmp : "/tmp");
  const std::string path = dir + "/JobParameters.xml";

  // Feet to metres, then a datum shift: two operators of the name "convert".
  {
    CJopSet jops;
    auto* toMetres = static_cast<CScaleJop*>(jops.Get("convert", "1-units", "CScaleJop"));
    auto* datum = static_cast<CScaleJop*>(jops.Get("convert", "2-datum", "CScaleJop"));
    if (!toMetres || !datum) return 1;
    toMetres->m_factor = 0.3048;
    datum->m_offset = -12.5;
    if (!jops.Store(path.c_str())) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  std::printf("stored %s\n", path.c_str());

  CConvertJob job(path.c_str());
  job.m_args.AddArg("value", "m", "1000");
  if (!job.Validate() || !job.Run()) {
    std::fprintf(stderr, "the job failed\n");
    return 1;
  }
  // The operators ran in the set's order, units first here: (1000 * 0.3048) - 12.5.
  std::printf("value: %s %s\n", job.m_args.GetArgsz("value"), job.m_args.GetUnit("value"));

  CJopSet again;
  again.Load(path.c_str());
  for (POSITION pos = again.GetFirstPos("convert"); pos;) {
    CJop* op = again.GetNext(pos, "convert");
    CJobArgs params;
    op->GetArgs(params);
    std::printf("  %s.%s (%s): factor %s, offset %s\n", op->GetName(), op->GetType(), op->GetClassNameA(),
                params.GetArgsz("factor"), params.GetArgsz("offset"));
  }
  std::remove(path.c_str());
  return 0;
}
