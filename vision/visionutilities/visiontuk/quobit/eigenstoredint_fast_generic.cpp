// The specialised stored-integer engine for any processor.
#include "eigenstoredint_fast.h"

namespace quobit::storedint {

void runFastGeneric(const FastPlan& plan, const StoredIntData& d) {
    runFast(plan, d);
}

}  // namespace quobit::storedint
