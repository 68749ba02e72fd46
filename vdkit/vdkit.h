/// @file
/// vdkit: the umbrella header. Includes every public header of the library.
#pragma once

// platform
#include "vdkit/platform/archive.h"
#include "vdkit/platform/codepage.h"
#include "vdkit/platform/collections.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/dc.h"
#include "vdkit/platform/export.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/gdi.h"
#include "vdkit/platform/rect.h"
#include "vdkit/platform/resources.h"
#include "vdkit/platform/safe_file.h"
#include "vdkit/platform/tree_ctrl.h"
#include "vdkit/platform/types.h"
// window system: the interface, the window classes, the headless implementation
// (the X11 one is vdkit::x11's vdkit/platform/window_x11.h)
#include "vdkit/platform/window.h"
#include "vdkit/platform/window_headless.h"
#include "vdkit/platform/window_system.h"

// core
#include "vdkit/core/arrays.h"
#include "vdkit/core/date.h"
#include "vdkit/core/hash_map.h"
#include "vdkit/core/padded_string.h"
#include "vdkit/core/path.h"
#include "vdkit/core/string_sets.h"
#include "vdkit/core/text.h"
#include "vdkit/core/wildcard.h"

// file objects and archives
#include "vdkit/vdfile/file64.h"
#include "vdkit/vdfile/vd_archive.h"
#include "vdkit/vdfile/vdfile.h"

// xml
#include "vdkit/xml/string_archive.h"
#include "vdkit/xml/xml_archive.h"
#include "vdkit/xml/xml_parser.h"
#include "vdkit/xml/xml_var.h"

// table database
#include "vdkit/vdb/data_set.h"
#include "vdkit/vdb/field_set.h"
#include "vdkit/vdb/field_value.h"
#include "vdkit/vdb/table.h"
#include "vdkit/vdb/table_set.h"
#include "vdkit/vdb/table_view.h"

// section files
#include "vdkit/secfile/sec_file.h"

// data objects
#include "vdkit/dataobj/key_profile.h"
#include "vdkit/dataobj/mmx.h"
#include "vdkit/dataobj/rc_data.h"

// geometry, jobs, undo
#include "vdkit/geometry/geom_data.h"
#include "vdkit/geometry/polyline.h"
#include "vdkit/geometry/predicates.h"
#include "vdkit/geometry/region.h"
#include "vdkit/geometry/spline.h"
#include "vdkit/job/job.h"
#include "vdkit/job/job_args.h"
#include "vdkit/job/jop.h"
#include "vdkit/undo/undo.h"

// numerics
#include "vdkit/numeric/gridding.h"
#include "vdkit/numeric/linear.h"
#include "vdkit/numeric/matrix.h"

// coordinates and units
#include "vdkit/coord/coord_convert.h"
#include "vdkit/coord/coord_transform.h"
#include "vdkit/coord/unit_trans.h"

// interactive tracking and progress
#include "vdkit/geometry/tracking.h"
#include "vdkit/progress/progress.h"
#include "vdkit/progress/terminal_progress.h"
