// The fixed-point number library as blocks and tools see it (namespace VekDSPFixpt):
//   DSPDataAttributesHandle  value, product and accumulator types, rounding and overflow codes, labels
//   FixptFactory             makes Fixpt objects over existing data or free-standing
//   Fixpt                    a number object with exact arithmetic quantised into its type
//   Fltpt<T>                 the same operations over float/double, for one kernel template of both
//   StoredMac                multiply-accumulate lines on stored integers, bit for bit the objects' result
//   LogRecord, LogRegistry   min/max/overflow logging, merged by label
// fxpGetDataTypePropertiesDefault() (fxpprops.h) is implemented by this library too.
#pragma once

#include "fxpprops.h"
#include "vekfixpt_attributes.h"
#include "vekfixpt_factory.h"
#include "vekfixpt_fltpt.h"
#include "vekfixpt_log.h"
#include "vekfixpt_mac.h"
#include "vekfixpt_number.h"
#include "vekfixpt_types.h"
