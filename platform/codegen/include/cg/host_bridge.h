// From a started host block instance to a generation unit: ports, work vectors and run-time parameters
// (with the values the simulation holds), and the host's data types as IR types.
#pragma once

#include <memory>
#include <string>

#include "cg/tarncg.h"
#include "dravo/host/engine.h"

namespace TarnCG {

CG::Type typeFromHostId(int32_t dataTypeId);
CG::DataTypeResolver hostTypeResolver();
// The block must have been started (DWorks and RTPs exist). instanceName names the unit.
CG::BlockDesc describeBlock(dravo::host::Block& block, const std::string& instanceName,
                            const std::string& blockType);
std::unique_ptr<CGHandle> makeHandle(dravo::host::Block& block, const std::string& instanceName,
                                     const std::string& blockType, std::shared_ptr<CG::Pool> pool = nullptr);

}  // namespace TarnCG
