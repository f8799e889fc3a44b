// The table file formats in one include: .tbl and text readers and
// writers, the key hash and the colour-code macros.
#pragma once

#include "formats/ColorMacros.h"
#include "formats/EntryCallbacks.h"
#include "formats/FormatOptions.h"
#include "formats/TblFile.h"
#include "formats/TextTable.h"
