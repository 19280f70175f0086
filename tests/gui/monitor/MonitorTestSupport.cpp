#include "MonitorTestSupport.h"

#include <QCoreApplication>
#include <QDir>

#include "link/Request.h"

namespace qx::test {

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "monitor_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* a = new QApplication(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));
        return a;
    }();
    return *app;
}

std::string SavePicture(const QImage& image, const QString& name) {
    QString dir = qEnvironmentVariable("QX_BUILD_DIR");
    if (dir.isEmpty()) dir = QDir::currentPath();
    const QString path = QDir(dir).filePath(name);
    image.save(path, "PNG");
    return path.toStdString();
}

std::vector<uint8_t> MonitorStartFrame(uint8_t firmware) {
    const bool old = firmware == 0x10 || firmware == 0xFF;
    const Request r = old ? Request::MonitorStart(0x45, 57) : Request::MonitorStart(0x40, 14);
    uint8_t buffer[16];
    const std::size_t n = r.BuildFrame(buffer);
    return {buffer, buffer + n};
}

std::vector<uint8_t> MonitorPacket(uint8_t firmware, const std::vector<Poke>& pokes) {
    const bool old = firmware == 0x10 || firmware == 0xFF;
    const uint16_t start = old ? 0x45 : 0x40;
    std::vector<uint8_t> data(old ? 57 : 14, 0);
    for (const Poke& p : pokes) data.at(static_cast<std::size_t>(p.address - start)) = p.value;
    return Frame(0x83, data);
}

MonitorWindowTest::MonitorWindowTest() {
    TestApp();
    document.InitializeDefaults();
    view = std::make_unique<gui::MapGraphView>();
    view->SetCaptionHeight(18);
    view->resize(800, 600);
    view->SetDocument(&document);
    view->OnInitialUpdate();
    view->show();
    QCoreApplication::processEvents();
}

MonitorWindowTest::~MonitorWindowTest() {
    view.reset();
    QCoreApplication::processEvents();
}

gui::MonitorWindow& MonitorWindowTest::Make() {
    window = new gui::MonitorWindow(view.get());
    QCoreApplication::processEvents();
    return *window;
}

void MonitorWindowTest::Destroy() {
    delete window;
    window = nullptr;
    view->SetMonitorWidthSource({});
}

gui::MonitorWindow& MonitorWindowTest::Restart() {
    Destroy();
    return Make();
}

int MonitorWindowTest::ProfileInt(const char* key, int fallback) const {
    return AppProfile().GetInt("Settings", key, fallback);
}

void MonitorWindowTest::LinkStreaming(uint8_t firmware, const std::vector<uint8_t>& packet,
                                      int periodMs) {
    Link(firmware);
    device.StreamOnRequest(MonitorStartFrame(firmware), packet, periodMs);
}

bool MonitorWindowTest::ReadOnePacket() {
    RamMonitor& m = RamMonitor::Instance();
    if (!m.Start()) return false;
    if (!Port().WaitForData(m.PacketLength())) return false;
    return m.UpdateRamImage(nullptr);
}

}  // namespace qx::test
