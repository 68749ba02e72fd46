// Equality of what the file forms carry, with the first difference in words:
// the demo checks with these that every form it wrote reads back equal, and
// convert that its output holds everything.
//
//   std::string diff;
//   if (!SameTable(a, b, &diff)) puts(diff.c_str());   // "record 3, field T: 1.5 / 2"
//
// Each function returns true when equal; otherwise false with `diff` set.
#pragma once

#include <string>

class CVDFile;
class CVdbTable;
class CVdbTableSet;
class CVdbDataSet;
class CVdbFieldSet;
class CKeyStringArraySet;

namespace vdtool {

// Which parts of a field set count: the set's name and label, and the
// fields' units (the binary forms of fields have no place for a unit).
struct FieldParts {
  bool names = true;
  bool units = true;
};
// Every field attribute but the offset and hash, in order, and the parts asked for.
bool SameFields(const CVdbFieldSet& a, const CVdbFieldSet& b, FieldParts parts, std::string* diff);
// The layout (field names, types and counts), record identifiers, record
// data (bytes) and the last identifier; not the fields' other attributes.
bool SameRecords(CVdbTable& a, CVdbTable& b, std::string* diff);
// Tables (by name, fields and records), definitions and relations, in order.
bool SameTableSet(CVdbTableSet& a, CVdbTableSet& b, bool units, std::string* diff);
// Name, every value of every kind, and the value limits.
bool SameDataSet(CVdbDataSet& a, CVdbDataSet& b, std::string* diff);
bool SameKeyStrings(CKeyStringArraySet& a, CKeyStringArraySet& b, std::string* diff);

// What a tree carries, object by object in pre-order: class, named flag,
// name, type, children, and with `blobs` the data blob; the content of the
// kinds the program knows (tables, table sets) with `content`; the points
// and closed flag of polylines with `lines` (a binary archive keeps none).
struct TreeParts {
  bool blobs = true;
  bool content = true;
  bool units = true;
  bool lines = true;
};
bool SameTree(CVDFile& a, CVDFile& b, TreeParts parts, std::string* diff);

}  // namespace vdtool
