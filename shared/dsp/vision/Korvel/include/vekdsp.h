// The DSP helper library as blocks see it: parameter readers and checkers, data-type queries and setters,
// run-time-parameter helpers, error reporting through the host's message catalogue, and allocators.
//
// Failures are reported the way the whole system does: the helper sets the host's error status (with a
// message class where one is named) and returns false / a sentinel. Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "qzarray.h"
#include "sysobj.h"

// Fixed-point block properties record filled by dspFxpBlockProp_SetSFunOrTuk.
struct fxpBlockProperties {
    int32_t isTuk;       // 1 when filled for a plug-in block
    int32_t simMode;     // the host's simulation mode at the time of filling
    int32_t dtOverride;  // the host's data-type override setting
    int32_t logging;     // the host's min/max/overflow logging setting
};

namespace VekSimCommon {

using sysobj::SysObjAdaptorSFun;

// Bits of the supported-type masks: bits 0..8 are the built-in ids (bit id).
enum : uint32_t {
    DSP_DT_SUPPORT_SIGNED_FIXPT = 1u << 9,
    DSP_DT_SUPPORT_UNSIGNED_FIXPT = 1u << 10,
    DSP_DT_SUPPORT_RESERVED_11 = 1u << 11,
    DSP_DT_SUPPORT_RESERVED_12 = 1u << 12,
    DSP_DT_SUPPORT_SCALED_DOUBLE = 1u << 13,
    DSP_DT_SUPPORT_FIXPT_WIDER_THAN_32 = 1u << 14,
};

enum DspPortDirection : int32_t { DSP_INPUT_PORT = 0, DSP_OUTPUT_PORT = 1 };

// ---- Errors and warnings (message classes of the host's catalogue; args fill the text's %s in order) ----
void dspError(SysObjAdaptorSFun* S, const char* messageClass, std::initializer_list<std::string> args = {});
void dspWarning(SysObjAdaptorSFun* S, const char* messageClass, std::initializer_list<std::string> args = {});
// The catalogue's English text of a message class or fragment with its arguments ("" if unknown).
std::string dspMessageText(const char* messageClass, std::initializer_list<std::string> args = {});

// ---- Parameters ---------------------------------------------------------------------------------------------
// Declares n dialog parameters; false (error set) when the user gave another number.
bool registerSFcnParams(SysObjAdaptorSFun* S, int32_t n);
// Whether parameter index holds a whole number in [lo, hi]; reports its own error when not.
bool dspIsPopupParamValid(SysObjAdaptorSFun* S, int32_t index, int32_t lo, int32_t hi);

// A dialog parameter with the message fragment that names it in errors.
class dspParam {
  public:
    dspParam(SysObjAdaptorSFun* S, int32_t index, const char* fragment);
    int32_t getNumberOfElements() const;
    bool isEmpty() const;
    bool isComplex() const;
    bool isDouble() const;
    bool isSingle() const;
    bool isFloat() const;  // double or single
    qzClassID getClassID() const;
    double getRealValueAsDouble(int32_t i = 0) const;
    double getImagValueAsDouble(int32_t i = 0) const;
    const qzArray_tag* getArray() const;
    const char* getFragment() const;
    int32_t getIndex() const;

  private:
    SysObjAdaptorSFun* S_;
    int32_t index_;
    const char* fragment_;
    const qzArray_tag* array_;
};

// Configurable parameter checker. Code tables (shape, class, rule) are documented in docs/decisions.md.
class dspParamCheckerID {
  public:
    explicit dspParamCheckerID(SysObjAdaptorSFun* S, int32_t productPrefix = 1);
    // Shape codes: 0 any, 1 scalar, 2 vector (1-D, row or column), 3 scalar or two-element vector,
    // 4 non-empty, 5 matrix (at most 2-D).
    dspParamCheckerID& setShape(int32_t shapeCode);
    dspParamCheckerID& setNumElements(int32_t n);  // exact element count; -1 switches it off
    dspParamCheckerID& setRealOnly(bool realOnly);
    // Class codes: 0 any numeric value, 1 whole numbers, 2 finite values, 3 whole numbers or Inf.
    dspParamCheckerID& setValueClassCheck(int32_t classCode);
    // Rule codes: 0 none, 1 x > lo, 2 x >= lo, 3 x < hi, 4 x <= hi, 5 x != lo, 6 lo < x < hi,
    // 7 lo <= x < hi, 8 lo < x <= hi, 9 lo <= x <= hi.
    dspParamCheckerID& setValueRule(int32_t ruleCode, double lo, double hi = 0.0);
    dspParamCheckerID& setValueRuleOff();
    // True when parameter index passes; otherwise reports an error naming the fragment, false.
    bool check(int32_t index, const char* fragment);

  private:
    SysObjAdaptorSFun* S_;
    int32_t productPrefix_;
    int32_t shape_ = 0;
    int32_t numElements_ = -1;
    bool realOnly_ = false;
    int32_t classCode_ = 0;
    int32_t rule_ = 0;
    double lo_ = 0.0;
    double hi_ = 0.0;
};

// ---- Data types ---------------------------------------------------------------------------------------------
int32_t dspGetDataTypeWordLength(SysObjAdaptorSFun* S,
                                 DataTypeId id);  // built-ins: 64, 32, 8, ..., boolean 1
int32_t dspGetDataTypeFracLength(SysObjAdaptorSFun* S, DataTypeId id);    // built-ins: 0
int32_t dspGetDataTypeSignedStatus(SysObjAdaptorSFun* S, DataTypeId id);  // 1 signed, 0 unsigned
bool isDataTypeSigned(SysObjAdaptorSFun* S, DataTypeId id);
int32_t dspGetDataTypeFxpWordLength(SysObjAdaptorSFun* S, DataTypeId id);  // integers too; float: 0
int32_t dspGetDataTypeFxpFracLength(SysObjAdaptorSFun* S, DataTypeId id);
bool dspGetDataTypeFxpIsSigned(SysObjAdaptorSFun* S, DataTypeId id);
bool dspIsDataTypeFixedPoint(SysObjAdaptorSFun* S, DataTypeId id);  // registered fixed-point id
bool dspIsDataTypeScaledDouble(SysObjAdaptorSFun* S, DataTypeId id);
bool dspIsDataTypeFloat(SysObjAdaptorSFun* S, DataTypeId id);  // double or single

// Fixed-point id for the attributes (registered on first use). overrideArg 0: as given; 1 or 2: the
// scaled-double id of that type when the host's data-type override is on. Errors: -1 with status set.
DataTypeId dspGetFixPtDataTypeIDFromAttribs(SysObjAdaptorSFun* S, int32_t isSigned, int32_t wordLength,
                                            int32_t fracLength, int32_t overrideArg);
void dspFxpBlockProp_SetSFunOrTuk(SysObjAdaptorSFun* S, fxpBlockProperties* props);
DataTypeId dspGetFixPtDataTypeIDFromAttribsLocal(SysObjAdaptorSFun* S, const fxpBlockProperties* props,
                                                 int32_t isSigned, int32_t wordLength, int32_t fracLength,
                                                 int32_t arg0, int32_t arg5);
// The scaled-double id built on a non-overridden id (built-in integer or fixed point); doubles stay.
DataTypeId dspGetScaledDoubleDTypeIdFromNonOverrideDTypeId(SysObjAdaptorSFun* S, DataTypeId id);

// Best-precision fraction length: the largest FL such that value fits a word of wordLength bits.
int32_t dspComputeBestPrecFracLength(double value, int32_t wordLength, int32_t isSigned);

bool dspSetInputPortFixpt(SysObjAdaptorSFun* S, int32_t port, int32_t wordLength, int32_t fracLength,
                          bool isSigned, bool allowOverride);
bool dspSetOutputPortFixpt(SysObjAdaptorSFun* S, int32_t port, int32_t wordLength, int32_t fracLength,
                           bool isSigned);

// Whether id is allowed by mask; reports an error naming the port (or portName) and the type when not.
bool dspIsDataTypeSupported(SysObjAdaptorSFun* S, DataTypeId id, int32_t productPrefix,
                            DspPortDirection direction, const char* portName, uint32_t mask,
                            int32_t flags = 0);
// Sets every input and output port still dynamically typed or of another type to id (double or single).
bool checkAndSetAllPortsToDblOrSngl(SysObjAdaptorSFun* S, DataTypeId id);

bool isInputComplex(SysObjAdaptorSFun* S, int32_t port);
bool isOutputComplex(SysObjAdaptorSFun* S, int32_t port);

// ---- Run-time parameters ----------------------------------------------------------------------------------------
// Converts double data to dataTypeId (round to nearest, saturate) and registers it as an RTP.
bool ConvertDTypeAndCreateRTP(SysObjAdaptorSFun* S, const double* data, int32_t nDims, const int32_t* dims,
                              DataTypeId dataTypeId, int32_t rtpIndex, const char* name);
void* GetRTPDataPtr(SysObjAdaptorSFun* S, int32_t rtpIndex);

// ---- Misc ----------------------------------------------------------------------------------------------------------
int32_t getNextPow2(int32_t x);  // smallest power of two >= x (1 for x <= 1)
void dspEnableTarn33PlusCodeGen(SysObjAdaptorSFun* S);

}  // namespace VekSimCommon

// Allocators for per-instance records: zeroed; dvFree is null-safe.
void* dvCalloc(size_t n, size_t size);
void dvFree(void* p);
