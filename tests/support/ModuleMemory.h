#pragma once
// A module's setting bytes by address: read from a module by the built-in
// address table, or the bytes a download of a tune would write.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/model/ModuleState.h"
#include "support/FileBytes.h"

namespace qx::test {

using ModuleMemory = std::map<uint16_t, uint8_t>;

// The basic settings and the six maps at 0xB600..0xB65F; peek(address) reads a byte.
template <class Peek>
ModuleMemory SettingBytes(Peek peek) {
    ModuleMemory m;
    for (const BasicSettingInfo& info : kBasicSettings) m[info.address] = peek(info.address);
    for (uint16_t a = 0xB600; a < 0xB660; ++a) m[a] = peek(a);
    return m;
}

inline ModuleMemory DownloadBytes(ModuleState& doc) {
    ModuleMemory m;
    for (ModuleValue* v : doc.ModuleValues()) {
        const std::vector<uint8_t> b = v->EncodeBytes();
        for (std::size_t i = 0; i < b.size(); ++i)
            m[static_cast<uint16_t>(v->GetAddress() + i)] = b[i];
    }
    return m;
}

// Of the settings file at path, which must open.
inline ModuleMemory FileDownloadBytes(const std::string& path) {
    ModuleState doc;
    EXPECT_EQ(doc.OpenContents(path, ReadFileBytes(path)), DocStatus::Done) << path;
    return DownloadBytes(doc);
}

}  // namespace qx::test
