// The commands that talk to the module: ports, identify, upload, download,
// verify, monitor.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "Commands.h"
#include "CountingPort.h"
#include "Format.h"
#include "MonitorStream.h"
#include "Progress.h"
#include "Simulator.h"
#include "host/Numbers.h"
#include "host/Profile.h"
#include "link/CommPort.h"
#include "model/MonitoredQuantities.h"
#include "monitor/RamMonitor.h"
#include "serial/SerialPort.h"

namespace qx::qvx {
namespace {

// Bytes on the wire of the whole-document transfers, for the progress bars:
// a read request is 10 bytes and its response 6 + count; a write exchange is an
// 11-byte request and one ACK.
constexpr std::size_t kUploadBytes = (10 + 6 + kBasicBlockSize) + kMapCount * (10 + 6 + 16);
constexpr std::size_t kDownloadBytes = (kBasicValueCount + kMapCount * 16) * (11 + 1);

// "COM1".."COM4" to its index, else -1.
int ComIndex(const std::string& name) {
    if (name.size() != 4) return -1;
    if (std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(name[2])) != 'M') {
        return -1;
    }
    if (name[3] < '1' || name[3] > '4') return -1;
    return name[3] - '1';
}

// The link of one run: the port of the command line, the profile or the
// emulator, counted for progress, opened once here so that a port that cannot be
// opened is reported with its reason before the link is tried.
class RunLink {
  public:
    explicit RunLink(Context& c) : c_(c) {}
    ~RunLink() {
        CommPort& comm = CommPort::Instance();
        if (comm.IsLinked()) comm.BreakLink();
        comm.SetPortOpener({});
        counting_ = nullptr;
    }
    RunLink(const RunLink&) = delete;
    RunLink& operator=(const RunLink&) = delete;

    // kExitOk with the link up, or the exit code with the reason printed.
    int Establish() {
        const Options& o = c_.options;
        serial::PortSettings settings;
        settings.baud = o.baud ? *o.baud : serial::ConfiguredBaud();
        if (o.simulate) {
            std::string error;
            sim_ = SimulatedModule::Start(settings.baud, error);
            if (!sim_) {
                Fail(c_, "cannot start the module emulator: " + error);
                return kExitCommFailure;
            }
            settings.device = sim_->DevicePath();
        } else if (o.port) {
            const int index = ComIndex(*o.port);
            if (index >= 0) {
                settings.device = serial::DeviceForPortIndex(index);
            } else if (o.port->find('/') != std::string::npos) {
                settings.device = *o.port;
            } else {
                Fail(c_, "bad port \"" + *o.port + "\": give COM1 to COM4 or a device path");
                return kExitUsage;
            }
        } else {
            int index = AppProfile().GetInt("Settings", "Port", CommPort::kDefaultPort);
            if (index < 0 || index > 3) index = CommPort::kDefaultPort;
            settings.device = serial::DeviceForPortIndex(index);
        }

        serial::OpenError why;
        std::unique_ptr<serial::SerialPort> first = serial::OpenPosixPort(settings, &why);
        if (!first) {
            Fail(c_, "cannot open " + settings.device + ": " +
                         (why.reason.empty() ? std::string("unknown error") : why.reason));
            return kExitCommFailure;
        }
        auto pending = std::make_shared<std::unique_ptr<serial::SerialPort>>(std::move(first));
        CommPort& comm = CommPort::Instance();
        comm.SetPortOpener([this, pending, settings](
                               int, serial::OpenError* err) -> std::unique_ptr<serial::SerialPort> {
            std::unique_ptr<serial::SerialPort> port = std::move(*pending);
            if (!port) port = serial::OpenPosixPort(settings, err);
            if (!port) return nullptr;
            auto counted = std::make_unique<CountingPort>(std::move(port));
            counting_ = counted.get();
            return counted;
        });
        if (!comm.EstablishLink()) {
            Fail(c_, "no link to the module on " + settings.device);
            return kExitCommFailure;
        }
        return kExitOk;
    }

    // Draws bar from the bytes that cross the line from now on, until the next call.
    void Track(ProgressBar* bar) {
        if (!counting_) return;
        if (!bar) {
            counting_->SetObserver({});
            return;
        }
        const std::uint64_t base = counting_->BytesWritten() + counting_->BytesRead();
        CountingPort* port = counting_;
        port->SetObserver([bar, port, base]() {
            bar->Update(static_cast<std::size_t>(port->BytesWritten() + port->BytesRead() - base));
        });
    }

  private:
    Context& c_;
    std::unique_ptr<SimulatedModule> sim_;
    CountingPort* counting_ = nullptr;  // owned by the link while it is up
};

// Runs transfer with a progress bar over expected bytes; false when it failed.
template <typename Fn>
bool WithProgress(Context& c, RunLink& link, const char* label, std::size_t expected, Fn transfer) {
    ProgressBar bar(c.err, c.progress, label, expected);
    link.Track(&bar);
    const bool ok = transfer();
    link.Track(nullptr);
    if (ok) {
        bar.Complete();
    } else {
        bar.Finish();
    }
    return ok;
}

bool UploadInto(Context& c, RunLink& link, ModuleState& doc, const char* label) {
    if (doc.OnNewDocument() != DocStatus::Done) return false;
    return WithProgress(c, link, label, kUploadBytes, [&] { return doc.UploadSettings(); });
}

}  // namespace

int CmdPorts(Context& c) {
    std::vector<serial::PortInfo> ports = serial::ListPorts(c.env.sysfsRoot);
    // COM slots whose device is not among the devices found are shown as well.
    for (const auto& p : ports) {
        c.out << p.device;
        if (!p.description.empty()) c.out << "  " << p.description;
        for (int slot : p.comSlots) c.out << "  COM" << (slot + 1);
        c.out << '\n';
    }
    for (int i = 0; i < 4; ++i) {
        const std::string device = serial::DeviceForPortIndex(i);
        bool listed = false;
        for (const auto& p : ports) listed = listed || p.device == device;
        if (!listed && AppProfile().HasKey("Ports", "COM" + std::to_string(i + 1))) {
            c.out << device << "  (not present)  COM" << (i + 1) << '\n';
        }
    }
    if (ports.empty()) c.err << "no serial devices found\n";
    return kExitOk;
}

int CmdIdentify(Context& c) {
    RunLink link(c);
    if (int rc = link.Establish()) return rc;
    SerialNumberModuleValue serial;
    FirmwareVersionModuleValue firmware;
    std::string serialText = "#####";
    std::string firmwareText = "#####";
    const bool serialOk = serial.Refresh();
    if (serialOk) serialText = FormatC("%05d", static_cast<int>(serial.GetValue()));
    const bool firmwareOk = firmware.Refresh();
    if (firmwareOk) {
        const int v = static_cast<int>(firmware.GetValue());
        firmwareText = FormatC("%d.%d", (v >> 4) & 0x0F, v & 0x0F);
    }
    c.out << "Serial No.: " << serialText << '\n'
          << "Firmware Version No.: " << firmwareText << '\n';
    return serialOk && firmwareOk ? kExitOk : kExitCommFailure;
}

int CmdUpload(Context& c) {
    const std::string& path = c.options.args[0];
    ModuleState doc;
    {
        RunLink link(c);
        if (int rc = link.Establish()) return rc;
        if (!UploadInto(c, link, doc, "Uploading")) {
            Fail(c, "upload failed; " + path + " is unchanged");
            return kExitCommFailure;
        }
    }
    return SaveDocument(c, path, doc);
}

int CmdDownload(Context& c) {
    const std::string& path = c.options.args[0];
    ModuleState doc;
    if (int rc = LoadDocument(c, path, doc)) return rc;
    RunLink link(c);
    if (int rc = link.Establish()) return rc;
    if (!WithProgress(c, link, "Downloading", kDownloadBytes,
                      [&] { return doc.DownloadSettings(); })) {
        Fail(c, "download failed");
        return kExitCommFailure;
    }
    if (!c.options.verify) return kExitOk;
    ModuleState module;
    if (!UploadInto(c, link, module, "Verifying")) {
        Fail(c, "reading the module back failed");
        return kExitCommFailure;
    }
    return ReportDifferences(c, CompareDocuments(doc, module, true), path, "the module");
}

int CmdVerify(Context& c) {
    const std::string& path = c.options.args[0];
    ModuleState doc;
    if (int rc = LoadDocument(c, path, doc)) return rc;
    RunLink link(c);
    if (int rc = link.Establish()) return rc;
    ModuleState module;
    if (!UploadInto(c, link, module, "Verifying")) {
        Fail(c, "reading the module failed");
        return kExitCommFailure;
    }
    return ReportDifferences(c, CompareDocuments(doc, module, true), path, "the module");
}

int CmdMonitor(Context& c) {
    const Options& o = c.options;
    // The quantities to record, by name.
    std::vector<int> chosen;
    if (o.values.empty()) {
        for (int i = 0; i < kMonitoredQuantityCount; ++i) chosen.push_back(i);
    }
    for (const auto& name : o.values) {
        const std::string key = NameKey(name);
        int found = -1;
        int prefixed = 0;
        for (int i = 0; i < kMonitoredQuantityCount; ++i) {
            const std::string label =
                NameKey(kMonitoredQuantities[static_cast<std::size_t>(i)].label);
            if (label == key) {
                found = i;
                prefixed = 1;
                break;
            }
            if (!key.empty() && label.rfind(key, 0) == 0) {
                found = i;
                ++prefixed;
            }
        }
        if (found < 0 || prefixed != 1) {
            std::string known;
            for (const auto& q : kMonitoredQuantities)
                known += std::string(known.empty() ? "" : ", ") + q.label;
            Fail(c, std::string(prefixed > 1 ? "ambiguous" : "unknown") + " value name \"" + name +
                        "\"; the values are " + known);
            return kExitUsage;
        }
        if (std::find(chosen.begin(), chosen.end(), found) == chosen.end()) chosen.push_back(found);
    }

    // CSV goes to a temporary file renamed over the target at the end, so an
    // interrupted run never leaves half a file under that name.
    std::ofstream file;
    std::string tempPath;
    std::ostream* csv = &c.out;
    if (o.csv) {
        tempPath = *o.csv + ".part";
        file.open(tempPath, std::ios::binary | std::ios::trunc);
        if (!file) {
            Fail(c, *o.csv + ": " + std::strerror(errno));
            return kExitBadFile;
        }
        csv = &file;
    }
    std::vector<std::unique_ptr<MonitoredModuleValue>> values;
    std::string header = "Time";
    std::string units = "ms";
    for (int i : chosen) {
        values.push_back(MakeMonitoredValue(i));
        // Appended piece by piece: "," + s gives g++ 12 -O3 a false -Wrestrict.
        (header += ',') += CsvField(kMonitoredQuantities[static_cast<std::size_t>(i)].label);
        (units += ',') += CsvField(kMonitoredQuantities[static_cast<std::size_t>(i)].unit);
    }
    *csv << header << '\n' << units << '\n' << std::flush;

    auto discard = [&] {
        if (!tempPath.empty()) {
            file.close();
            std::remove(tempPath.c_str());
        }
    };
    RunLink link(c);
    if (int rc = link.Establish()) {
        discard();
        return rc;
    }
    MonitorStats stats = RunMonitorStream(o.seconds ? *o.seconds : 0.0, [&](int64_t ms) {
        std::string row = std::to_string(ms);
        for (auto& v : values) {
            v->Refresh();
            std::string text = v->FormatValue();
            // The window's blank margin is not part of the number.
            if (!text.empty() && text.front() == ' ') text.erase(0, 1);
            row += "," + text;
        }
        *csv << row << '\n';
        if (csv == &c.out) c.out.flush();
    });

    const double rate = stats.elapsedMs > 0 ? stats.goodPackets * 1000.0 / stats.elapsedMs : 0.0;
    c.err << "Packets received: " << stats.goodPackets << '\n'
          << "Bad packets: " << stats.badPackets << '\n'
          << "Sample rate: " << FormatDouble("%.1f", rate) << " per second\n";

    int rc = kExitOk;
    if (!tempPath.empty()) {
        file.flush();
        const bool written = static_cast<bool>(file);
        file.close();
        std::error_code ec;
        if (written) std::filesystem::rename(tempPath, *o.csv, ec);
        if (!written || ec) {
            std::remove(tempPath.c_str());
            Fail(c, *o.csv + ": could not be written");
            rc = kExitBadFile;
        }
    }
    if (stats.commFailure || !stats.stopped) {
        Fail(c, stats.stopped ? "the stream of live values failed"
                              : "the stream could not be stopped cleanly");
        return kExitCommFailure;
    }
    if (stats.goodPackets == 0 && !stats.interrupted) {
        Fail(c, "no packet of live values arrived");
        return kExitCommFailure;
    }
    return rc;
}

}  // namespace qx::qvx
