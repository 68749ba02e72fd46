// Feeds arbitrary bytes to the parameter-file reader of an operator set that
// already holds an operator, with one registered operator class whose
// parameters are a number and a text; then stores the set and reads that
// back: the same operators must come back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vdkit/job/job_args.h"
#include "vdkit/job/jop.h"
#include "vdkit/platform/file.h"
#include "vdkit/xml/xml_archive.h"

namespace {

class CFuzzJop : public CJop {
  DECLARE_JOP(CFuzzJop)
  void GetArgs(CJobArgs& args) const override { args.AddArgFmt("n", "", "%d", m_n); }
  bool Serialize(CXmlArchive& ar) override {
    CXmlVar n("n", m_n);
    CXmlVar text("text", m_text);
    static_cast<void>(ar == text);  // optional
    static_cast<void>(ar == n);
    return true;
  }
  bool Run(CJobArgs&) override { return true; }
  int m_n = 0;
  CString m_text;
};
IMPLEMENT_JOP(CFuzzJop)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CJopSet set;
  set.Get("keep", "me", "CFuzzJop");
  {
    CMemFile in(const_cast<BYTE*>(data), static_cast<UINT>(size));
    set.Load(&in);
  }
  CMemFile out;
  set.Store(&out);
  std::string text(reinterpret_cast<const char*>(out.GetData()), static_cast<size_t>(out.GetLength()));
  CMemFile again(reinterpret_cast<BYTE*>(&text[0]), static_cast<UINT>(text.size()));
  CJopSet copy;
  if (!copy.Load(&again) || copy.GetCount() != set.GetCount()) std::abort();
  return 0;
}
