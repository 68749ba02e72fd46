/// @file
/// CPolyline: the library's persistent line object, an ordered list of SFloat2D
/// points with a closed flag, living in a file-object tree like any CVDFile and
/// stored in XML documents by its own Serialize. Besides point editing it gives
/// a map editor's operations on lines: the bounding rectangle (GetMMX), removal
/// of near-duplicate neighbours (Trim), joining two lines end to end (Connect,
/// operator+=) and clipping by a region into pieces (Cut, operator&).
///
/// ```
/// CPolyline line;                         // open, empty
/// line.Add(SFloat2D{-5, 5});
/// line.Add(SFloat2D{15, 5});
/// CRegion square;                         // vdkit/geometry/region.h
/// for (SFloat2D v : {SFloat2D{0, 0}, {10, 0}, {10, 10}, {0, 10}}) square.Add(v);
/// CPolyPolyline inside;
/// line.Cut(square, inside);               // true: one piece, (0,5)-(10,5)
/// ```
///
/// Ownership: a polyline owns its point block. Copies (copy constructor,
/// operator=, Clone) copy the points, never share them; the copy constructor
/// makes a fresh, unnamed file object, operator= keeps the target's name and
/// type. Pieces that Cut adds to a collection belong to the collection.
///
/// Failure shows as false (Connect, Cut); nothing here throws. Index errors of
/// GetAt and SetAt are the caller's; operator[] never leaves the block (see it).
///
/// Invalidation: every call that adds points (operator+=, Add, InsertAt,
/// Connect, New, assignment, loading) may move the block; references from
/// GetAt and operator[] and the GetData pointer are then stale.
#pragma once

#include "vdkit/geometry/predicates.h"
#include "vdkit/platform/types.h"
#include "vdkit/vdfile/vdfile.h"

class CRegion;
class CPolyPolyline;
class CXmlArchive;

/// A bounding rectangle in float coordinates, fields in this order.
struct SFRect {
  float minx;  ///< least x
  float maxx;  ///< greatest x
  float miny;  ///< least y
  float maxy;  ///< greatest y
};

/// A line of points, registered as "CPolyline" (base CVDFile); CreateVDFile
/// makes an open, empty one. The binary Serialize is CVDFile's: a binary
/// archive stores no points of a polyline; the XML form holds them.
///
/// States: empty (no points; GetMMX leaves its rectangle alone, operator[]
/// answers a scratch point), open or closed. The closed flag changes what Trim
/// compares and what Serialize writes, nothing else.
///
/// Growth of the block, which GetCapacity shows: operator+= and Add grow it by
/// exactly one point when full, InsertAt by ten points when count + 1 reaches
/// the capacity, Connect sizes it to both counts plus two. Behind that figure
/// the block itself grows geometrically, so appending point by point stays
/// linear.
class VDKIT_API CPolyline : public CVDFile {
  DECLARE_VDFILE(CPolyline)

 public:
  // ---- Construction and copying ----------------------------------------------------
  /// Empty (capacity 0, no block) with the given closed flag.
  explicit CPolyline(bool bClosed = false);
  /// Empty with room for n points (New(n)) and the given closed flag.
  CPolyline(int n, bool bClosed);
  /// A fresh, unnamed file object with the source's points (capacity = count)
  /// and closed flag.
  CPolyline(const CPolyline& src);
  /// A closed polyline of the region's vertices (capacity = count).
  explicit CPolyline(const CRegion& src);
  /// Frees the point block, then the file-object part goes as every CVDFile's.
  ~CPolyline() override;

  /// The source's points (capacity = count) and closed flag; name and file
  /// type stay. Assigning a polyline to itself changes nothing.
  CPolyline& operator=(const CPolyline& src);
  /// The region's vertices; closed becomes true.
  CPolyline& operator=(const CRegion& src);
  /// A new object of this object's registered class with these points, closed
  /// flag, name and file type; the caller owns it. Null only when the class is
  /// no longer registered or is not a polyline.
  CPolyline* Clone();

  // ---- Points ------------------------------------------------------------------------
  /// Frees the block and allocates room for n points (n < 0 counts as 0);
  /// count 0.
  void New(int n);
  int GetSize() const { return m_nCount; }  ///< the number of points
  /// Count 0; the block is kept.
  void Empty() { m_nCount = 0; }
  /// The closed flag (see the class).
  ///@{
  bool IsClosed() const { return m_bClosed; }
  void SetClosed(bool bClosed) { m_bClosed = bClosed; }
  ///@}
  /// The point at the index; 0 <= index < count is the caller's to ensure.
  ///@{
  SFloat2D& GetAt(int nIndex) { return m_pPoints[nIndex]; }
  const SFloat2D& GetAt(int nIndex) const { return m_pPoints[nIndex]; }
  void SetAt(int nIndex, const SFloat2D& pt) { m_pPoints[nIndex] = pt; }
  ///@}
  /// The point at index modulo count, so that index count designates the first
  /// point of a ring. Negative indices count from the end (-1 is the last
  /// point). An empty polyline answers a scratch point of this object, (0, 0)
  /// on each call, so that no caller ever reads or writes outside the block.
  SFloat2D& operator[](int nIndex);
  /// Appends; a full block grows by one point.
  void operator+=(const SFloat2D& pt);
  /// Appends and answers the new count.
  int Add(const SFloat2D& pt);
  /// Inserts before the index; a negative index does nothing, an index beyond
  /// count appends. When count + 1 reaches the capacity, the capacity first
  /// grows by 10.
  void InsertAt(int nIndex, const SFloat2D& pt);
  /// Removes the point at 0 <= index < count (later points move down); other
  /// indices do nothing. The block is kept.
  void RemoveAt(int nIndex);

  // ---- Geometry ----------------------------------------------------------------------
  /// Sets rc to the points' bounding rectangle; leaves it alone when empty.
  void GetMMX(SFRect& rc) const;
  /// Removes near-duplicate neighbours: of two neighbours whose squared
  /// distance is at most tol * tol (in single precision) the earlier goes, and
  /// the same place is compared again. A closed polyline also compares its last
  /// point with its first. Fewer than three points: nothing changes.
  void Trim(float tol);
  /// Joins pOther to this line at the nearest pair of end points. The squared
  /// distance of that pair is compared with tol itself (tol is not squared).
  /// The result holds both lines in full (joined ends both kept): this line
  /// reversed or forward, then the other reversed or forward, whichever puts
  /// the nearest ends together; the capacity becomes both counts plus two.
  /// False, nothing changed, when either line has fewer than two points,
  /// pOther is null or this line, or the ends are farther apart than tol.
  bool Connect(const CPolyline* pOther, float tol);
  /// Connect whatever the distance (tolerance 9.99e20).
  bool operator+=(const CPolyline& other);
  /// Clips this line by the region. `pieces` is emptied with DeleteAll (which
  /// records in its undo manager when that is on) and receives the parts of
  /// the line that lie inside the region, in order along the line, as open
  /// polylines whose capacity equals their count. Crossings exactly at an end
  /// of a segment or an edge are not found (open ranges), and a piece counts as
  /// inside when its middle point does (PtInRgn: edges count as inside).
  /// Answers whether any crossing was found; without one, the whole line is
  /// the one piece when its middle point is inside, and there is none else.
  bool Cut(const CRegion& region, CPolyPolyline& pieces) const;
  /// Cut into a temporary collection; answers a copy of it.
  CPolyPolyline operator&(const CRegion& region) const;

  // ---- Persistence -------------------------------------------------------------------
  /// Storing: a "polyline" element with the count attribute, closed='true' when
  /// closed, and one `<a x='%f' y='%f' />` line per point. Loading: the points
  /// of the "polyline" child element's children (each with x and y) are
  /// appended, and its closed attribute, when present, sets the flag. True.
  bool Serialize(CXmlArchive& ar) override;
  using CVDFile::Serialize;

  // ---- vdkit extensions --------------------------------------------------------------
  /// How many points the block holds before it must grow (see the class).
  int GetCapacity() const { return m_nCapacity; }
  /// The points, contiguous; null in a polyline that never allocated.
  const SFloat2D* GetData() const { return m_pPoints; }

 private:
  /// Makes the capacity nNewCapacity, keeping the points; the block grows
  /// geometrically underneath when bAmortise is set.
  void Grow(int nNewCapacity, bool bAmortise);
  void Assign(const SFloat2D* pts, int n);

  int m_nCapacity = 0;
  int m_nCount = 0;
  SFloat2D* m_pPoints = nullptr;
  bool m_bClosed = false;
  int m_nAllocated = 0;           ///< points the block can hold (>= capacity)
  SFloat2D m_ptScratch = {0, 0};  ///< what operator[] answers on an empty line
};

// Regions and the collections complete this header's interface (Cut and
// operator& work with them), so users of either header get both.
#include "vdkit/geometry/region.h"
