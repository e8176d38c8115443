// The specialised stored-integer engine compiled for 256-bit vector units (integer steps: the same bits).
#include "eigenstoredint_fast.h"

namespace quobit::storedint {

void runFastAvx2(const FastPlan& plan, const StoredIntData& d) {
    runFast(plan, d);
}

}  // namespace quobit::storedint
