// Unplugging and plugging back the module's adapter: the program waits for the
// same stable name to come back, and after the relink writes only what was
// edited meanwhile; another module behind that name is never written piecemeal.
// The module is the emulator on a pseudo-terminal behind a link of our own.
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "ReflexKeys.h"
#include "core/host/CommandIds.h"
#include "core/maps/ModuleMap.h"
#include "emulator/PtyEmulator.h"
#include "gui/FrameOnPortTest.h"
#include "support/MessageRecorder.h"

namespace qx::test {
namespace {

namespace fs = std::filesystem;

class ReconnectTest : public FrameOnPortTest {
  protected:
    void SetUp() override {
        FrameOnPortTest::SetUp();
        device = QDir(dir.path()).filePath("usb-FTDI_FT232R_A1B2C3-if00-port0").toStdString();
        AppProfile().WriteInt("Settings", "Timeout", 100);
        host->SetMessageAnswerer(
            recorder.Recording([this](const gui::MessageRecord& m) -> std::optional<MsgResult> {
                asked[m.caption] += 1;
                const bool relink =
                    m.caption == "Module Linked Again" || m.caption == "Another Module";
                if (reflex && relink) {
                    AnswerNextBoxBy(*reflex);
                    reflex.reset();
                    return std::nullopt;
                }
                if (auto it = answers.find(m.caption); it != answers.end()) return it->second;
                return m.buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
            }));
        QObject::connect(host.get(), &gui::QtHost::linkIndicatorChanged, frame.get(),
                         &gui::CMainFrame::SetLinkIndicator);
        frame->View()->OnInitialUpdate();
        Plug(emu::EmulatorConfig{});
    }
    void TearDown() override {
        FrameOnPortTest::TearDown();
        module.reset();
    }

    // A module behind the stable name, holding what the last one held.
    void Plug(const emu::EmulatorConfig& config) {
        std::vector<uint8_t> memory;
        if (module) {
            for (int a = 0xB600; a < 0xB700; ++a)
                memory.push_back(module->Peek(static_cast<uint16_t>(a)));
        }
        auto next = std::make_unique<emu::PtyEmulator>(config);
        std::string why;
        ASSERT_TRUE(next->Start(&why)) << why;
        for (std::size_t i = 0; i < memory.size(); ++i)
            next->Poke(static_cast<uint16_t>(0xB600 + i), memory[i]);
        module = std::move(next);
        fs::remove(device);
        fs::create_symlink(module->SlavePath(), device);
    }
    void Unplug() {
        module->Vanish();
        fs::remove(device);
    }
    void Link() { frame->Commands().Route(cmd::kLink); }
    // The first link, taking the module's settings.
    void LinkUploading() {
        answers["Upload Module Settings"] = MsgResult::Yes;
        Link();
        ASSERT_TRUE(CommPort::Instance().IsLinked());
    }
    // Pulls the adapter and edits the rev limit by delta: the write finds the
    // module gone, and the edit made again is kept. Answers the limit before.
    double UnplugAndEditRevLimit(double delta) {
        Unplug();
        const double before = document.revLimit().GetValue();
        document.revLimit().SetValue(before + delta, true);
        EXPECT_FALSE(CommPort::Instance().IsLinked());
        EXPECT_TRUE(document.revLimit().SetValue(before + delta, true));
        return before;
    }
    // Whether the status bar's notice about the adapter says text.
    ::testing::AssertionResult NoticeSays(const std::string& text) {
        const std::string notice = frame->ReconnectText().toStdString();
        if (notice.find(text) != std::string::npos) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the notice is \"" << notice << "\"";
    }
    ModuleValue& At(int map, int point) { return *document.Map(map)->Point(point).value; }

    MessageRecorder recorder;  // outlives the host that calls it
    std::unique_ptr<emu::PtyEmulator> module;
    std::map<std::string, MsgResult> answers;
    std::map<std::string, int> asked;
    std::optional<Reflex> reflex;  // answers the next relink question
};

TEST_F(ReconnectTest, EditsMadeWhileUnpluggedAreWrittenAloneAfterTheRelink) {
    LinkUploading();
    ASSERT_TRUE(document.revLimit().InSync());

    // The adapter is pulled: the next write finds it gone and the link breaks.
    Unplug();
    const double advance = At(0, 3).GetValue();
    At(0, 3).SetValue(advance + 2, true);
    ASSERT_FALSE(CommPort::Instance().IsLinked());
    EXPECT_TRUE(CommPort::Instance().LastBreakWasDeviceGone());
    EXPECT_TRUE(NoticeSays("waiting for " + device));

    // Edits while it is away are kept, out of sync.
    SetMirrorSetting(true);
    ASSERT_TRUE(At(0, 3).SetValue(advance + 2, true));  // front and rear advance
    ASSERT_TRUE(At(4, 9).SetValue(At(4, 9).GetValue() + 1, true));
    frame->CheckReconnect();
    EXPECT_TRUE(NoticeSays("waiting"));

    // Plugged back: another pseudo-terminal behind the same stable name.
    Plug(emu::EmulatorConfig{});
    frame->CheckReconnect();
    EXPECT_TRUE(NoticeSays("is back"));

    answers["Module Linked Again"] = MsgResult::Yes;
    Link();
    ASSERT_TRUE(CommPort::Instance().IsLinked());
    EXPECT_EQ(asked["Module Linked Again"], 1);
    EXPECT_EQ(asked["Upload Module Settings"], 1);  // only at the first link
    EXPECT_TRUE(frame->ReconnectText().isEmpty());
    const std::vector<emu::WriteRecord> writes = module->Counters().writes;
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].address, At(0, 3).GetAddress());
    EXPECT_EQ(writes[1].address, At(1, 3).GetAddress());
    EXPECT_EQ(writes[2].address, At(4, 9).GetAddress());
    for (const auto& w : writes) EXPECT_EQ(module->Peek(w.address), w.value);
    EXPECT_EQ(document.CountValuesTheModuleLacks(), 0);
    for (ModuleValue* v : document.ModuleValues()) EXPECT_TRUE(v->InSync());
}

TEST_F(ReconnectTest, AnotherModuleBehindTheSameNameIsNeverWrittenPiecemeal) {
    LinkUploading();
    UnplugAndEditRevLimit(512);

    emu::EmulatorConfig other;
    other.serialNumber = 4711;
    Plug(other);
    answers["Another Module"] = MsgResult::Cancel;  // neither download nor upload
    Link();
    ASSERT_TRUE(CommPort::Instance().IsLinked());
    EXPECT_EQ(asked["Another Module"], 1);
    EXPECT_EQ(asked["Module Linked Again"], 0);
    EXPECT_TRUE(module->Counters().writes.empty());
    EXPECT_FALSE(document.revLimit().InSync());
    EXPECT_FALSE(document.KnowsModuleBytes());
}

// The relink questions answered by reflex (Enter, Escape, the close button)
// write nothing and keep the edit made while the adapter was out, whether the
// same module comes back or another one.
TEST_F(ReconnectTest, ReflexKeysAtTheRelinkQuestionsWriteNothingAndKeepTheEdit) {
    answers["Upload Module Settings"] = MsgResult::Yes;
    int serial = 4711;
    for (bool another : {false, true}) {
        for (Reflex key : {Reflex::Enter, Reflex::Escape, Reflex::Close}) {
            SCOPED_TRACE(std::string(ReflexName(key)) + (another ? " at another" : " at same"));
            if (!document.KnowsModuleBytes()) {
                // Another module made the picture unknown: upload from this one first.
                if (CommPort::Instance().IsLinked()) CommPort::Instance().BreakLink();
                Link();
                ASSERT_TRUE(document.KnowsModuleBytes());
            }
            ASSERT_TRUE(CommPort::Instance().IsLinked());
            const double before = UnplugAndEditRevLimit(256);
            const double edited = document.revLimit().GetValue();
            ASSERT_NE(edited, before);
            emu::EmulatorConfig config;
            if (another) config.serialNumber = ++serial;
            Plug(config);
            asked.clear();
            reflex = key;
            Link();
            ASSERT_TRUE(CommPort::Instance().IsLinked());
            EXPECT_EQ(asked[another ? "Another Module" : "Module Linked Again"], 1);
            EXPECT_FALSE(reflex.has_value()) << "the question was not asked";
            EXPECT_TRUE(module->Counters().writes.empty());
            EXPECT_EQ(document.revLimit().GetValue(), edited);
            EXPECT_FALSE(document.revLimit().InSync());
            EXPECT_EQ(asked["Save changes to Untitled?"], 0);
        }
    }
}

// A pull while linked and idle is noticed without an exchange: the link
// breaks, an edit made next stays in the document out of sync, and the status
// bar follows the adapter as it comes back, goes again and a Ctrl+L fails.
TEST_F(ReconnectTest, APullWhileIdleIsNoticedAndTheNoticeStaysTrue) {
    LinkUploading();
    frame->CheckLinkedAdapter();
    EXPECT_TRUE(CommPort::Instance().IsLinked()) << "nothing was pulled";
    EXPECT_TRUE(module->Counters().writes.empty());

    Unplug();
    frame->CheckLinkedAdapter();
    ASSERT_FALSE(CommPort::Instance().IsLinked());
    EXPECT_TRUE(NoticeSays("waiting for"));
    const double before = document.revLimit().GetValue();
    EXPECT_TRUE(document.revLimit().SetValue(before + 256, true));
    EXPECT_EQ(document.revLimit().GetValue(), before + 256);
    EXPECT_FALSE(document.revLimit().InSync());

    const struct {
        bool plugged;
        const char* says;
    } steps[] = {{true, "is back: Ctrl+L"}, {false, "waiting for"}, {true, "is back: Ctrl+L"}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.says);
        if (step.plugged)
            Plug(emu::EmulatorConfig{});
        else
            Unplug();
        frame->CheckReconnect();
        EXPECT_TRUE(NoticeSays(step.says));
    }
    // Pulled again and Ctrl+L pressed before the next look: the try fails and
    // the notice says what it found.
    Unplug();
    Link();
    EXPECT_FALSE(CommPort::Instance().IsLinked());
    EXPECT_TRUE(NoticeSays("waiting for"));
    EXPECT_EQ(document.revLimit().GetValue(), before + 256);
}

// A profile Baud Rate that is no speed is said before linking, naming the
// value, once per run; the link still runs (at the default speed).
TEST_F(ReconnectTest, AProfileSpeedThatIsNoneIsSaidOnceBeforeLinking) {
    ASSERT_TRUE(AppProfile().WriteString("Settings", "Baud Rate", "abc"));
    for (int round = 0; round < 2; ++round) {
        Link();
        ASSERT_TRUE(CommPort::Instance().IsLinked());
        CommPort::Instance().BreakLink();
    }
    EXPECT_EQ(asked["Serial Port Settings"], 1);
    int said = 0;
    for (const gui::MessageRecord& m : recorder.Messages())
        if (m.caption == "Serial Port Settings" &&
            m.text.find("Baud Rate \"abc\"") != std::string::npos &&
            m.text.find("9600 baud") != std::string::npos)
            ++said;
    EXPECT_EQ(said, 1);
}

}  // namespace
}  // namespace qx::test
