#include "core/model/MonitoredQuantities.h"

namespace qx {

std::unique_ptr<MonitoredModuleValue> MakeMonitoredValue(int index) {
    if (index < 0 || index >= kMonitoredQuantityCount) return nullptr;
    const MonitoredQuantity& q = kMonitoredQuantities[static_cast<std::size_t>(index)];
    std::unique_ptr<MonitoredModuleValue> value;
    if (q.word) {
        value = std::make_unique<WordMonitoredModuleValue>();
    } else {
        value = std::make_unique<ByteMonitoredModuleValue>();
    }
    value->Setup(q.address0, q.address1, 0.0, q.min, q.max, q.minInternal, q.maxInternal, 0.0);
    return value;
}

}  // namespace qx
