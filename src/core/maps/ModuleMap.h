#pragma once
// A calibration map: a fixed row of points evenly spread along an x quantity,
// each point's y value living in one byte of module memory.
//
// Ownership: a map owns its points (each point owns its value) and its grid.
// The live value belongs to the concrete map that embeds it; the base only
// points at it. References returned by the accessors live as long as the map,
// and points and grid are rebuilt (invalidating earlier references) by
// InitializeMap and by loading.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/model/ModuleValue.h"

namespace qx {

template <typename T>
struct XYpair {
    T x{};
    T y{};
    XYpair() = default;
    XYpair(T xValue, T yValue) : x(xValue), y(yValue) {}
    bool operator==(const XYpair&) const = default;
};

// x then y, little-endian (8-byte doubles, 4-byte signed integers).
void EncodeXYpair(const XYpair<double>& pair, std::vector<uint8_t>& out);
void EncodeXYpair(const XYpair<int>& pair, std::vector<uint8_t>& out);
XYpair<double> DecodeXYpairDouble(const uint8_t* bytes);
XYpair<int> DecodeXYpairInt(const uint8_t* bytes);

class MapPoint {
  public:
    MapPoint() = default;
    virtual ~MapPoint() = default;
    MapPoint(MapPoint&&) = default;
    MapPoint& operator=(MapPoint&&) = default;

    // Takes the value and sets it up at address (both addresses) with the rest as given.
    void Init(std::unique_ptr<ModuleValue> value, uint16_t address, double x, double initial,
              double minimum, double maximum, int32_t minInternal, int32_t maxInternal,
              double step);

    double x = 0.0;
    std::unique_ptr<ModuleValue> value;  // owned; null until Init
};

// Makes each point's value (heap, not in sync, nothing else set).
using ValueFactory = std::unique_ptr<ModuleValue> (*)();
std::unique_ptr<ModuleValue> MakeByteValue();
std::unique_ptr<ModuleValue> MakeByteMirroredValue();

class ModuleMap {
  public:
    // liveValue: the concrete map's own member, not owned here.
    ModuleMap(ValueFactory valueFactory, MonitoredModuleValue* liveValue);
    virtual ~ModuleMap();
    ModuleMap(const ModuleMap&) = delete;
    ModuleMap& operator=(const ModuleMap&) = delete;

    // Builds points (all at the bottom of the range, not in sync) and grid.
    virtual void InitializeMap();

    // The map's part of the settings file: pointCount value records.
    std::size_t RecordCount() const { return static_cast<std::size_t>(pointCount); }
    void Store(std::vector<uint8_t>& out) const;
    // Empty when the RecordCount() records at bytes can be loaded, else what is
    // wrong ("point 3: ...", numbered from 1). Reads exactly RecordCount() * kValueRecordSize
    // bytes.
    std::string CheckRecords(const uint8_t* bytes) const;
    // Rebuilds the points, then loads each record. Callers check first.
    void LoadRecords(const uint8_t* bytes);

    // Writes every point (its own points only), stopping at the first failure.
    bool DownloadToModule();
    // Reads the map's block; on failure no point changes.
    bool UploadFromModule();
    // The picture the points keep their module bytes in (the document's), for
    // the points of now and of every rebuild.
    void AttachPicture(ModulePicture* picture);
    // Pairs point i of this map with point i of other where both are mirrored.
    void LinkMirrors(ModuleMap& other);
    // Refreshes the live value and sets liveX to the x of the nearest point.
    void UpdateLiveX();

    // Element i with i clamped to the array.
    double GetGridX(int i) const;
    double GetGridY(int i) const;

    const std::string& Title() const { return title; }
    const std::string& XLabel() const { return xLabel; }
    const std::string& YLabel() const { return yLabel; }
    const std::string& XUnits() const { return xUnits; }
    const std::string& YUnits() const { return yUnits; }
    XYpair<int> InternalMin() const { return internalMin; }
    XYpair<int> InternalMax() const { return internalMax; }
    XYpair<double> ValueMin() const { return valueMin; }
    XYpair<double> ValueMax() const { return valueMax; }
    XYpair<int> GridLines() const { return gridLines; }
    double Step() const { return step; }
    int PointCount() const { return pointCount; }
    double LiveX() const { return liveX; }
    bool Initialized() const { return initialized; }
    uint16_t BaseAddress() const { return baseAddress; }
    // Valid while Initialized(); i in 0 .. PointCount() - 1.
    MapPoint& Point(int i) { return points[static_cast<std::size_t>(i)]; }
    const MapPoint& Point(int i) const { return points[static_cast<std::size_t>(i)]; }
    MonitoredModuleValue& LiveValue() const { return *liveValue; }

  protected:
    // The constants a concrete map fixes in its constructor.
    struct Constants {
        const char* title;
        const char* xLabel;
        const char* xUnits;
        const char* yLabel;
        const char* yUnits;
        int pointCount;
        uint16_t baseAddress;
        XYpair<int> internalMin;
        XYpair<int> internalMax;
        XYpair<double> valueMin;
        XYpair<double> valueMax;
        double step;
        XYpair<int> gridLines;
    };
    void SetConstants(const Constants& c);

    std::string title;
    std::string xLabel;
    std::string yLabel;
    std::string xUnits;
    std::string yUnits;
    XYpair<int> internalMin;
    XYpair<int> internalMax;
    XYpair<double> valueMin;
    XYpair<double> valueMax;
    XYpair<int> gridLines;
    std::vector<double> gridX;
    std::vector<double> gridY;
    double step = 0.0;
    int pointCount = 0;
    double liveX = 0.0;
    std::vector<MapPoint> points;
    bool initialized = false;
    uint16_t baseAddress = 0;
    ValueFactory valueFactory;
    MonitoredModuleValue* liveValue;
    ModulePicture* picture_ = nullptr;  // not owned
};

}  // namespace qx
