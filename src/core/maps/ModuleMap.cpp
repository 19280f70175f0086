#include "core/maps/ModuleMap.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/host/Host.h"
#include "core/host/Numbers.h"
#include "core/link/CommPort.h"
#include "core/model/LittleEndian.h"

namespace qx {

namespace {

double ClampedAt(const std::vector<double>& grid, int i) {
    if (grid.empty()) return 0.0;
    const int last = static_cast<int>(grid.size()) - 1;
    return grid[static_cast<std::size_t>(std::clamp(i, 0, last))];
}

}  // namespace

void EncodeXYpair(const XYpair<double>& pair, std::vector<uint8_t>& out) {
    le::PutDouble(out, pair.x);
    le::PutDouble(out, pair.y);
}

void EncodeXYpair(const XYpair<int>& pair, std::vector<uint8_t>& out) {
    le::Put(out, static_cast<uint32_t>(pair.x), 4);
    le::Put(out, static_cast<uint32_t>(pair.y), 4);
}

XYpair<double> DecodeXYpairDouble(const uint8_t* bytes) {
    return {le::GetDouble(bytes), le::GetDouble(bytes + 8)};
}

XYpair<int> DecodeXYpairInt(const uint8_t* bytes) {
    return {static_cast<int>(static_cast<uint32_t>(le::Get(bytes, 4))),
            static_cast<int>(static_cast<uint32_t>(le::Get(bytes + 4, 4)))};
}

void MapPoint::Init(std::unique_ptr<ModuleValue> newValue, uint16_t address, double xValue,
                    double initial, double minimum, double maximum, int32_t minInternal,
                    int32_t maxInternal, double step) {
    value = std::move(newValue);
    x = xValue;
    value->Setup(address, address, initial, minimum, maximum, minInternal, maxInternal, step);
}

std::unique_ptr<ModuleValue> MakeByteValue() {
    return std::make_unique<ByteModuleValue>();
}
std::unique_ptr<ModuleValue> MakeByteMirroredValue() {
    return std::make_unique<ByteMirroredModuleValue>();
}

ModuleMap::ModuleMap(ValueFactory factory, MonitoredModuleValue* live)
    : valueFactory(factory), liveValue(live) {}

ModuleMap::~ModuleMap() = default;

void ModuleMap::SetConstants(const Constants& c) {
    pointCount = c.pointCount;
    title = c.title;
    xLabel = c.xLabel;
    xUnits = c.xUnits;
    yLabel = c.yLabel;
    yUnits = c.yUnits;
    internalMin = c.internalMin;
    internalMax = c.internalMax;
    valueMin = c.valueMin;
    valueMax = c.valueMax;
    step = c.step;
    gridLines = c.gridLines;
    baseAddress = c.baseAddress;
}

void ModuleMap::InitializeMap() {
    points.clear();
    gridX.clear();
    gridY.clear();
    try {
        std::vector<MapPoint> built(static_cast<std::size_t>(pointCount));
        std::vector<double> gx(static_cast<std::size_t>(gridLines.x));
        std::vector<double> gy(static_cast<std::size_t>(gridLines.y));
        const double xSpan = valueMax.x - valueMin.x;
        for (int i = 0; i < pointCount; ++i) {
            const double fraction = static_cast<double>(i) / static_cast<double>(pointCount - 1);
            const double x = valueMin.x + xSpan * fraction;
            built[static_cast<std::size_t>(i)].Init(
                valueFactory(), static_cast<uint16_t>(baseAddress + i), x, valueMin.y, valueMin.y,
                valueMax.y, internalMin.y, internalMax.y, step);
        }
        for (int k = 0; k < gridLines.x; ++k) {
            gx[static_cast<std::size_t>(k)] =
                valueMin.x + (xSpan / static_cast<double>(gridLines.x - 1)) * k;
        }
        for (int k = 0; k < gridLines.y; ++k) {
            gy[static_cast<std::size_t>(k)] =
                k * ((valueMax.y - valueMin.y) / static_cast<double>(gridLines.y - 1)) + valueMin.y;
        }
        for (MapPoint& p : built) p.value->AttachPicture(picture_);
        points = std::move(built);
        gridX = std::move(gx);
        gridY = std::move(gy);
    } catch (const std::bad_alloc&) {
        // The map stays without points; views check Initialized() before use.
        initialized = false;
        CurrentHost().MessageBox("Out of Memory!", kAppTitle, MsgButtons::Ok, MsgIcon::Error);
        return;
    }
    initialized = true;
}

void ModuleMap::Store(std::vector<uint8_t>& out) const {
    for (const MapPoint& p : points) EncodeValueRecord(p.value->ToRecord(), out);
}

std::string ModuleMap::CheckRecords(const uint8_t* bytes) const {
    // Compare against the points as this map builds them, whatever it holds now.
    for (int i = 0; i < pointCount; ++i) {
        std::unique_ptr<ModuleValue> fresh = valueFactory();
        fresh->Setup(static_cast<uint16_t>(baseAddress + i), static_cast<uint16_t>(baseAddress + i),
                     valueMin.y, valueMin.y, valueMax.y, internalMin.y, internalMax.y, step);
        const ValueRecord r =
            DecodeValueRecord(bytes + static_cast<std::size_t>(i) * kValueRecordSize);
        std::string why = fresh->CheckRecord(r);
        // Numbered from 1, as the graph and the Differences window show points.
        if (!why.empty()) return FormatC("point %d: %s", i + 1, why.c_str());
    }
    return {};
}

void ModuleMap::LoadRecords(const uint8_t* bytes) {
    InitializeMap();
    if (!initialized) return;
    for (int i = 0; i < pointCount; ++i) {
        points[static_cast<std::size_t>(i)].value->LoadRecord(
            DecodeValueRecord(bytes + static_cast<std::size_t>(i) * kValueRecordSize));
    }
}

bool ModuleMap::DownloadToModule() {
    if (!initialized) return false;
    CommandBusyScope busy(true);
    for (MapPoint& p : points) {
        if (!p.value->SyncModuleWithHost(false)) return false;
    }
    return true;
}

bool ModuleMap::UploadFromModule() {
    if (!initialized) return false;
    CommandBusyScope busy(true);
    std::vector<uint8_t> buffer(static_cast<std::size_t>(pointCount), 0);
    if (!CommPort::Instance().ReadModuleMemoryBlock(buffer.data(), baseAddress,
                                                    static_cast<uint16_t>(pointCount))) {
        return false;
    }
    for (int i = 0; i < pointCount; ++i) {
        points[static_cast<std::size_t>(i)].value->SetFromInternal(
            buffer[static_cast<std::size_t>(i)]);
    }
    return true;
}

void ModuleMap::AttachPicture(ModulePicture* picture) {
    picture_ = picture;
    for (MapPoint& p : points)
        if (p.value) p.value->AttachPicture(picture);
}

void ModuleMap::LinkMirrors(ModuleMap& other) {
    const std::size_t n = std::min(points.size(), other.points.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto* mine = dynamic_cast<MirroredModuleValue*>(points[i].value.get());
        auto* theirs = dynamic_cast<MirroredModuleValue*>(other.points[i].value.get());
        if (mine != nullptr && theirs != nullptr) mine->SetPartner(theirs);
    }
}

void ModuleMap::UpdateLiveX() {
    liveValue->Refresh();
    const double spacing = (valueMax.x - valueMin.x) / static_cast<double>(pointCount - 1);
    const double v = liveValue->GetValue();
    liveX = RoundTo((v - valueMin.x) / spacing, 0) * spacing;
}

double ModuleMap::GetGridX(int i) const {
    return ClampedAt(gridX, i);
}
double ModuleMap::GetGridY(int i) const {
    return ClampedAt(gridY, i);
}

}  // namespace qx
