// The XML body of CVdbTable: a head with the field set, then one line of
// comma-separated values per record.
//
//   <head>
//   <Wells a='Well list'>
//   <Depth type='float64' />
//   <Name type='string' count='8' />
//   </Wells>
//   </head>
//   <rec count=2 maxid='2'>
//   <r>1,12.5,W-1</r>
//   <r>2,,"a,b"</r>
//   </rec>
//
// Values that would not survive the plain comma form (commas, quote marks,
// blanks or control characters at the ends) are written in double quotes
// with inner quotes doubled; & < > are written as entities. Unquoted lines
// of earlier writers read as they always did.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vdkit/vdb/date_text_internal.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdb/xml_text_internal.h"
#include "vdkit/xml/xml_archive.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether a value must be quoted to read back as it is.
bool NeedsQuotes(const CString& text) {
  if (text.IsEmpty()) return false;
  const std::string& s = text.str();
  if (IsBlank(s.front()) || IsBlank(s.back())) return true;
  for (char c : s)
    if (c == ',' || c == '"' || c == '\'' || static_cast<unsigned char>(c) < 0x20) return true;
  return false;
}

void AppendPiece(CString& line, const CString& text) {
  line += ',';
  if (!NeedsQuotes(text)) {
    detail::AppendXmlEscaped(line.str(), text, false);
    return;
  }
  CString quoted = "\"";
  for (char c : text.str()) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  detail::AppendXmlEscaped(line.str(), quoted, false);
}

// The pieces of a record line. A piece that starts (after blanks) with a
// double quote and has its closing quote before the next comma or the end is
// taken verbatim, with doubled quotes made single; any other piece runs to
// the next comma and loses surrounding blanks, one leading quote mark and
// trailing quote marks, as lines were always read. Every piece counts, an
// empty last one included.
std::vector<CString> SplitPieces(const char* value) {
  std::vector<CString> pieces;
  const char* p = value ? value : "";
  for (;;) {
    const char* q = p;
    while (*q == ' ' || *q == '\t') ++q;
    bool done = false;
    if (*q == '"') {
      CString text;
      const char* i = q + 1;
      for (; *i; ++i) {
        if (*i == '"') {
          if (i[1] != '"') break;
          ++i;
        }
        text += *i;
      }
      if (*i == '"') {
        const char* j = i + 1;
        while (*j == ' ' || *j == '\t') ++j;
        if (*j == ',' || *j == '\0') {
          pieces.push_back(text);
          p = j;
          done = true;
        }
      }
    }
    if (!done) {
      const char* end = std::strchr(p, ',');
      if (!end) end = p + std::strlen(p);
      const char* b = p;
      const char* e = end;
      while (b < e && IsBlank(*b)) ++b;
      if (b < e && (*b == '"' || *b == '\'')) ++b;
      while (e > b && (IsBlank(e[-1]) || e[-1] == '"' || e[-1] == '\'')) --e;
      pieces.push_back(CString(b, static_cast<int>(e - b)));
      p = end;
    }
    if (*p != ',') break;
    ++p;
  }
  return pieces;
}

// The fraction's digits after "0." that read back (as atof of "0.digits"
// rounded to float) to exactly `f`; empty when there are none.
CString FractionDigits(float f) {
  if (!(f > 0 && f < 1)) return CString();
  char buf[64];
  for (int decimals = 1; decimals <= 50; ++decimals) {
    std::snprintf(buf, sizeof buf, "%.*f", decimals, static_cast<double>(f));
    if (std::strncmp(buf, "0.", 2) != 0) continue;
    if (static_cast<float>(std::atof(buf)) != f) continue;
    CString digits(buf + 2);
    digits.TrimRight('0');
    return digits.IsEmpty() ? CString("0") : digits;
  }
  return CString();
}

// A date as text that reads back to the same eight bytes: the usual form,
// but with day, month or year 0 kept, and with all the digits the fraction
// needs.
CString DateText(const BYTE* p) {
  SDateTime dt;
  std::memcpy(&dt, p, sizeof dt);
  static const BYTE zero[8] = {};
  CString text;
  if (std::memcmp(p, zero, 8) == 0) return text;
  if (dt.fraction == 0) {
    text.Format("%d-%02d-%02d", dt.date.year, dt.date.month, dt.date.day);
    return text;
  }
  const CString digits = FractionDigits(dt.fraction);
  if (digits.IsEmpty())
    text.Format("%d-%02d-%g", dt.date.year, dt.date.month, static_cast<double>(dt.date.day + dt.fraction));
  else
    text.Format("%d-%02d-%d.%s", dt.date.year, dt.date.month, dt.date.day, digits.GetString());
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool CVdbTable::Serialize(CXmlArchive& ar) {
  if (ar.IsStoring())
    WriteXml(ar);
  else
    ReadXml(ar);
  return true;
}

void CVdbTable::WriteXml(CXmlArchive& ar) {
  ar << "<head>\n";
  m_FieldSet.Serialize(ar);
  ar << "</head>\n";
  // Written also without records, so that the fields and the last
  // identifier come back.
  CString line;
  line.Format("<rec count='%d' maxid='%u'>\n", GetRecordCount(), static_cast<unsigned>(m_nMaxID));
  ar << line.GetString();
  const int fields = GetFieldCount();
  SVdbRecord* const saved = m_pRecord;
  CString text;
  for (SVdbRecord* r : m_arRecords) {
    m_pRecord = r;
    line.Format("<r>%u", static_cast<unsigned>(r->m_nID));
    for (int i = 0; i < fields; ++i) {
      int size = 0;
      const BYTE* p = FieldData(r, i, &size);
      const int type = GetField(i)->m_nType;
      text.Empty();
      if (type == VDB_FLOAT && size >= 4) {
        float f;
        std::memcpy(&f, p, 4);
        if (!IsVdbNull(f)) text = detail::FloatText(f);
      } else if (type == VDB_DOUBLE && size >= 8) {
        double d;
        std::memcpy(&d, p, 8);
        if (!IsVdbNull(d)) text = detail::DoubleText(d);
      } else if (type == VDB_DATE && size >= 8) {
        text = DateText(p);
      } else if (type == VDB_BINARY) {
        int used = size;
        while (used > 0 && p[used - 1] == 0) --used;
        for (int k = 0; k < used; ++k) text.AppendFormat("%02x", p[k]);
      } else {
        GetFieldValue(i, text, -1);
      }
      AppendPiece(line, text);
    }
    // Without fields a line still needs two pieces to count as a record.
    if (fields == 0) line += ',';
    line += "</r>\n";
    ar << line.GetString();
  }
  m_pRecord = saved;
  ar << "</rec>\n";
}

void CVdbTable::ReadXml(CXmlArchive& ar) {
  CXmlItem* item = ar.GetXmlItem();
  if (!item) return;
  // The head alone is enough for the fields: earlier writers left out the
  // record list of a table without records.
  if (CXmlItem* head = item->GetChild("head")) {
    CXmlArchive headAr(ar, head);
    if (CXmlItem* set = head->GetChild(0)) {
      CXmlArchive setAr(headAr, set);
      m_FieldSet.Serialize(setAr);
    }
  }
  CXmlItem* rec = item->GetChild("rec");
  if (!rec) return;
  if (const char* maxid = rec->GetA("maxid")) m_nMaxID = static_cast<DWORD>(std::strtoll(maxid, nullptr, 10));
  const int fields = GetFieldCount();
  const size_t recordBytes = static_cast<size_t>(m_FieldSet.m_nRecordSize) + 8;
  // Records are fixed-size blocks however short their lines are: the bytes
  // allocated stay within a generous multiple of the text that asks for them.
  size_t textBytes = 0;
  size_t allocated = 0;
  for (int i = 0; i < rec->GetCount(); ++i) {
    const char* value = rec->GetChild(i)->GetValue();
    const std::vector<CString> pieces = SplitPieces(value);
    if (pieces.size() < 2) continue;
    textBytes += std::strlen(value) + 8;
    if (allocated + recordBytes > (size_t{64} << 20) + 4096 * textBytes) break;
    allocated += recordBytes;
    SVdbRecord* r = AllocRecord();
    std::memset(r, 0, recordBytes);
    r->m_nID = static_cast<DWORD>(std::strtoll(pieces[0], nullptr, 10));
    if (r->m_nID > m_nMaxID) m_nMaxID = r->m_nID;
    m_arRecords.push_back(r);
    m_pRecord = r;
    m_nCursor = GetRecordCount() - 1;
    const int given = std::min(fields, static_cast<int>(pieces.size()) - 1);
    for (int f = 0; f < given; ++f) {
      const CString& piece = pieces[static_cast<size_t>(f) + 1];
      const int type = GetField(f)->m_nType;
      int size = 0;
      BYTE* p = FieldData(r, f, &size);
      if (type == VDB_BINARY) {
        for (int k = 0; k < size && 2 * k + 1 < piece.GetLength(); ++k) {
          const int hi = HexValue(piece[2 * k]);
          const int lo = HexValue(piece[2 * k + 1]);
          if (hi < 0 || lo < 0) break;
          p[k] = static_cast<BYTE>(hi << 4 | lo);
        }
      } else if (type == VDB_DATE && size >= 8) {
        const SDateTime dt = detail::ParseDateText(piece, static_cast<size_t>(piece.GetLength()));
        std::memcpy(p, &dt, 8);
      } else {
        SetFieldValue(f, piece);
      }
    }
  }
  RecordsChanged();
}
