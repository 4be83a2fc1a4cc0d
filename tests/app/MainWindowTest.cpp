#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>

#include "MainWindowRig.h"
#include "platform/QtModalService.h"
#include "platform/ReplacementFile.h"
#include "render/EcgPane.h"
#include "render/TraceOffset.h"

namespace app::test {
namespace {

namespace ids = resources::ids;
namespace icons = resources::icons;

void write(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
}

long long lines(const std::string& name) {
    const std::string text = testsupport::readFile(name);
    return std::count(text.begin(), text.end(), '\n');
}

bool anySlotEnabled(platform::MainDialog& dialog) {
    for (int id = ids::firstSlot; id < ids::firstSlot + 10; ++id) {
        if (dialog.isEnabled(id)) {
            return true;
        }
    }
    return false;
}

TEST_F(MainWindowTest, AfterStartUpTheControlsShowTheDefaultsAndTheProgramIsIdle) {
    write("REC.txt", "1.5\n-2\n");
    open();
    EXPECT_EQ(dialog().text(ids::rateDisplay), "48");
    EXPECT_EQ(dialog().listEntries(ids::sampleRateList),
              (std::vector<std::string>{"199680", "399360", "798720"}));
    EXPECT_EQ(dialog().listSelection(ids::sampleRateList), 0);
    EXPECT_EQ(dialog().listEntries(ids::fftList),
              (std::vector<std::string>{"1024", "2048", "4096", "8192"}));
    EXPECT_EQ(dialog().listSelection(ids::fftList), 2);
    EXPECT_EQ(dialog().listEntries(ids::speedList),
              (std::vector<std::string>{"12.5 mm/sec", "25   mm/sec", "50   mm/sec"}));
    EXPECT_EQ(dialog().listSelection(ids::speedList), 1);
    EXPECT_EQ(dialog().listEntries(ids::gainList),
              (std::vector<std::string>{"5  mm/mV", "10 mm/mV", "20 mm/mV"}));
    EXPECT_EQ(dialog().listSelection(ids::gainList), 0);
    EXPECT_DOUBLE_EQ(controller().speedFactor, 2.08);
    EXPECT_DOUBLE_EQ(controller().gainFactor, 3.7);
    EXPECT_TRUE(dialog().isChecked(ids::bits16));
    EXPECT_FALSE(dialog().isChecked(ids::bits8));
    EXPECT_TRUE(dialog().isChecked(ids::firstSlot));
    EXPECT_EQ(controller().selectedSlot(), 1);
    EXPECT_FALSE(dialog().isEnabled(ids::filter));
    EXPECT_EQ(dialog().windowIcon(), icons::window);
    EXPECT_EQ(dialog().icon(ids::aboutButton), icons::about);
    EXPECT_TRUE(dialog().hasPicture(ids::scalePicture));

    // The offset table: ten single-precision steps from -9.6, the fourth not
    // quite zero; the trace offset keeps its start value.
    const std::vector<float>& offsets = controller().offsetSlider.values();
    ASSERT_EQ(offsets.size(), 10u);
    EXPECT_FLOAT_EQ(offsets.front(), -9.6f);
    EXPECT_FLOAT_EQ(offsets.back(), 19.2f);
    EXPECT_NE(offsets[3], 0.0f);
    EXPECT_LT(std::abs(offsets[3]), 1e-6f);
    EXPECT_EQ(controller().offsetSlider.position(), 4);
    EXPECT_EQ(controller().bufferScroller.values(), (std::vector<int>{4096, 3072, 2048, 1024}));

    // The first start/stop command stored the previous run's recording in
    // slot 1 and left the program idle, ready to record, on paper.
    EXPECT_TRUE(controller().idle);
    EXPECT_EQ(dialog().icon(ids::startStop), icons::readyToRecord);
    EXPECT_EQ(testsupport::readFile("REC1.txt"), "1.500000 \n-2.000000 \n");
    EXPECT_EQ(controller().pane(0).record().count, 2);
    EXPECT_EQ(controller().pane(4).surface().pixel(20, 50), render::EcgPane::gridColour);
}

TEST_F(MainWindowTest, TheDevicesFormatsChooseBitDepthAndRates) {
    open(realTime(), [](ChosenDevice& d) {
        d.formats = platform::WAVE_FORMAT_1M08 | platform::WAVE_FORMAT_4S08;
    });
    EXPECT_TRUE(dialog().isChecked(ids::bits8));
    EXPECT_FALSE(dialog().isEnabled(ids::bits16));
    EXPECT_EQ(controller().bitsPerSample, 8);
    // The worker records what the controls show, so this device can record.
    EXPECT_EQ(controller().painter().bitsPerSample(), 8);
    EXPECT_EQ(dialog().listEntries(ids::sampleRateList),
              (std::vector<std::string>{"199680", "798720"}));
    startRecording();
    EXPECT_EQ(dialog().icon(ids::startStop), icons::recording);
}

TEST_F(MainWindowTest, ADeviceWithoutTheLowRateOffersTheOthers) {
    open(realTime(), [](ChosenDevice& d) {
        d.formats = platform::WAVE_FORMAT_2M16 | platform::WAVE_FORMAT_4M16;
        d.acceptedRates = {399360, 798720};
    });
    EXPECT_EQ(dialog().listEntries(ids::sampleRateList),
              (std::vector<std::string>{"399360", "798720"}));
    EXPECT_EQ(controller().sampleRate, 399360);
    startRecording();
}

TEST_F(MainWindowTest, ADeviceNamingNoRateGroupRecordsAtARateItAccepts) {
    open(realTime(), [](ChosenDevice& d) {
        d.formats = 0;
        d.acceptedRates = {798720};
    });
    EXPECT_TRUE(dialog().listEntries(ids::sampleRateList).empty());
    EXPECT_EQ(controller().sampleRate, 798720);
    startRecording();
    ASSERT_TRUE(pumpUntil([&] { return controller().painter().processedBuffers() > 5; }));
}

// The records folder removed while recording: the stop says that the
// recording went with it, where it said nothing.
TEST_F(MainWindowTest, ARecordsFolderRemovedWhileRecordingIsSaidAtTheStop) {
    open();
    startRecording();
    ASSERT_TRUE(pumpUntil([&] { return controller().painter().processedBuffers() > 10; }));
    const std::string folder = std::filesystem::current_path().string();
    std::filesystem::remove_all(folder);
    command(ids::startStop);
    ASSERT_TRUE(pumpUntil([&] { return !modal().boxes.empty(); }));
    const std::string text = modal().boxes.back().text;
    EXPECT_NE(
        text.find("The records folder " + folder + " was removed or unmounted while recording"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("could not be kept"), std::string::npos) << text;
}

// What a screen reader says of the controls, read through Qt's
// accessibility interface, and the shortcuts the tooltips name.
TEST_F(MainWindowTest, EveryControlIsNamedForScreenReaders) {
    using Text = platform::MainDialog::Accessible;
    open();
    const auto name = [&](int id) { return dialog().accessibleText(id, Text::Name); };
    const auto description = [&](int id) { return dialog().accessibleText(id, Text::Description); };
    for (const resources::ControlTemplate& c : resources::mainDialogTemplate().controls) {
        if (c.id != resources::noId) {
            EXPECT_FALSE(name(c.id).empty()) << c.id;
            EXPECT_FALSE(description(c.id).empty()) << c.id;
        }
    }
    EXPECT_EQ(name(ids::startStop), "Start recording");
    EXPECT_EQ(name(ids::firstPane), "Strip 1");
    EXPECT_EQ(description(ids::firstPane), "0:00.0 to 0:09.4");
    EXPECT_EQ(name(ids::firstPane + 1), "Strip 2");
    EXPECT_EQ(description(ids::firstPane + 1), "0:09.4 to 0:18.9");
    EXPECT_EQ(name(ids::firstSlot + 2), "Record slot 3");
    EXPECT_EQ(name(ids::offsetSlider), "Trace offset");
    EXPECT_EQ(name(ids::filter), "Filter");
    EXPECT_EQ(name(platform::DialogMessage::windowBar), "Strips");
    EXPECT_NE(dialog().accessibleText(ids::saveRecorded, Text::ToolTip).find("Ctrl+S"),
              std::string::npos);
    EXPECT_NE(dialog().accessibleText(ids::printGraph, Text::ToolTip).find("Ctrl+P"),
              std::string::npos);
    EXPECT_NE(dialog().accessibleText(0, Text::ToolTip).find("PageUp/PageDown"), std::string::npos);
    // The template's own texts stay as they are.
    EXPECT_EQ(dialog().text(ids::filter), " F I L T E R ");

    startRecording();
    EXPECT_EQ(name(ids::startStop), "Stop recording");
    // At half the chart speed a strip holds twice the time.
    dialog().click(ids::startStop);
    dialog().selectListEntry(ids::speedList, 0);
    command(ids::speedList, platform::listSelectionConfirmed);
    EXPECT_EQ(description(ids::firstPane + 1), "0:18.9 to 0:37.7");
}

// Ctrl+S is the "SAVE  RECORDED" button: refused while recording, the save
// dialog otherwise.
TEST_F(MainWindowTest, CtrlSSavesTheRecordingAsTheButtonDoes) {
    open();
    startRecording();
    dialog().pressKey(platform::MainDialog::Key::CtrlS);
    ASSERT_EQ(modal().boxes.size(), 1u);
    EXPECT_EQ(modal().boxes[0].text, "Please STOP Recording first");
    EXPECT_TRUE(modal().saveDialogs.empty());
    dialog().click(ids::startStop);
    dialog().pressKey(platform::MainDialog::Key::CtrlS);
    EXPECT_EQ(modal().saveDialogs.size(), 1u);
}

TEST_F(MainWindowTest, StartAndStopStoreTheRecordingInTheCheckedSlot) {
    open();
    dialog().click(ids::startStop);
    EXPECT_FALSE(controller().idle);
    EXPECT_EQ(dialog().icon(ids::startStop), icons::recording);
    EXPECT_FALSE(anySlotEnabled(dialog()));
    EXPECT_FALSE(dialog().isEnabled(ids::filter));
    ASSERT_TRUE(pumpUntil([&] { return controller().painter().processedBuffers() > 20; }));
    dialog().click(ids::startStop);
    EXPECT_TRUE(controller().idle);
    EXPECT_EQ(dialog().icon(ids::startStop), icons::readyToRecord);
    EXPECT_TRUE(dialog().isEnabled(ids::firstSlot));
    EXPECT_FALSE(dialog().isEnabled(ids::filter));
    EXPECT_GE(lines("REC.txt"), 19);
    EXPECT_EQ(testsupport::readFile("REC1.txt"), testsupport::readFile("REC.txt"));
    EXPECT_TRUE(modal().boxes.empty());
}

TEST_F(MainWindowTest, ARecordingLeftRunningStopsItselfAndIsStored) {
    open(unpaced());
    startRecording();
    ASSERT_TRUE(pumpUntil([&] { return controller().idle; }, 180s));
    EXPECT_EQ(dialog().icon(ids::startStop), icons::readyToRecord);
    EXPECT_EQ(lines("REC.txt"), 7 * 461 - 4);
    EXPECT_EQ(testsupport::readFile("REC1.txt"), testsupport::readFile("REC.txt"));
    // A second request from the same recording, crossing the stop, takes
    // the stop path again and leaves the program idle.
    command(ids::startStop, 0, -10);
    EXPECT_TRUE(controller().idle);
    EXPECT_FALSE(controller().painter().isRecording());
}

TEST_F(MainWindowTest, AStaleStopRequestDoesNotEndTheNextRecording) {
    open();
    startRecording();
    // The worker of an earlier recording asked to stop; this one has just
    // begun and has not asked.
    command(ids::startStop, 0, 0xFFF6);
    EXPECT_FALSE(controller().idle);
    EXPECT_TRUE(controller().painter().isRecording());
}

TEST_F(MainWindowTest, AFailedStartStaysIdle) {
    open();
    device_->simulator.refuseFormats(true);
    dialog().click(ids::startStop);
    EXPECT_TRUE(controller().idle);
    EXPECT_EQ(dialog().icon(ids::startStop), icons::readyToRecord);
    EXPECT_FALSE(dialog().isEnabled(ids::filter));
    EXPECT_FALSE(dialog().isEnabled(ids::printGraph));
    EXPECT_FALSE(anySlotEnabled(dialog()));
    ASSERT_EQ(modal().boxes.size(), 1u);
    EXPECT_EQ(modal().boxes[0].caption, "Recorder");
    EXPECT_EQ(modal().boxes[0].text, "Format not supported");
    EXPECT_EQ(modal().boxes[0].icon, platform::BoxIcon::None);
}

// A box's nested event loop may deliver commands that enter the capture
// worker again: no box may be open while its lock is held. Another thread
// tries the lock while each box is open (a try on this thread would prove
// nothing, the lock being re-entrant).
TEST_F(MainWindowTest, BoxesAreShownWithTheCaptureWorkersLockFree) {
    open();
    std::vector<bool> lockFree;
    modal().whileShown = [&] {
        auto tried =
            std::async(std::launch::async, [&] { return controller().painter().isRecording(); });
        lockFree.push_back(tried.wait_for(std::chrono::seconds(5)) == std::future_status::ready);
    };
    // A copy into the slot that fails at the stop.
    startRecording();
    ASSERT_TRUE(pumpUntil([&] { return controller().painter().processedBuffers() > 3; }));
    platform::ReplacementFile::failStepForTests(platform::ReplacementFile::Step::Sync, EIO);
    dialog().click(ids::startStop);
    platform::ReplacementFile::failStepForTests(std::nullopt);
    // A start the sound input refuses.
    device_->simulator.refuseFormats(true);
    dialog().click(ids::startStop);
    // A copy for the medical centre that fails.
    std::filesystem::remove("REC1.txt");
    modal().saveAnswer = (std::filesystem::current_path() / "sent.txt").string();
    command(ids::saveRecorded);
    // A print dialog that is cancelled.
    command(ids::printGraph);
    modal().whileShown = nullptr;

    ASSERT_EQ(modal().boxes.size(), 4u);
    EXPECT_EQ(modal().boxes[0].caption, "Recording not stored");
    EXPECT_EQ(modal().boxes[1].caption, "Recorder");
    EXPECT_EQ(modal().boxes[2].caption, "SAVE  RECORDED");
    EXPECT_EQ(modal().boxes[3].caption, "can not create print Dialog");
    EXPECT_EQ(lockFree, std::vector<bool>(6, true));
}

TEST_F(MainWindowTest, SaveRecordedWhileRecordingOnlyAsksToStop) {
    open();
    startRecording();
    dialog().click(ids::saveRecorded);
    ASSERT_EQ(modal().boxes.size(), 1u);
    EXPECT_EQ(modal().boxes[0].text, "Please STOP Recording first");
    EXPECT_EQ(modal().boxes[0].caption, "Recording is still ACTIVE ");
    EXPECT_EQ(modal().boxes[0].icon, platform::BoxIcon::Error);
    EXPECT_TRUE(modal().dialogs.empty());
    EXPECT_FALSE(controller().idle);
    EXPECT_TRUE(dialog().isEnabled(ids::saveRecorded));
}

TEST_F(MainWindowTest, KeysMenusAndTheAboutDialog) {
    open();
    dialog().pressKey(platform::MainDialog::Key::Escape);
    pumpFor(50ms);
    EXPECT_FALSE(dialog().isDestroyed());
    EXPECT_NE(shell_->controller(), nullptr);

    // A right click shows the one-item menu; dismissing it changes nothing.
    platform::DialogMessage menu;
    menu.kind = platform::DialogMessage::Kind::ContextMenu;
    dialog().send(menu);
    ASSERT_EQ(modal().menus.size(), 1u);
    ASSERT_EQ(modal().menus[0].items.size(), 1u);
    EXPECT_EQ(modal().menus[0].items[0].text, "SAVE");
    EXPECT_EQ(modal().menus[0].items[0].command, 1);

    // The About dialog: its button hands the name to the desktop, OK ends it.
    modal().dialogCommands = {ids::emergencyCall, ids::ok};
    command(ids::aboutButton);
    EXPECT_EQ(modal().dialogs, (std::vector<int>{resources::aboutDialogTemplate().id}));
    EXPECT_EQ(modal().opened, (std::vector<std::string>{"Vestrano_ECG"}));
    EXPECT_TRUE(modal().dialogEnded);
}

TEST_F(MainWindowTest, TheOffsetSliderStepsThroughItsTable) {
    open();
    const auto slider = [&](int request, int position) {
        dialog().send(platform::DialogMessage::scroll(platform::DialogMessage::Kind::VerticalScroll,
                                                      ids::offsetSlider, request, position));
        return controller().offsetSlider.position();
    };
    EXPECT_EQ(slider(6, 0), 9);
    EXPECT_FLOAT_EQ(render::traceOffset.load(), 19.2f);
    EXPECT_EQ(slider(7, 0), 0);
    EXPECT_FLOAT_EQ(render::traceOffset.load(), -9.6f);
    EXPECT_EQ(slider(1, 0), 1);
    EXPECT_EQ(slider(0, 0), 0);
    EXPECT_EQ(slider(0, 0), 0);
    // A drag of the real slider to 95 selects the last entry.
    dialog().dragThumb(ids::offsetSlider, 95);
    EXPECT_EQ(controller().offsetSlider.position(), 9);
    render::traceOffset.store(render::initialTraceOffset);
}

// Clicks where the pointer puts them: the slot group's frame, drawn over the
// slot buttons, lets them through.
TEST_F(MainWindowTest, PointerClicksReachTheButtonsUnderTheirFrames) {
    write("REC.txt", "801.2\n-686.8\n");
    open();
    barScroll(platform::scroll::lineDown);
    barScroll(platform::scroll::lineUp);
    ASSERT_TRUE(dialog().isEnabled(ids::filter));
    const platform::Rect slot = dialog().controlRect(ids::firstSlot);
    dialog().clickAt(slot.left + 5, (slot.top + slot.bottom) / 2);
    // Slot 1 took the click: it loads the slot and disables FILTER.
    EXPECT_FALSE(dialog().isEnabled(ids::filter));
    EXPECT_TRUE(dialog().isChecked(ids::firstSlot));
    // The bit depth shown stays as it was.
    EXPECT_TRUE(dialog().isChecked(ids::bits16));
    const platform::Rect start = dialog().controlRect(ids::startStop);
    dialog().clickAt((start.left + start.right) / 2, (start.top + start.bottom) / 2);
    EXPECT_FALSE(controller().idle);
}

TEST_F(MainWindowTest, SlotTwoToTenEnableFilterAndSlotOneDoesNot) {
    write("REC3.txt", "57.2\n58\n");
    open();
    command(ids::firstSlot + 2);
    EXPECT_TRUE(dialog().isEnabled(ids::filter));
    EXPECT_EQ(testsupport::readFile("REC.txt"), "57.200000 \n58.000000 \n");
    command(ids::firstSlot);
    EXPECT_FALSE(dialog().isEnabled(ids::filter));
}

TEST_F(MainWindowTest, WithoutACaptureDeviceTheWindowStaysEmptyAndClosesWithCodeZero) {
    open(
        realTime(), [](ChosenDevice& d) { d.devices = 0; }, false);
    EXPECT_EQ(shell_->controller(), nullptr);
    ASSERT_EQ(modal().boxes.size(), 1u);
    EXPECT_EQ(modal().boxes[0].text, "No sound card installed !");
    EXPECT_EQ(modal().boxes[0].caption, "Exception");
    EXPECT_EQ(modal().boxes[0].icon, platform::BoxIcon::Warning);
    // After the box, the window says what to try.
    EXPECT_TRUE(dialog().isNoticeShown());
    // Messages that need the Controller are ignored.
    command(ids::startStop);
    barScroll(platform::scroll::lineDown);
    dialog().close();
    platform::Application::postAfter(10000, [] { platform::Application::postQuit(99); });
    EXPECT_EQ(application().exec(), 0);
    EXPECT_TRUE(dialog().isDestroyed());
}

TEST_F(MainWindowTest, UnreadableCapabilitiesAreReported) {
    open(
        realTime(), [](ChosenDevice& d) { d.capabilitiesResult = platform::MMSYSERR_ERROR; },
        false);
    EXPECT_EQ(shell_->controller(), nullptr);
    ASSERT_EQ(modal().boxes.size(), 1u);
    EXPECT_EQ(modal().boxes[0].text, "Cannot determine sound card capabilities !");
}

TEST_F(MainWindowTest, ClosingDuringARecordingEndsPromptlyWithCodeZero) {
    open();
    startRecording();
    ASSERT_TRUE(pumpUntil([&] { return controller().painter().processedBuffers() > 10; }));
    const auto before = std::chrono::steady_clock::now();
    dialog().close();
    platform::Application::postAfter(10000, [] { platform::Application::postQuit(99); });
    EXPECT_EQ(application().exec(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
    EXPECT_EQ(shell_->controller(), nullptr);
    // Every stored value is a whole line.
    const std::string stored = testsupport::readFile("REC.txt");
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored.back(), '\n');
}

// Real boxes, with their nested event loops: a close while one is open (here
// the start's box, shown while the capture worker's lock is held, and the
// box of "SAVE  RECORDED" during a recording) dismisses it, and the window
// closes once the box has returned to its caller.
TEST_F(MainWindowTest, ClosingWhileABoxIsOpenEndsPromptlyWithCodeZero) {
    open();
    const auto scripted =
        platform::installModalService(std::make_unique<platform::QtModalService>());
    device_->simulator.refuseFormats(true);
    const auto before = std::chrono::steady_clock::now();
    platform::Application::postAfter(10000, [] { platform::Application::postQuit(99); });
    platform::Application::postAfter(300, [this] { dialog().close(); });
    dialog().click(ids::startStop);
    EXPECT_NE(shell_->controller(), nullptr);
    EXPECT_EQ(application().exec(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
    EXPECT_EQ(shell_->controller(), nullptr);
}

TEST_F(MainWindowTest, ClosingFromTheBoxOfARunningRecordingKeepsItsValues) {
    open();
    const auto scripted =
        platform::installModalService(std::make_unique<platform::QtModalService>());
    startRecording();
    ASSERT_TRUE(pumpUntil([&] { return controller().painter().processedBuffers() > 10; }));
    const auto before = std::chrono::steady_clock::now();
    platform::Application::postAfter(10000, [] { platform::Application::postQuit(99); });
    platform::Application::postAfter(300, [this] { dialog().close(); });
    dialog().click(ids::saveRecorded);
    EXPECT_EQ(application().exec(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
    const std::string stored = testsupport::readFile("REC.txt");
    EXPECT_GE(lines("REC.txt"), 10);
    EXPECT_EQ(stored.back(), '\n');
}

// The sound card unplugged in the middle of a recording: the recording stops
// through the stop path with every value it delivered, stored in the slot,
// and a box says what happened.
TEST_F(MainWindowTest, ALostSoundInputStopsTheRecordingWithItsValues) {
    open(unpaced());
    device_->simulator.failStreamsAfter(100);
    startRecording();
    ASSERT_TRUE(pumpUntil([&] { return controller().idle; }, 30s));
    EXPECT_EQ(dialog().icon(ids::startStop), icons::readyToRecord);
    EXPECT_FALSE(controller().painter().isRecording());
    // The first of the 100 values only sets the trace's starting height.
    EXPECT_EQ(lines("REC.txt"), 99);
    EXPECT_EQ(testsupport::readFile("REC1.txt"), testsupport::readFile("REC.txt"));
    ASSERT_EQ(modal().boxes.size(), 1u);
    EXPECT_EQ(modal().boxes[0].caption, "Recorder");
    EXPECT_NE(modal().boxes[0].text.find("stopped delivering"), std::string::npos);
    EXPECT_NE(modal().boxes[0].text.find("unplugged"), std::string::npos);
    EXPECT_NE(modal().boxes[0].text.find("99 values were kept"), std::string::npos)
        << modal().boxes[0].text;

    // Plugged in again, the next recording runs and stops as usual.
    device_->simulator.failStreamsAfter(-1);
    startRecording();
    ASSERT_TRUE(pumpUntil([&] { return controller().painter().processedBuffers() > 150; }));
    dialog().click(ids::startStop);
    EXPECT_TRUE(controller().idle);
    EXPECT_EQ(modal().boxes.size(), 1u);
}

// The front end switched off during a recording: within a second or two the
// window says so, and the notice goes within a second of the tone's return.
// The values go on being stored in their usual form.
TEST_F(MainWindowTest, ANoticeTellsWhenTheFrontEndsToneIsMissing) {
    open();
    startRecording();
    pumpFor(600ms);
    EXPECT_FALSE(dialog().isNoticeShown());
    device_->simulator.setToneGain(0.0);
    const auto off = std::chrono::steady_clock::now();
    ASSERT_TRUE(pumpUntil([&] { return dialog().isNoticeShown(); }, 5s));
    EXPECT_GE(std::chrono::steady_clock::now() - off, 900ms);
    EXPECT_EQ(dialog().noticeText(),
              "No tone from the ECG front end: check the cable and that it is switched on");
    EXPECT_TRUE(controller().painter().isRecording());
    // For a look at the notice: TRELMONT_SHOTS names a folder for pictures.
    if (const char* shots = std::getenv("TRELMONT_SHOTS")) {
        dialog().saveScreenshot(std::string(shots) + "/no-tone-notice.png");
    }
    device_->simulator.setToneGain(1.0);
    const auto on = std::chrono::steady_clock::now();
    ASSERT_TRUE(pumpUntil([&] { return !dialog().isNoticeShown(); }, 5s));
    EXPECT_LT(std::chrono::steady_clock::now() - on, 1s);
    if (const char* shots = std::getenv("TRELMONT_SHOTS")) {
        pumpFor(1500ms);
        dialog().saveScreenshot(std::string(shots) + "/tone-back.png");
    }
    dialog().click(ids::startStop);
    EXPECT_FALSE(dialog().isNoticeShown());
    const std::string stored = testsupport::readFile("REC.txt");
    EXPECT_GT(lines("REC.txt"), 80);
    EXPECT_EQ(stored.back(), '\n');
}

// A working file that is a link (here to /dev/full, which refuses every
// write, or to a file of the user's) is never written through: it is
// refused before a recording starts, with a box that says why, and what it
// names is left as it was; so is a companion that is no file.
TEST_F(MainWindowTest, AWorkingFileThatIsALinkOrNoFileIsRefusedAtTheStart) {
    std::filesystem::create_symlink("/dev/full", "REC.txt");
    open();
    EXPECT_TRUE(modal().boxes.empty());
    dialog().click(ids::startStop);
    EXPECT_TRUE(controller().idle);
    EXPECT_FALSE(controller().painter().isRecording());
    EXPECT_EQ(dialog().icon(ids::startStop), icons::readyToRecord);
    EXPECT_TRUE(dialog().isEnabled(ids::firstSlot));
    ASSERT_EQ(modal().boxes.size(), 1u);
    EXPECT_NE(modal().boxes[0].text.find("REC.txt is a link"), std::string::npos)
        << modal().boxes[0].text;
    EXPECT_EQ(modal().boxes[0].icon, platform::BoxIcon::Error);
    EXPECT_FALSE(std::filesystem::exists("REC1.txt"));

    std::filesystem::remove("REC.txt");
    std::filesystem::create_directory("REC.hr.txt");
    dialog().click(ids::startStop);
    EXPECT_TRUE(controller().idle);
    ASSERT_EQ(modal().boxes.size(), 2u);
    EXPECT_NE(modal().boxes[1].text.find("REC.hr.txt is not a regular file"), std::string::npos)
        << modal().boxes[1].text;

    std::filesystem::remove("REC.hr.txt");
    std::ofstream("letter.txt") << "a letter\n";
    std::filesystem::create_symlink("letter.txt", "REC.hr.txt");
    dialog().click(ids::startStop);
    EXPECT_TRUE(controller().idle);
    ASSERT_EQ(modal().boxes.size(), 3u);
    EXPECT_NE(modal().boxes[2].text.find("REC.hr.txt is a link"), std::string::npos)
        << modal().boxes[2].text;
    EXPECT_EQ(testsupport::readFile("letter.txt"), "a letter\n");
}

// A disk that fills up in the middle of a recording: the values stored
// before stay, whole, and go into the slot; the box counts them.
TEST_F(MainWindowTest, AFullDiskKeepsTheValuesStoredAndSaysHowMany) {
    open();
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limit = previous;
    limit.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &limit);
    startRecording();
    const bool stopped = pumpUntil([&] { return controller().idle; }, 30s);
    setrlimit(RLIMIT_FSIZE, &previous);
    ASSERT_TRUE(stopped);
    const std::string stored = testsupport::readFile("REC.txt");
    ASSERT_FALSE(stored.empty());
    EXPECT_LE(stored.size(), 1000u);
    EXPECT_EQ(stored.back(), '\n');
    const long long kept = lines("REC.txt");
    EXPECT_EQ(testsupport::readFile("REC1.txt"), stored);
    // The companion, ten values a line, fills the disk first: its refusal
    // stops the recording as the record's would, both ending on one line.
    EXPECT_EQ(lines("REC.hr.txt"), kept);
    EXPECT_EQ(lines("REC1.hr.txt"), kept);
    ASSERT_EQ(modal().boxes.size(), 1u) << modal().boxes.front().text;
    EXPECT_NE(modal().boxes[0].text.find(std::to_string(kept) + " values were kept"),
              std::string::npos)
        << modal().boxes[0].text;
}

TEST_F(MainWindowTest, ASlotThatCannotBeWrittenIsReportedAndTheWorkingFileKept) {
    open();
    startRecording();
    ASSERT_TRUE(pumpUntil([&] { return controller().painter().processedBuffers() > 10; }));
    // The slot's disk is full.
    platform::ReplacementFile::failStepForTests(platform::ReplacementFile::Step::Write, ENOSPC);
    dialog().click(ids::startStop);
    platform::ReplacementFile::failStepForTests(std::nullopt);
    const std::string stored = testsupport::readFile("REC.txt");
    EXPECT_GE(lines("REC.txt"), 9);
    ASSERT_EQ(modal().boxes.size(), 1u);
    EXPECT_NE(modal().boxes[0].text.find("Slot 1 was not stored"), std::string::npos);
    EXPECT_NE(modal().boxes[0].text.find("No space left on device"), std::string::npos)
        << modal().boxes[0].text;
    EXPECT_EQ(testsupport::readFile("REC.txt"), stored);
    EXPECT_FALSE(std::filesystem::exists("REC1.txt"));
    EXPECT_TRUE(controller().idle);

    // The working file is now the recording's only copy: neither a new
    // recording nor the slot loaded over it replaces it while the slot
    // still refuses it; once the slot takes it, the start goes on.
    platform::ReplacementFile::failStepForTests(platform::ReplacementFile::Step::Write, ENOSPC);
    dialog().click(ids::startStop);
    EXPECT_TRUE(controller().idle);
    command(ids::firstSlot);
    platform::ReplacementFile::failStepForTests(std::nullopt);
    ASSERT_EQ(modal().boxes.size(), 3u);
    for (const std::size_t box : {1u, 2u}) {
        EXPECT_NE(modal().boxes[box].text.find("The last recording is in no slot yet"),
                  std::string::npos)
            << modal().boxes[box].text;
    }
    EXPECT_EQ(testsupport::readFile("REC.txt"), stored);
    EXPECT_TRUE(dialog().isChecked(ids::firstSlot));
    startRecording();
    EXPECT_EQ(testsupport::readFile("REC1.txt"), stored);
    dialog().click(ids::startStop);
    EXPECT_EQ(modal().boxes.size(), 3u);
}

}  // namespace
}  // namespace app::test
