#include "core/model/ModulePicture.h"

namespace qx {

std::vector<uint8_t> ModulePicture::Held(uint16_t address, std::size_t count) const {
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i < count; ++i) {
        const auto it = bytes_.find(static_cast<uint16_t>(address + i));
        if (it == bytes_.end()) return {};
        out.push_back(it->second.held);
    }
    return out;
}

std::vector<uint8_t> ModulePicture::Agreed(uint16_t address, std::size_t count) const {
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i < count; ++i) {
        const auto it = bytes_.find(static_cast<uint16_t>(address + i));
        if (it == bytes_.end() || it->second.agreed < 0) return {};
        out.push_back(static_cast<uint8_t>(it->second.agreed));
    }
    return out;
}

void ModulePicture::Written(uint16_t address, uint8_t b) {
    bytes_[address] = Byte{b, b};
}

void ModulePicture::Read(uint16_t address, const std::vector<uint8_t>& held,
                         const std::vector<uint8_t>& agreed) {
    const bool hasAgreed = agreed.size() == held.size();
    for (std::size_t i = 0; i < held.size(); ++i) {
        bytes_[static_cast<uint16_t>(address + i)] = Byte{held[i], hasAgreed ? agreed[i] : -1};
    }
}

void ModulePicture::Forget(uint16_t address, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) bytes_.erase(static_cast<uint16_t>(address + i));
}

}  // namespace qx
