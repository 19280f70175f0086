#include "core/monitor/LiveSource.h"

namespace qx {

LiveSource::~LiveSource() = default;

}  // namespace qx
