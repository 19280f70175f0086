// Writes the sample ride installed with the program: the emulator's engine
// model sampled as the module streams it (15 packets a second) through a few
// pulls, in the log format. Usage: quorvexi-samplelog FILE [SECONDS]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "core/log/LogFormat.h"
#include "emulator/EngineModel.h"
#include "emulator/ModuleMemory.h"

namespace {
constexpr const char* kUsage = "usage: quorvexi-samplelog FILE [SECONDS]\n";
}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::cout << kUsage
                  << "Writes the sample ride (the emulator's engine model, 15 packets a second)\n"
                     "to FILE in the engine-log format; SECONDS defaults to 36.\n";
        return 0;
    }
    // A word that looks like an option is never taken for the file to write.
    if (argc < 2 || argc > 3 || argv[1][0] == '-') {
        std::cerr << kUsage;
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 36.0;
    using namespace qx;
    emu::Memory memory{};
    emu::InstallDefaultImage(memory, emu::kFirmware10, 1234);
    const emu::LiveLayout layout = emu::LayoutForFirmware(emu::kFirmware10);
    const emu::EngineModel engine(0x2A17);
    const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6};
    const uint16_t at[] = {layout.engineSpeed,  layout.acceleration, layout.peakAcceleration,
                           layout.frontAdvance, layout.rearAdvance,  layout.battery,
                           layout.voesRetard};
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << LogHeader(all);
    // A 63-byte packet at 9600 baud takes 65.6 ms.
    const int64_t packetUs = 65625;
    for (int64_t t = 0; t <= static_cast<int64_t>(seconds * 1e6); t += packetUs) {
        engine.Update(memory, layout, t);
        std::vector<double> values;
        for (int q = 0; q < 7; ++q) {
            const int64_t raw = q == 0 ? (memory[at[q]] << 8) | memory[at[q] + 1] : memory[at[q]];
            values.push_back(LogValueOf(q, raw));
        }
        out << LogRow((t + 500) / 1000, all, values);
    }
    out.flush();
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
