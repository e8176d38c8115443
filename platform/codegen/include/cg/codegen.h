// Everything a block's code generator uses: types, IR, facades, handles, contexts, the emitter.
#pragma once

#include "cg/corectx.h"
#include "cg/diagnostics.h"
#include "cg/dspcg.h"
#include "cg/emit_c.h"
#include "cg/facade.h"
#include "cg/handles.h"
#include "cg/ir.h"
#include "cg/tarncg.h"
#include "cg/type.h"
#include "cg/unit.h"
