#pragma once
// The module's six calibration maps, in the document's index order. Each fixes
// its constants and embeds the live value that places the engine on its x axis.
// The map owns its live value.
#include "core/maps/ModuleMap.h"

namespace qx {

inline constexpr int kMapCount = 6;

// Index 0.
class CylinderOneSparkAdvanceMap final : public ModuleMap {
  public:
    CylinderOneSparkAdvanceMap();

  private:
    WordMonitoredModuleValue live_;
};

// Index 1.
class CylinderTwoSparkAdvanceMap final : public ModuleMap {
  public:
    CylinderTwoSparkAdvanceMap();

  private:
    WordMonitoredModuleValue live_;
};

// Index 2.
class VOESMap final : public ModuleMap {
  public:
    VOESMap();

  private:
    WordMonitoredModuleValue live_;
};

// Index 3.
class AccelerationAdvanceMap final : public ModuleMap {
  public:
    AccelerationAdvanceMap();

  private:
    ByteMonitoredModuleValue live_;
};

// Index 4.
class BaseDwellMap final : public ModuleMap {
  public:
    BaseDwellMap();

  private:
    ByteMonitoredModuleValue live_;
};

// Index 5.
class AccelerationDwellMap final : public ModuleMap {
  public:
    AccelerationDwellMap();

  private:
    ByteMonitoredModuleValue live_;
};

// Makes the map of index 0 .. 5 (null for any other index). The caller owns it.
std::unique_ptr<ModuleMap> MakeMap(int index);

}  // namespace qx
