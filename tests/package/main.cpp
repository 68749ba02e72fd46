#include <cstdio>
#include <vector>

#include <vdkit/vdkit.h>

int main() {
  CString s;
  s.Format("%s %d", "vdkit", 1);
  CMemFile mem;
  CArchive ar(&mem, CArchive::store);
  ar << s;
  ar.Close();
  if (mem.GetLength() != 8 || MulDiv(3, 5, 2) != 8) return 1;
  SGridLattice grid = SGridLattice::Regular(0, 1, 2, 0, 1, 2, 0.0f);
  if (!DistanceGrid(std::vector<SFloat3D>{{0, 0, 2}}, grid) || grid.At(1, 1) != 2.0f) return 1;
  std::printf("vdkit consumer ok\n");
  return 0;
}
