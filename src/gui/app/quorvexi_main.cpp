// The desktop program: quorvexi [--simulate] [--profile FILE] [FILE.qvx]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "QxVersion.h"
#include "core/restore/RestorePoints.h"
#include "gui/app/CalderixApp.h"
#include "gui/sheet/SheetExport.h"

namespace {

constexpr const char* kUsage =
    "usage: quorvexi [--simulate] [--profile FILE] [FILE.qvx]\n"
    "       quorvexi --export-sheet FILE.qvx OUT.pdf [--page-size a4|letter]\n";
constexpr const char* kOptions =
    "  --simulate      link to the built-in module emulator (demo mode)\n"
    "  --profile FILE  use FILE as the profile\n"
    "  --export-sheet FILE.qvx OUT.pdf\n"
    "                  write the tune sheet of FILE.qvx as a PDF, without a window\n"
    "  --page-size a4|letter\n"
    "                  the sheet's paper (default: Letter in a US locale, else A4)\n"
    "  --version       show the version of quorvexi\n"
    "  --help, -h      this text\n";

bool Connects(int family, const void* address, socklen_t size) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;  // cannot tell: Qt will
    const bool ok = ::connect(fd, static_cast<const sockaddr*>(address), size) == 0;
    ::close(fd);
    return ok;
}

// Whether an X server takes connections on a local display (":N", "unix:N",
// "localhost:N", each perhaps with ".S"). Other hosts are left to Qt.
bool XServerAnswers(const std::string& display) {
    const std::size_t colon = display.rfind(':');
    if (colon == std::string::npos) return true;
    const std::string host = display.substr(0, colon);
    const char* digits = display.c_str() + colon + 1;
    char* end = nullptr;
    const long n = std::strtol(digits, &end, 10);
    if (end == digits || n < 0 || n > 65535 - 6000 || (*end != '\0' && *end != '.')) return true;
    if (host == "localhost") {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_port = htons(static_cast<uint16_t>(6000 + n));
        in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return Connects(AF_INET, &in, sizeof in);
    }
    if (!host.empty() && host != "unix") return true;
    // The abstract name first, as the X library tries it, then the file.
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(n);
    for (const std::size_t skip : {std::size_t{1}, std::size_t{0}}) {
        sockaddr_un un{};
        un.sun_family = AF_UNIX;
        std::memcpy(un.sun_path + skip, path.c_str(), path.size());
        const auto size =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + skip + path.size());
        if (Connects(AF_UNIX, &un, size)) return true;
    }
    return false;
}

// Why the window system cannot be reached, or nothing. Qt would abort on its
// own (exit 134, a hint to reinstall) where one line and exit 1 say it all.
// A platform or display chosen on the command line or by QT_QPA_PLATFORM is
// left to Qt.
std::string MissingDisplay(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        for (const char* qtOption : {"-platform", "--platform", "-display", "--display"})
            if (std::strcmp(argv[i], qtOption) == 0) return {};
    const auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v != nullptr && *v != '\0';
    };
    if (set("QT_QPA_PLATFORM") || set("WAYLAND_DISPLAY")) return {};
    if (!set("DISPLAY"))
        return "no display to open windows on (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    const std::string display = std::getenv("DISPLAY");
    if (!XServerAnswers(display)) return "no X server answers on DISPLAY=" + display;
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    // Answered before the QApplication exists, which would need a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quorvexi %s\n", qx::kVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s%s", kUsage, kOptions);
            return 0;
        }
    }
    // The sheet is made offscreen: no display needed.
    if (const int rc = qx::gui::RunExportSheet(argc, argv); rc >= 0) return rc;
    if (const std::string why = MissingDisplay(argc, argv); !why.empty()) {
        std::fprintf(stderr, "quorvexi: %s\n", why.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    qx::gui::SetApplicationNames();
    QString error;
    const std::optional<qx::gui::StartOptions> options =
        qx::gui::ParseCommandLine(QApplication::arguments().mid(1), &error);
    if (!options) {
        std::fprintf(stderr, "quorvexi: %s\n%s", error.toLocal8Bit().constData(), kUsage);
        return 2;
    }
    qx::EnableUserRestorePoints();
    qx::gui::CCalderixApp calderix;
    if (!calderix.InitInstance(*options)) return calderix.HandedToRunningCopy() ? 0 : 1;
    QApplication::setQuitOnLastWindowClosed(true);
    return QApplication::exec();
}
