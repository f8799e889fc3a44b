// The table file formats in one include: .tbl and text readers and
// writers, the key hash and the colour-code macros.
#pragma once

#include "ColorMacros.h"
#include "FormatOptions.h"
#include "TableEntry.h"
#include "TblFile.h"
#include "TextTable.h"
