// vdkit: the umbrella header. Includes every public header of the library.
#pragma once

// core
#include "vdkit/core/arrays.h"
#include "vdkit/core/date.h"
#include "vdkit/core/hash_map.h"
#include "vdkit/core/padded_string.h"
#include "vdkit/core/path.h"
#include "vdkit/core/text.h"
#include "vdkit/core/wildcard.h"

// platform
#include "vdkit/platform/archive.h"
#include "vdkit/platform/collections.h"
#include "vdkit/platform/cstring.h"
#include "vdkit/platform/export.h"
#include "vdkit/platform/file.h"
#include "vdkit/platform/resources.h"
#include "vdkit/platform/types.h"
