// End-to-end speed of the link against the module emulator on a real
// pseudo-terminal: whole-document download and upload, and the undo of a
// 16-point map edit, measured against the wire time of the bytes that crossed,
// and live monitoring measured against the packets the line can carry and the
// processor time the host side used.
// Monitoring runs twice at each speed, the second time with every packet
// recorded to a log as the program's recorder does: the packets received must
// not drop and the file must hold a row for each.
// Download and undo run again behind a modelled USB adapter that holds the
// module's bytes 16 ms (its usual latency timer) or 1 ms (low latency), and
// after each download a plain client (each write frame in one system call,
// then a blocking read of its acknowledgement) replays its writes on the
// same line.
//
//   bench [--brief] [--transfers] [--baud N] [--reps N] [--json PATH]
//
// --transfers leaves out monitoring and edits, --baud runs one of the two
// speeds only, --reps sets the runs a figure is the median of (3, brief 1).
//
// Prints one table and writes the figures as JSON. The figures are not judged.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/host/Clock.h"
#include "core/host/ConsoleHost.h"
#include "core/host/Numbers.h"
#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/log/LogFormat.h"
#include "core/log/LogReader.h"
#include "core/model/ModuleState.h"
#include "core/monitor/LiveSource.h"
#include "core/monitor/RamMonitor.h"
#include "core/serial/SerialPort.h"
#include "emulator/PtyEmulator.h"
#include "tools/qvx/MonitorStream.h"

namespace {

using qx::CommPort;

double MonotonicSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Processor time of the calling thread only: the emulator serves from a thread
// of its own and is not part of the host's figure.
double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

struct TransferFigure {
    double elapsedS = 0;
    uint64_t bytes = 0;
    int exchanges = 0;
    double wireS = 0;
    double ratio = 0;
    bool ok = false;
};

struct MonitorFigure {
    double elapsedS = 0;
    int packets = 0;
    int badPackets = 0;
    double capacity = 0;  // packets the line could carry meanwhile
    double received = 0;  // packets / capacity
    double cpuPercent = 0;
    int64_t rowsInFile = -1;  // recording: the rows read back from the log
    bool ok = false;
};

// Download and undo behind one adapter.
struct AdapterRow {
    int baud = 0;
    const char* adapter = "";
    TransferFigure download;
    TransferFigure undo;
    TransferFigure plainClient;  // the download's writes from a plain client
    // The fastest run of each: the machine's wake-up delays only ever add, so
    // the best run is the nearest to what the program itself costs.
    double downloadBest = 0;
    double undoBest = 0;
    double plainClientBest = 0;
};

struct Row {
    int baud = 0;
    TransferFigure download;
    TransferFigure upload;
    TransferFigure undo;  // undoing a 16-point edit of one map
    MonitorFigure monitor;
    MonitorFigure recording;
    // One edit's write, from the request to its acknowledgement: with the
    // stream running (it is stopped first) and with the line idle; medians.
    double editStreamingMs = 0;
    double editIdleMs = 0;
    int edits = 0;
    double packetMs = 0;  // one monitor packet's wire time
};

class LinkedModule {
  public:
    LinkedModule(int baud, int64_t turnaroundUs, int64_t adapterHoldUs = 0)
        : baud_(baud), turnaroundUs_(turnaroundUs) {
        qx::emu::EmulatorConfig config;
        config.baud = baud;
        config.turnaroundUs = turnaroundUs;
        config.firmware = 0x10;
        config.adapterHoldUs = adapterHoldUs;
        emulator_ = std::make_unique<qx::emu::PtyEmulator>(config);
    }
    ~LinkedModule() {
        if (CommPort::Instance().IsLinked()) CommPort::Instance().BreakLink();
        qx::RamMonitor::ResetInstance();
        CommPort::ResetInstance();
    }

    bool Link() {
        std::string error;
        if (!emulator_->Start(&error)) {
            std::fprintf(stderr, "bench: emulator: %s\n", error.c_str());
            return false;
        }
        qx::serial::PortSettings settings{emulator_->SlavePath(), baud_};
        CommPort& comm = CommPort::Instance();
        comm.SetPortOpener([settings](int, qx::serial::OpenError* why) {
            return qx::serial::OpenPosixPort(settings, why);
        });
        return comm.EstablishLink();
    }

    // Times transfer from its first request to its last answer.
    template <typename Fn>
    TransferFigure Time(Fn transfer) {
        TransferFigure f;
        const CommPort::Traffic before = CommPort::Instance().TrafficCount();
        emulator_->WithCore([](qx::emu::EmulatorCore& core) {
            core.ResetCounters();
            return 0;
        });
        const double t0 = MonotonicSeconds();
        f.ok = transfer();
        f.elapsedS = MonotonicSeconds() - t0;
        const CommPort::Traffic after = CommPort::Instance().TrafficCount();
        f.bytes = after.written - before.written + after.read - before.read;
        const qx::emu::EmulatorCounters counters = emulator_->Counters();
        f.exchanges = counters.framesByCommand[0x01] + counters.framesByCommand[0x02];
        f.wireS = f.bytes * 10.0 / baud_ + f.exchanges * turnaroundUs_ * 1e-6;
        f.ratio = f.wireS > 0 ? f.elapsedS / f.wireS : 0;
        return f;
    }

    // The writes the module stored since the counters were last reset.
    std::vector<qx::emu::WriteRecord> Writes() { return emulator_->Counters().writes; }

    // Replays writes with the link closed, as a plain client would: each write
    // frame in one call, then a blocking read of the acknowledgement. The link
    // is established again afterwards.
    TransferFigure PlainClient(const std::vector<qx::emu::WriteRecord>& writes) {
        TransferFigure f;
        CommPort& comm = CommPort::Instance();
        comm.BreakLink(CommPort::BreakNotice::Quiet);
        qx::serial::OpenError why;
        auto port = qx::serial::OpenPosixPort({emulator_->SlavePath(), baud_}, &why);
        if (!port) {
            std::fprintf(stderr, "bench: plain client: %s\n", why.reason.c_str());
            return f;
        }
        emulator_->WithCore([](qx::emu::EmulatorCore& core) {
            core.ResetCounters();
            return 0;
        });
        f.ok = true;
        const double t0 = MonotonicSeconds();
        for (const qx::emu::WriteRecord& w : writes) {
            uint8_t frame[16];
            const std::size_t n = qx::Request::Write(w.address, w.value).BuildFrame(frame);
            if (write(port->PollFd(), frame, n) != static_cast<ssize_t>(n) ||
                port->ReadByte(2000) != qx::wire::ACK) {
                f.ok = false;
                break;
            }
            f.bytes += n + 1;
        }
        f.elapsedS = MonotonicSeconds() - t0;
        f.exchanges = emulator_->Counters().framesByCommand[0x02];
        f.wireS = f.bytes * 10.0 / baud_ + f.exchanges * turnaroundUs_ * 1e-6;
        f.ratio = f.wireS > 0 ? f.elapsedS / f.wireS : 0;
        port.reset();
        f.ok = comm.EstablishLink() && f.ok;
        return f;
    }

    // Median milliseconds of an edit's write (a command scope, as an edit has,
    // and one acknowledged write), asked for every fourth packet while the
    // module streams, or, with streaming false, on an idle line.
    double EditMs(bool streaming, int* count) {
        const uint16_t address = 0xB602;
        const uint8_t value = emulator_->Peek(address);
        std::vector<double> ms;
        auto edit = [&] {
            const double t0 = MonotonicSeconds();
            bool ok = false;
            {
                qx::CommandBusyScope busy(true);
                qx::PumpBlockScope noPump;
                ok = CommPort::Instance().WriteModuleByte(address, value);
            }
            if (ok) ms.push_back((MonotonicSeconds() - t0) * 1000.0);
        };
        if (streaming) {
            int packets = 0;
            qx::qvx::RunMonitorStream(qx::CurrentHost(), CommPort::Instance(),
                                      qx::RamMonitor::Instance(), 3.0, [&](int64_t) {
                                          if (++packets % 4 == 0 && ms.size() < 20) edit();
                                      });
        } else {
            for (int i = 0; i < 20; ++i) edit();
        }
        if (count) *count = static_cast<int>(ms.size());
        if (ms.empty()) return 0;
        std::sort(ms.begin(), ms.end());
        return ms[ms.size() / 2];
    }

    // logPath not empty: every packet is recorded there, flushed each second.
    MonitorFigure Monitor(double seconds, const std::string& logPath = {}) {
        MonitorFigure f;
        const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6};
        qx::LogWriter writer;
        const bool record = !logPath.empty();
        if (record && !writer.Open(logPath, all, qx::RealClock())) {
            std::fprintf(stderr, "bench: %s: %s\n", logPath.c_str(), writer.Error().c_str());
            return f;
        }
        const double cpu0 = ThreadCpuSeconds();
        const qx::qvx::MonitorStats stats =
            qx::qvx::RunMonitorStream(qx::CurrentHost(), CommPort::Instance(),
                                      qx::RamMonitor::Instance(), seconds, [&](int64_t) {
                                          if (!record) return;
                                          writer.Append(qx::ReadLiveValues(
                                              *qx::RamMonitor::Instance().Samples().Active(), all));
                                          writer.FlushIfDue();
                                      });
        f.cpuPercent = 0;
        f.elapsedS = stats.elapsedMs / 1000.0;
        f.packets = stats.goodPackets;
        f.badPackets = stats.badPackets;
        const std::size_t packetBytes = qx::RamMonitor::Instance().PacketLength();
        f.capacity = f.elapsedS * baud_ / 10.0 / static_cast<double>(packetBytes);
        f.received = f.capacity > 0 ? f.packets / f.capacity : 0;
        if (f.elapsedS > 0) f.cpuPercent = (ThreadCpuSeconds() - cpu0) / f.elapsedS * 100.0;
        f.ok = !stats.commFailure && stats.stopped;
        if (record) {
            const bool closed = writer.Close();
            qx::EngineLog log;
            std::string error;
            if (qx::ReadEngineLogFile(logPath, log, error))
                f.rowsInFile = static_cast<int64_t>(log.Rows());
            else
                std::fprintf(stderr, "bench: %s: %s\n", logPath.c_str(), error.c_str());
            std::remove(logPath.c_str());
            f.ok = f.ok && closed && f.rowsInFile == f.packets;
        }
        return f;
    }

  private:
    int baud_;
    int64_t turnaroundUs_;
    std::unique_ptr<qx::emu::PtyEmulator> emulator_;
};

// The run with the median ratio.
TransferFigure Median(std::vector<TransferFigure> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const TransferFigure& a, const TransferFigure& b) { return a.ratio < b.ratio; });
    return runs[runs.size() / 2];
}

double BestRatio(const std::vector<TransferFigure>& runs) {
    double best = 0;
    for (const TransferFigure& f : runs)
        if (f.ok && (best == 0 || f.ratio < best)) best = f.ratio;
    return best;
}

std::string TransferJson(const char* name, const TransferFigure& f) {
    return qx::FormatC(
        "\"%s\": {\"ok\": %s, \"elapsed_s\": %.6f, \"bytes\": %llu, \"exchanges\": %d, "
        "\"wire_s\": %.6f, \"ratio\": %.4f}",
        name, f.ok ? "true" : "false", f.elapsedS, static_cast<unsigned long long>(f.bytes),
        f.exchanges, f.wireS, f.ratio);
}

std::string Json(const std::vector<Row>& rows, const std::vector<AdapterRow>& adapters,
                 bool brief) {
    std::string j = "{\n  \"benchmark\": \"link\",\n  \"brief\": ";
    j += brief ? "true" : "false";
    j += ",\n  \"results\": [\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        auto transfer = [](const char* name, const TransferFigure& f) {
            return qx::FormatC(
                "    \"%s\": {\"ok\": %s, \"elapsed_s\": %.6f, \"bytes\": %llu, \"exchanges\": %d, "
                "\"wire_s\": %.6f, \"ratio\": %.4f}",
                name, f.ok ? "true" : "false", f.elapsedS, static_cast<unsigned long long>(f.bytes),
                f.exchanges, f.wireS, f.ratio);
        };
        j += "   {\"baud\": " + std::to_string(r.baud) + ",\n";
        j += transfer("download", r.download) + ",\n";
        j += transfer("upload", r.upload) + ",\n";
        j += transfer("undo16", r.undo) + ",\n";
        auto monitor = [](const char* name, const MonitorFigure& m) {
            return qx::FormatC(
                "    \"%s\": {\"ok\": %s, \"elapsed_s\": %.3f, \"packets\": %d, "
                "\"bad_packets\": %d, \"capacity\": %.1f, \"received\": %.4f, "
                "\"cpu_percent\": %.3f, \"rows_in_file\": %lld}",
                name, m.ok ? "true" : "false", m.elapsedS, m.packets, m.badPackets, m.capacity,
                m.received, m.cpuPercent, static_cast<long long>(m.rowsInFile));
        };
        j += monitor("monitor", r.monitor) + ",\n";
        j += monitor("recording", r.recording) + ",\n";
        j += qx::FormatC(
            "    \"edit\": {\"streaming_ms\": %.3f, \"idle_ms\": %.3f, \"edits\": %d, "
            "\"packet_ms\": %.3f}}",
            r.editStreamingMs, r.editIdleMs, r.edits, r.packetMs);
        j += i + 1 < rows.size() ? ",\n" : "\n";
    }
    j += "  ],\n  \"adapters\": [\n";
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        const AdapterRow& a = adapters[i];
        j += "   {\"baud\": " + std::to_string(a.baud) + ", \"adapter\": \"" + a.adapter + "\",\n";
        j += "    " + TransferJson("download", a.download) + ",\n";
        j += "    " + TransferJson("undo16", a.undo) + ",\n";
        j += "    " + TransferJson("plain_client", a.plainClient) + ",\n";
        j += qx::FormatC(
            "    \"best_ratio\": {\"download\": %.4f, \"undo16\": %.4f, "
            "\"plain_client\": %.4f}}",
            a.downloadBest, a.undoBest, a.plainClientBest);
        j += i + 1 < adapters.size() ? ",\n" : "\n";
    }
    j += "  ]\n}\n";
    return j;
}

}  // namespace

int main(int argc, char** argv) {
    bool brief = false;
    bool transfersOnly = false;
    int onlyBaud = 0;
    int repsAsked = 0;
    std::string jsonPath = "link_bench.json";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--brief") {
            brief = true;
        } else if (a == "--transfers") {
            transfersOnly = true;
        } else if (a == "--baud" && i + 1 < argc) {
            onlyBaud = std::atoi(argv[++i]);
        } else if (a == "--reps" && i + 1 < argc) {
            repsAsked = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--json" && i + 1 < argc) {
            jsonPath = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: bench [--brief] [--transfers] [--baud N] [--reps N] "
                         "[--json PATH]\n");
            return 2;
        }
    }
    // A profile of its own with the default link settings.
    const std::string profile =
        (std::filesystem::temp_directory_path() / ("qx-bench-" + std::to_string(getpid()) + ".ini"))
            .string();
    qx::SetAppProfile(profile);
    qx::ConsoleHost host;
    std::FILE* quiet = std::fopen("/dev/null", "w");
    if (quiet) host.SetErrorStream(quiet);
    qx::SetCurrentHost(&host);

    const int reps = repsAsked > 0 ? repsAsked : brief ? 1 : 3;
    const double monitorSeconds = brief ? 1.0 : 10.0;
    const int64_t turnaroundUs = 1000;
    std::vector<Row> rows;
    bool allOk = true;
    std::vector<AdapterRow> adapters;
    struct Adapter {
        const char* name;
        int64_t holdUs;
    };
    const Adapter kAdapters[] = {{"plain", 0}, {"16 ms", 16'000}, {"1 ms", 1'000}};
    for (int baud : {9600, 115200}) {
        if (onlyBaud != 0 && baud != onlyBaud) continue;
        for (const Adapter& adapter : kAdapters) {
            const bool plain = adapter.holdUs == 0;
            Row row;
            row.baud = baud;
            AdapterRow arow;
            arow.baud = baud;
            arow.adapter = adapter.name;
            LinkedModule module(baud, turnaroundUs, adapter.holdUs);
            if (!module.Link()) {
                std::fprintf(stderr, "bench: no link at %d baud\n", baud);
                allOk = false;
                if (plain) rows.push_back(row);
                adapters.push_back(arow);
                continue;
            }
            qx::ModuleState doc;
            doc.OnNewDocument();
            std::vector<TransferFigure> downloads;
            std::vector<TransferFigure> uploads;
            std::vector<qx::emu::WriteRecord> writes;
            // Each download is followed by a plain client replaying its writes
            // on the same line, so that both meet the same load on the machine.
            std::vector<TransferFigure> clients;
            for (int i = 0; i < reps; ++i) {
                downloads.push_back(module.Time([&] { return doc.DownloadSettings(); }));
                writes = module.Writes();
                clients.push_back(module.PlainClient(writes));
                if (plain) uploads.push_back(module.Time([&] { return doc.UploadSettings(); }));
            }
            arow.download = Median(downloads);
            arow.plainClient = Median(clients);
            arow.downloadBest = BestRatio(downloads);
            arow.plainClientBest = BestRatio(clients);
            // One step of the history moving all sixteen points of a map, then
            // undone and redone: each point is one acknowledged write.
            std::vector<qx::EditTarget> ramp;
            for (int p = 0; p < 16; ++p) ramp.push_back({qx::SettingKey::Point(2, p), 1.0 + p});
            doc.History().Perform("Interpolate Map 3", ramp);
            std::vector<TransferFigure> undos;
            for (int i = 0; i < reps; ++i) {
                undos.push_back(module.Time([&] { return doc.History().Undo(); }));
                doc.History().Redo();
            }
            arow.undo = Median(undos);
            arow.undoBest = BestRatio(undos);
            allOk = allOk && arow.download.ok && arow.undo.ok && arow.plainClient.ok;
            adapters.push_back(arow);
            if (!plain) continue;
            row.download = arow.download;
            row.undo = arow.undo;
            row.upload = Median(uploads);
            allOk = allOk && row.upload.ok;
            if (transfersOnly) {
                rows.push_back(row);
                continue;
            }
            row.monitor = module.Monitor(monitorSeconds);
            row.recording = module.Monitor(monitorSeconds, profile + ".csv");
            row.editIdleMs = module.EditMs(false, nullptr);
            row.editStreamingMs = module.EditMs(true, &row.edits);
            row.packetMs = static_cast<double>(qx::RamMonitor::Instance().PacketLength()) * 10.0 *
                           1000.0 / baud;
            allOk = allOk && row.upload.ok && row.monitor.ok && row.recording.ok && row.edits > 0;
            rows.push_back(row);
        }
    }
    qx::SetCurrentHost(nullptr);
    if (quiet) std::fclose(quiet);
    std::remove(profile.c_str());

    std::printf("%-8s %-10s %10s %8s %10s %8s\n", "baud", "transfer", "elapsed s", "bytes",
                "wire s", "ratio");
    for (const Row& r : rows) {
        for (const auto& [name, f] :
             {std::pair<const char*, const TransferFigure&>{"download", r.download},
              std::pair<const char*, const TransferFigure&>{"upload", r.upload},
              std::pair<const char*, const TransferFigure&>{"undo16", r.undo}}) {
            std::printf("%-8d %-10s %10.3f %8llu %10.3f %8.3f\n", r.baud, name, f.elapsedS,
                        static_cast<unsigned long long>(f.bytes), f.wireS, f.ratio);
        }
    }
    std::printf("\n%-8s %-10s %10s %8s %6s %10s %9s %8s %8s\n", "baud", "monitor", "seconds",
                "packets", "bad", "capacity", "received", "cpu %", "rows");
    for (const Row& r : rows) {
        for (const auto& [name, m] :
             {std::pair<const char*, const MonitorFigure&>{"plain", r.monitor},
              std::pair<const char*, const MonitorFigure&>{"recording", r.recording}}) {
            std::printf("%-8d %-10s %10.2f %8d %6d %10.1f %9.3f %8.3f %8lld\n", r.baud, name,
                        m.elapsedS, m.packets, m.badPackets, m.capacity, m.received, m.cpuPercent,
                        static_cast<long long>(m.rowsInFile));
        }
    }
    // Ratios as median / best of the runs.
    std::printf("\n%-8s %-8s %15s %15s %15s\n", "baud", "adapter", "download", "undo16",
                "plain client");
    for (const AdapterRow& a : adapters) {
        std::printf("%-8d %-8s %7.3f / %5.3f %7.3f / %5.3f %7.3f / %5.3f\n", a.baud, a.adapter,
                    a.download.ratio, a.downloadBest, a.undo.ratio, a.undoBest, a.plainClient.ratio,
                    a.plainClientBest);
    }
    std::printf("\n%-8s %12s %18s %14s %6s\n", "baud", "packet ms", "edit streaming ms",
                "edit idle ms", "edits");
    for (const Row& r : rows) {
        std::printf("%-8d %12.2f %18.2f %14.2f %6d\n", r.baud, r.packetMs, r.editStreamingMs,
                    r.editIdleMs, r.edits);
    }
    std::ofstream(jsonPath) << Json(rows, adapters, brief);
    std::printf("\nfigures written to %s\n", jsonPath.c_str());
    return allOk ? 0 : 1;
}
