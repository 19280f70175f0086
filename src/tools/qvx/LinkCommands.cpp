// The commands that talk to the module: ports, identify, upload, download,
// verify, monitor.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#include "core/host/Numbers.h"
#include "core/host/Profile.h"
#include "core/host/SafeFile.h"
#include "core/link/CommPort.h"
#include "core/log/LogFormat.h"
#include "core/model/MonitoredQuantities.h"
#include "core/monitor/RamMonitor.h"
#include "core/serial/SerialPort.h"
#include "tools/qvx/Commands.h"
#include "tools/qvx/Format.h"
#include "tools/qvx/MonitorStream.h"
#include "tools/qvx/Progress.h"
#include "tools/qvx/Simulator.h"

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
// emulator, opened once here so that a port that cannot be opened is reported
// with its reason before the link is tried. The port belongs to the link alone:
// any call may break the link and free it, so progress comes from the link's
// own traffic counts.
class RunLink {
  public:
    RunLink(Context& c, CommPort& comm) : c_(c), comm_(comm) {}
    ~RunLink() {
        comm_.SetTrafficObserver({});
        // The run ends the link on purpose: nothing was broken.
        if (comm_.IsLinked()) comm_.BreakLink(CommPort::BreakNotice::Quiet);
        comm_.SetPortOpener({});
    }
    RunLink(const RunLink&) = delete;
    RunLink& operator=(const RunLink&) = delete;

    // kExitOk with the link up, or the exit code with the reason printed.
    int Establish() {
        const Options& o = c_.options;
        serial::PortSettings settings;
        if (!o.baud) {
            // A speed the profile does not really give is never guessed.
            if (const std::string problem = serial::BaudSettingProblem(); !problem.empty()) {
                Fail(c_, problem + "; give --baud N or mend the profile");
                return kExitUsage;
            }
        }
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
            int index = c_.profile.GetInt("Settings", "Port", CommPort::kDefaultPort);
            if (index < 0 || index > 3) index = CommPort::kDefaultPort;
            settings.device = serial::DeviceForPortIndex(index);
        }

        serial::OpenError why;
        std::unique_ptr<serial::SerialPort> first = serial::OpenPosixPort(settings, &why);
        if (!first) {
            Fail(c_, "cannot open " + settings.device + ": " +
                         (why.reason.empty() ? std::string("unknown error") : why.reason));
            // A speed the device will not run is the command line's to change.
            return why.kind == serial::ErrorKind::NotSupported ? kExitUsage : kExitCommFailure;
        }
        auto pending = std::make_shared<std::unique_ptr<serial::SerialPort>>(std::move(first));
        comm_.SetPortOpener(
            [pending, settings](int,
                                serial::OpenError* err) -> std::unique_ptr<serial::SerialPort> {
                std::unique_ptr<serial::SerialPort> port = std::move(*pending);
                if (!port) port = serial::OpenPosixPort(settings, err);
                return port;
            });
        if (!comm_.EstablishLink()) {
            Fail(c_, "no link to the module on " + settings.device);
            return kExitCommFailure;
        }
        return kExitOk;
    }

  private:
    Context& c_;
    CommPort& comm_;
    std::unique_ptr<SimulatedModule> sim_;
};

// Draws bar from the bytes that cross the line for the life of the scope.
// onTraffic, when given, runs after each redraw.
class TrackTraffic {
  public:
    TrackTraffic(ProgressBar& bar, CommPort& comm, const std::function<void()>& onTraffic)
        : comm_(comm) {
        const CommPort::Traffic base = comm_.TrafficCount();
        comm_.SetTrafficObserver([&bar, base, onTraffic](const CommPort::Traffic& now) {
            bar.Update(static_cast<std::size_t>(now.written + now.read - base.written - base.read));
            if (onTraffic) onTraffic();
        });
    }
    ~TrackTraffic() { comm_.SetTrafficObserver({}); }
    TrackTraffic(const TrackTraffic&) = delete;
    TrackTraffic& operator=(const TrackTraffic&) = delete;

  private:
    CommPort& comm_;
};

// Runs transfer with a progress bar over expected bytes; false when it failed.
template <typename Fn>
bool WithProgress(Context& c, CommPort& link, const char* label, std::size_t expected, Fn transfer,
                  const std::function<void()>& onTraffic = {}) {
    ProgressBar bar(c.err, c.progress, label, expected);
    bool ok = false;
    {
        TrackTraffic track(bar, link, onTraffic);
        ok = transfer();
    }
    if (ok) {
        bar.Complete();
    } else {
        bar.Finish();
    }
    return ok;
}

// note: what the restore point of the module read says of itself.
bool UploadInto(Context& c, CommPort& link, ModuleState& doc, const char* label,
                ModuleState::RestoreNoteText note) {
    if (doc.OnNewDocument() != DocStatus::Done) return false;
    doc.SetRestoreNote(std::move(note));
    return WithProgress(c, link, label, kUploadBytes, [&] { return doc.UploadSettings(); });
}

// A write that failed part way leaves the module with some values of the file
// and some of before: said so, with the adapter named when it is gone.
void FailDownload(Context& c, CommPort& comm, const std::string& path) {
    std::string why = "download failed";
    if (comm.IsDeviceGone() || (!comm.IsLinked() && comm.LastBreakWasDeviceGone())) {
        why += ": the module adapter " + comm.LastDevicePath() + " is gone (unplugged?)";
    }
    Fail(c, why + "; the module may now hold part of " + path + " and part of what it held: " +
                "run \"qvx verify " + path + "\" once it answers, or download again");
}

// Ctrl+C during a download: the writes go on to the end, for a module left
// with part of one tune and part of another may run the engine on neither.
// Said once, when the signal is seen; a second Ctrl+C ends the program at once.
class FinishFirstOnQuit {
  public:
    explicit FinishFirstOnQuit(Context& c) : c_(c) {}
    void operator()() {
        if (told_ || !c_.host.IsQuitting()) return;
        told_ = true;
        c_.err << (c_.progress ? "\n" : "")
               << "qvx: Ctrl+C: the download goes on to its end so that the module is not left "
                  "with part of the file (a second Ctrl+C stops it at once)\n"
               << std::flush;
    }
    bool Told() const { return told_; }

  private:
    Context& c_;
    bool told_ = false;
};

}  // namespace

int CmdPorts(Context& c) {
    const std::vector<serial::PortInfo> ports = serial::ListPorts(c.env.sysfsRoot, c.env.byIdRoot);
    for (const auto& p : ports) {
        // The stable name first: it is what --port and the profile should hold.
        c.out << p.Name();
        if (p.Name() != p.device) c.out << "  (now " << p.device << ")";
        if (!p.description.empty()) c.out << "  " << p.description;
        if (!p.serialNumber.empty()) c.out << "  serial number " << p.serialNumber;
        if (p.latencyTimerMs >= 0) c.out << "  latency timer " << p.latencyTimerMs << " ms";
        for (int slot : p.comSlots) c.out << "  COM" << (slot + 1);
        c.out << '\n';
    }
    // COM slots whose device is not among the devices found are shown as well.
    for (int i = 0; i < 4; ++i) {
        const std::string device = serial::DeviceForPortIndex(i);
        bool listed = false;
        for (const auto& p : ports) {
            for (int slot : p.comSlots) listed = listed || slot == i;
        }
        if (!listed && c.profile.HasKey("Ports", "COM" + std::to_string(i + 1))) {
            c.out << device << "  (not present)  COM" << (i + 1) << '\n';
        }
    }
    if (ports.empty()) c.err << "no serial devices found\n";
    return kExitOk;
}

int CmdIdentify(Context& c, CommPort& comm) {
    RunLink link(c, comm);
    if (int rc = link.Establish()) return rc;
    SerialNumberModuleValue serial;
    FirmwareVersionModuleValue firmware;
    std::string serialText = "#####";
    std::string firmwareText = "#####";
    const bool serialOk = serial.Refresh();
    if (serialOk) serialText = FormatC("%05d", static_cast<int>(serial.GetValue()));
    // After a failed read the line is not to be trusted: one message is enough.
    const bool firmwareOk = serialOk && firmware.Refresh();
    if (firmwareOk) {
        const int v = static_cast<int>(firmware.GetValue());
        firmwareText = FormatC("%d.%d", (v >> 4) & 0x0F, v & 0x0F);
    }
    c.out << "Serial No.: " << serialText << '\n'
          << "Firmware Version No.: " << firmwareText << '\n';
    if (serialOk && firmwareOk) return kExitOk;
    Fail(c, "reading the module failed");
    return kExitCommFailure;
}

int CmdUpload(Context& c, CommPort& comm) {
    const std::string& path = c.options.args[0];
    ModuleState doc;
    {
        RunLink link(c, comm);
        if (int rc = link.Establish()) return rc;
        if (!UploadInto(c, comm, doc, "Uploading", {"upload", path})) {
            Fail(c, "upload failed; " + path + " is unchanged");
            return kExitCommFailure;
        }
    }
    return SaveDocument(c, path, doc);
}

// --verify after a download: the whole module read back and compared with the file.
int VerifyWholeModule(Context& c, CommPort& comm, ModuleState& doc, const std::string& path) {
    ModuleState module;
    if (!UploadInto(c, comm, module, "Verifying", {"verify", path})) {
        Fail(c, "reading the module back failed");
        return kExitCommFailure;
    }
    return ReportDifferences(c, CompareDocuments(doc, module, true), path, "the module");
}

// download --changed-only: the module is taken to hold the tune of --against;
// only the values whose bytes differ from it are written (and read back).
// --verify then reads the whole module and compares it with the file, as a
// full download's does: the module may not have held the old tune at all.
int DownloadChanged(Context& c, CommPort& comm, ModuleState& doc, const std::string& path) {
    ModuleState old;
    if (int rc = LoadDocument(c, *c.options.against, old)) return rc;
    const std::vector<ModuleValue*> values = doc.ModuleValues();
    const std::vector<ModuleValue*> held = old.ModuleValues();
    for (std::size_t i = 0; i < values.size() && i < held.size(); ++i)
        values[i]->SetModuleBytes(held[i]->EncodeBytes());
    const int changed = doc.CountValuesTheModuleLacks();
    doc.SetRestoreNote({"download --changed-only", path});
    RunLink link(c, comm);
    if (int rc = link.Establish()) return rc;
    ModuleState::ChangedWrite result;
    FinishFirstOnQuit finish(c);
    const bool ok = WithProgress(
        c, comm, "Downloading", static_cast<std::size_t>(changed) * 12,
        [&] {
            result = doc.WriteChangedSettings(c.options.verify);
            return result.written == changed && (result.ok || result.mismatched > 0);
        },
        std::ref(finish));
    finish();
    if (finish.Told() && result.written == changed && (!ok || c.options.verify)) {
        // Every write went out; the read-back ended at the Ctrl+C.
        Fail(c, "the download is complete; --verify was skipped after Ctrl+C: run \"qvx verify " +
                    path + "\"");
        return kExitCommFailure;
    }
    if (!ok) {
        FailDownload(c, comm, path);
        return kExitCommFailure;
    }
    c.out << result.written << " of " << values.size() << " settings written (" << path
          << " against " << *c.options.against << ")\n";
    if (result.mismatched > 0) {
        c.out << result.mismatched << " read back differently\n";
        return kExitDifferences;
    }
    return c.options.verify ? VerifyWholeModule(c, comm, doc, path) : kExitOk;
}

int CmdDownload(Context& c, CommPort& comm) {
    const std::string path = RestorePointPath(c.options.args[0]);
    ModuleState doc;
    if (int rc = LoadDocument(c, path, doc)) return rc;
    if (c.options.changedOnly) return DownloadChanged(c, comm, doc, path);
    RunLink link(c, comm);
    if (int rc = link.Establish()) return rc;
    FinishFirstOnQuit finish(c);
    const bool ok = WithProgress(
        c, comm, "Downloading", kDownloadBytes, [&] { return doc.DownloadSettings(); },
        std::ref(finish));
    finish();  // a Ctrl+C in the last exchange
    if (!ok) {
        FailDownload(c, comm, path);
        return kExitCommFailure;
    }
    if (finish.Told()) {
        // The read-back would end at the Ctrl+C: not started, and said so.
        if (!c.options.verify) {
            c.err << "qvx: the download is complete\n";
            return kExitOk;
        }
        Fail(c, "the download is complete; --verify was skipped after Ctrl+C: run \"qvx verify " +
                    path + "\"");
        return kExitCommFailure;
    }
    return c.options.verify ? VerifyWholeModule(c, comm, doc, path) : kExitOk;
}

int CmdVerify(Context& c, CommPort& comm) {
    const std::string& path = c.options.args[0];
    ModuleState doc;
    if (int rc = LoadDocument(c, path, doc)) return rc;
    RunLink link(c, comm);
    if (int rc = link.Establish()) return rc;
    ModuleState module;
    if (!UploadInto(c, comm, module, "Verifying", {"verify", path})) {
        Fail(c, "reading the module failed");
        return kExitCommFailure;
    }
    return ReportDifferences(c, CompareDocuments(doc, module, true), path, "the module");
}

int CmdMonitor(Context& c, CommPort& comm, RamMonitor& monitor) {
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

    std::vector<std::unique_ptr<MonitoredModuleValue>> values;
    for (int i : chosen) values.push_back(MakeMonitoredValue(i));

    RunLink link(c, comm);
    if (int rc = link.Establish()) return rc;
    // CSV is streamed as the program's recorder streams it, so a crash or a
    // hang-up loses at most the last second. Opened only now: a failed link
    // leaves an earlier file alone.
    LogWriter file;
    if (o.csv && !file.Open(*o.csv, chosen, c.host.GetClock())) {
        Fail(c, *o.csv + ": could not be written: " + file.Error());
        return kExitBadFile;
    }
    if (!o.csv) c.out << LogHeader(chosen) << std::flush;
    MonitorStats stats = RunMonitorStream(
        c.host, comm, monitor, o.seconds ? *o.seconds : 0.0,
        [&](int64_t ms) {
            std::vector<double> row;
            for (auto& v : values) {
                v->Refresh();
                row.push_back(v->GetValue());
            }
            // A failed write is remembered by the writer and reported at the end.
            if (o.csv) {
                file.AppendTimed(ms, row);
            } else {
                c.out << LogRow(ms, chosen, row) << std::flush;
            }
        },
        [&] { file.FlushIfDue(); },
        [&](int64_t lastMs) {
            c.err << "no packet for " << kSilenceLimitMs / 1000 << " s (since "
                  << FormatDouble("%.1f", lastMs / 1000.0) << " s): the module has fallen silent\n"
                  << std::flush;
        });

    const double rate = stats.elapsedMs > 0 ? stats.goodPackets * 1000.0 / stats.elapsedMs : 0.0;
    c.err << "Packets received: " << stats.goodPackets << '\n'
          << "Bad packets: " << stats.badPackets << '\n'
          << "Sample rate: " << FormatDouble("%.1f", rate) << " per second\n";

    int rc = kExitOk;
    if (o.csv && !file.Close()) {
        Fail(c, *o.csv + ": could not be written: " + file.Error());
        rc = kExitBadFile;
    }
    if (stats.commFailure || !stats.stopped) {
        // A pulled adapter is said as such: no stream can be stopped on it.
        if (comm.IsDeviceGone() || (!comm.IsLinked() && comm.LastBreakWasDeviceGone())) {
            Fail(c, "the module adapter " + comm.LastDevicePath() +
                        " is gone (unplugged?): the stream ended with it");
            return kExitCommFailure;
        }
        Fail(c, stats.stopped ? "the stream of live values failed"
                              : "the stream could not be stopped cleanly");
        return kExitCommFailure;
    }
    if (stats.goodPackets == 0 && !stats.interrupted) {
        Fail(c, "no packet of live values arrived");
        return kExitCommFailure;
    }
    if (stats.longestSilenceMs > kSilenceLimitMs) {
        Fail(c, "no packet for " + FormatDouble("%.1f", stats.longestSilenceMs / 1000.0) +
                    " s (from " + FormatDouble("%.1f", stats.silenceFromMs / 1000.0) + " s to " +
                    FormatDouble("%.1f", (stats.silenceFromMs + stats.longestSilenceMs) / 1000.0) +
                    " s): the module fell silent for more than " +
                    std::to_string(kSilenceLimitMs / 1000) + " s");
        return kExitCommFailure;
    }
    return rc;
}

}  // namespace qx::qvx
