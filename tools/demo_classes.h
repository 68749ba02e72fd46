// The demo's client-style class: what a program built on the library adds to
// it, the way such a program would.
//
// CSurvey is a table set that also travels whole in object archives: the
// library's table set keeps its definitions and relations only in its own
// stream (WriteTables), so CSurvey writes that stream as its class data in a
// binary archive, and its definitions and relations as data elements in an
// XML document (the tables travel there as its children, each with its own
// body). Registered as "CSurvey".
//
//   CSurvey* survey = static_cast<CSurvey*>(disk.CreateFileA("Survey", "Database", "CSurvey"));
//   CArchive out(&file, CArchive::store);
//   out << disk;                                   // the class data hold the whole set
#pragma once

#include "vdkit/coord/unit_trans.h"
#include "vdkit/vdb/table_set.h"

class CSurvey : public CVdbTableSet {
  DECLARE_VDFILE(CSurvey)

 public:
  // Storing: a 32-bit length, then the table-set stream. Loading reads it
  // back; false (the record then counts as refused) when it is cut short or
  // does not read whole.
  bool Serialize(CArchive& ar) override;
  // Storing: <definitions> with each field set's XML form, then
  // <relations> with one <relation key= table= related= /> each. Loading
  // appends what those elements hold; true (missing parts are skipped).
  bool Serialize(CXmlArchive& ar) override;
};

// CUnitTable keeps a unit-conversion table (CUnitTrans) as a file object,
// as a program that stores one with its data would: its pairs and current
// factor as class data in a binary archive (CUnitTrans's own binary form),
// and as <unit from= to= factor= /> elements and a <factor> in XML.
// Registered as "CUnitTable".
class CUnitTable : public CVDFile {
  DECLARE_VDFILE(CUnitTable)

 public:
  bool Serialize(CArchive& ar) override;
  bool Serialize(CXmlArchive& ar) override;
  CUnitTrans m_units;
};

namespace vdtool {
// Makes sure the demo's classes are registered (their registry records live in
// a library the linker would otherwise leave out of programs that never name
// them).
void RegisterDemoClasses();
}  // namespace vdtool
