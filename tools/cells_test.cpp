// Value cells and the CSV form of tables.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <string>

#include "cells.h"
#include "compare.h"
#include "csv.h"
#include "tool.h"
#include "vdkit/vdb/table.h"

namespace vdtool {
namespace {

std::vector<BYTE> Bytes(const std::string& text) {
  return std::vector<BYTE>(text.begin(), text.end());
}

// The failure message of ReadCsv, or "" when it read the text.
std::string CsvError(const std::string& text, double memoryBudget = 0) {
  try {
    ReadCsv("t.csv", Bytes(text), "T", memoryBudget);
  } catch (const Failure& f) {
    EXPECT_EQ(f.status, kExitBadFile);
    return f.message;
  }
  return "";
}

template <typename T>
void Put(CVdbTable& t, const char* field, T v) {
  std::memcpy(t.GetFieldVaptr(field), &v, sizeof v);
}

// A table with one field of every type and values at the awkward ends.
std::unique_ptr<CVdbTable> EveryType() {
  auto t = std::make_unique<CVdbTable>();
  t->SetName("T");
  for (const char* def :
       {"B:BOOL", "Y:BYTE", "C:CHAR", "S:SHORT", "L:LONG", "F:FLOAT", "I:DATAID", "D:DOUBLE", "C8:CHAR8",
        "C16:CHAR16", "T:DATE", "STR:STRING*6", "BIN:BINARY*3", "V:FLOAT*2"})
    t->AddField(def, 0, 1);
  t->AddNew();  // a new record as it stands: null markers and zeros

  t->AddNew();
  Put<BYTE>(*t, "B", 1);
  Put<BYTE>(*t, "Y", 255);
  Put<char>(*t, "C", 'x');
  Put<int16_t>(*t, "S", INT16_MIN);
  Put<int32_t>(*t, "L", INT32_MIN);
  Put<float>(*t, "F", FLT_MAX);
  Put<uint32_t>(*t, "I", UINT32_MAX);
  Put<double>(*t, "D", -0.0);
  std::memcpy(t->GetFieldVaptr("C8"), "12345678", 8);  // full: no terminator
  std::memcpy(t->GetFieldVaptr("C16"), "a,b \"c\" d", 9);
  t->SetFieldValue("T", "2004-03-07");
  Put<float>(*t, "T", 0.25f);  // the fraction comes first in a DATE
  std::memcpy(t->GetFieldVaptr("STR"), " lead", 5);
  std::memcpy(t->GetFieldVaptr("BIN"), "\x00\xff\x10", 3);
  const float v[2] = {1e-45f, -1.5f};  // the smallest denormal
  std::memcpy(t->GetFieldVaptr("V"), v, sizeof v);

  t->AddNew();
  Put<float>(*t, "F", 0.1f);
  Put<double>(*t, "D", 0.1);
  std::memcpy(t->GetFieldVaptr("C16"), "ABCDEFGHIJKLMNOP", 16);
  t->SetFieldValue("T", "1900-01-01");
  std::memcpy(t->GetFieldVaptr("STR"), "a\nb", 3);
  Put<float>(*t, "V", 0.0f);
  return t;
}

// The CSV of EveryType(), worked out by hand from the cell rules.
const char kEveryTypeCsv[] =
    // @id first; each field its definition; V has two values, so a second column V#2.
    "@id,B:BOOL,Y:BYTE,C:CHAR,S:SHORT,L:LONG,F:FLOAT,I:DATAID,D:DOUBLE,C8:CHAR8,C16:CHAR16,T:DATE,"
    "STR:STRING*6,BIN:BINARY*3,V:FLOAT*2,V#2\n"
    // A new record: FLOAT and DOUBLE hold the null marker (empty cells) in
    // their first value only, so V#2 is a plain 0; texts, dates and bytes are zero.
    "1,0,0,,0,0,,0,,,,,,,,0\n"
    // Extremes: FLT_MAX in shortest form, -0 kept, a full CHAR8, a quoted text
    // with doubled quotes, a date with its fraction, a leading blank quoted,
    // hex bytes, the smallest denormal.
    "2,1,255,x,-32768,-2147483648,3.4028235e+38,4294967295,-0,12345678,\"a,b \"\"c\"\" d\",2004-03-07+0.25,"
    "\" lead\",00ff10,1e-45,-1.5\n"
    // 0.1 as float and as double both print as 0.1; a full CHAR16; a line
    // feed inside a quoted cell; V set to 0 is no longer null.
    "3,0,0,,0,0,0.1,0,0.1,,ABCDEFGHIJKLMNOP,1900-01-01,\"a\nb\",,0,0\n";

TEST(CsvTest, GoldenTextOfEveryTypeAndBack) {
  std::unique_ptr<CVdbTable> t = EveryType();
  std::string inexact = "unset";
  EXPECT_EQ(WriteCsv(*t, "t.tv10", &inexact), kEveryTypeCsv);
  EXPECT_EQ(inexact, "");
  std::unique_ptr<CVdbTable> back = ReadCsv("t.csv", Bytes(kEveryTypeCsv), "T");
  std::string diff;
  EXPECT_TRUE(SameRecords(*t, *back, &diff)) << diff;
  EXPECT_EQ(back->GetMaxID(), 3u);
}

TEST(CsvTest, IdentifiersAndTheLastIdentifier) {
  CVdbTable t;
  t.AddField("A:LONG", 0, 1);
  t.AddNew();
  t.AddNew();
  t.DeleteRecord();  // identifier 2 was issued: the next new record gets 3
  EXPECT_EQ(WriteCsv(t, "t", nullptr), "@id=2,A:LONG\n1,0\n");
  EXPECT_EQ(ReadCsv("t.csv", Bytes("@id=2,A:LONG\n1,0\n"), "T")->GetMaxID(), 2u);

  // Without an identifier column, records are numbered in row order; CRLF
  // line ends and a byte-order mark are read too.
  std::unique_ptr<CVdbTable> plain = ReadCsv("t.csv",
                                             Bytes("\xEF\xBB\xBF"
                                                   "A:LONG,B\r\n5,1.5\r\n7,\r\n"),
                                             "T");
  ASSERT_EQ(plain->GetRecordCount(), 2);
  EXPECT_EQ(plain->GetRecordAt(1)->m_nID, 2u);
  EXPECT_EQ(plain->GetDataType(1), VDB_FLOAT);  // a definition without a type is FLOAT
  plain->MoveTo(1);
  EXPECT_EQ(plain->Long("A"), 7);
  EXPECT_TRUE(plain->IsFieldEmpty(1, false));
  // Identifiers in any order: the last identifier is the largest.
  EXPECT_EQ(ReadCsv("t.csv", Bytes("@id,A:LONG\n100,1\n5,2\n"), "T")->GetMaxID(), 100u);
}

TEST(CsvTest, ReaderNamesLineAndColumnOfWhatIsWrong) {
  const struct {
    const char* text;
    const char* message;
  } rows[] = {
      {"", "empty file"},
      {"@id\n", "the header row defines no fields"},
      {"@id,A:NOPE\n", "line 1, column 2: unknown type 'NOPE'"},
      {"@id,A*0\n", "line 1, column 2: the count in 'A*0' is not a whole number of at least 1"},
      {"@id,D:DOUBLE*3,D#2\n", "field 'D' has 3 values, but the header ends before its 3 columns"},
      // Refused before a column is planned: the plan once took 72 GB.
      {"A:BYTE*999999999\n",
       "field 'A' has 999999999 values, but the header ends before its 999999999 columns"},
      {"@id,A:LONG\n1,2,3\n", "line 2: 3 cells where the header has 2"},
      {"@id,A:LONG\n1,x\n", "line 2, column A: 'x' is not a whole number"},
      {"@id,S:STRING*4\n1,\"ab\n", "line 2: a quoted cell is not closed"},
      // A line feed inside quotes counts: the bad row starts on line 4.
      {"@id,S:STRING*4\n1,\"a\nb\"\n2,\"toolong\"\n", "line 4, column S: 'toolong' is longer"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Printable(row.text));
    const std::string message = CsvError(row.text);
    EXPECT_NE(message.find(row.message), std::string::npos) << message;
    EXPECT_EQ(message.rfind("t.csv: ", 0), 0u) << message;
  }
  // A name with a zero byte would be cut where the table keeps it, and the
  // table would write a header that does not read back.
  EXPECT_NE(CsvError(std::string("A\0B\n", 4)).find("column 1: the field name 'A\\x00B' holds a zero byte"),
            std::string::npos);
  // Every row takes the header's whole width, so 26 bytes once asked for
  // 411 MB a row: refused at the row that passes the memory there is.
  const std::string wide = "S:STRING*1000\n1\n2\n3\n";
  EXPECT_EQ(ReadCsv("t.csv", Bytes(wide.substr(0, 18)), "T", 2500)->GetRecordCount(), 2);
  EXPECT_NE(CsvError(wide, 2500).find("line 4: the records up to here need 3.0 KB of memory (1.0 KB each"),
            std::string::npos)
      << CsvError(wide, 2500);
}

TEST(CsvTest, EveryCutOfTheGoldenTextReadsOrFailsCleanly) {
  const std::string text = kEveryTypeCsv;
  for (size_t n = 0; n < text.size(); ++n) {
    const std::string message = CsvError(text.substr(0, n));
    // A cut at a line end is a shorter table; anywhere else the last row is
    // short of cells or an unclosed quote (or, inside a number, another value).
    if (!message.empty()) {
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
  }
}

TEST(CellTest, ParseRefusesWhatIsNotAValueAndLeavesTheBytes) {
  const struct {
    BYTE type;
    int size;
    const char* text;
    const char* why;  // null: accepted
  } rows[] = {
      {VDB_LONG, 4, "12.5", "is not a whole number"},
      {VDB_LONG, 4, "2147483648", "is outside -2147483648 .. 2147483647"},
      {VDB_BYTE, 1, "-1", "is outside 0 .. 255"},
      {VDB_DATAID, 4, "4294967296", "is outside"},
      {VDB_FLOAT, 4, "abc", "is not a number"},
      {VDB_FLOAT, 4, "1e999", "is out of range"},
      {VDB_CHAR8, 8, "123456789", "is longer than the field's 8 bytes"},
      {VDB_DATE, 8, "2004/03/07", "is not a date"},
      {VDB_DATE, 8, "2004-03-07+x", "has no readable time of day"},
      {VDB_DATE, 8, "2004-03-7.5", nullptr},  // the library's own text form
      {VDB_BINARY, 3, "zz", "is not hex digits"},
      {VDB_BINARY, 3, "00112233", "3 bytes or fewer"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    Column c;
    c.type = row.type;
    c.size = row.size;
    BYTE data[16];
    std::memset(data, 0xAB, sizeof data);
    std::string why;
    const bool ok = ParseCell(c, row.text, data, &why);
    EXPECT_EQ(ok, row.why == nullptr) << why;
    if (!ok) {
      EXPECT_NE(why.find(row.why), std::string::npos) << why;
      for (const BYTE b : data) EXPECT_EQ(b, 0xAB);
    }
  }
  // The day with a fraction reads as day 7 and half a day.
  Column date;
  date.type = VDB_DATE;
  date.size = 8;
  SDateTime t{};
  std::string why;
  ASSERT_TRUE(ParseCell(date, "2004-03-7.5", reinterpret_cast<BYTE*>(&t), &why));
  EXPECT_EQ(t.date.day, 7);
  EXPECT_EQ(t.fraction, 0.5f);
}

}  // namespace
}  // namespace vdtool
