#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "MainWindowRig.h"
#include "records/EdfExport.h"
#include "resources/DialogTemplates.h"
#include "tests/support/EdfReadBack.h"
#include "tests/support/RecordText.h"

namespace app::test {
namespace {

namespace ids = resources::ids;
using Mouse = platform::MainDialog::Mouse;

double now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The start written into the EDF+ header of the record's export, in seconds
// since the epoch (the header holds local time to the second).
double exportedStart(const std::string& record) {
    const std::string edf = record + ".edf";
    const std::string failure = records::EdfExport(199680, 4096).write(record, edf);
    EXPECT_EQ(failure, "");
    return testsupport::edfStartSeconds(edf);
}

class RecordingTimeTest : public MainWindowTest {
protected:
    int left() { return controller().pane(0).homeRect.left; }
    int middle() {
        const auto& r = controller().pane(0).homeRect;
        return (r.top + r.bottom) / 2;
    }
    void saveStretch(int fromX, int toX) {
        dialog().mouse(Mouse::Press, fromX, middle());
        dialog().mouse(Mouse::Move, fromX, middle());
        dialog().mouse(Mouse::Move, toX, middle());
        dialog().mouse(Mouse::Release, toX, middle());
        modal().menuChoice = 1;
        platform::DialogMessage menu;
        menu.kind = platform::DialogMessage::Kind::ContextMenu;
        dialog().send(menu);
    }
};

// A recording made in real time carries its start wherever it goes: in the
// slot after the stop, after FILTER, as a stretch kept by SAVE (which starts
// later), and after the program was closed and started again. Each step comes
// seconds after the one before, so a copy that took a new time would show.
TEST_F(RecordingTimeTest, TheExportedStartIsWhenTheRecordingStarted) {
    open(realTime());
    const double pressed = now();
    startRecording();
    pumpFor(5s);
    dialog().click(ids::startStop);
    ASSERT_TRUE(pumpUntil([&] { return controller().idle; }));
    ASSERT_GT(testsupport::readRecordValues("REC1.txt").size(), 200u);
    EXPECT_NEAR(exportedStart("REC1.txt"), pressed, 2.0);

    std::this_thread::sleep_for(3s);
    command(ids::filter);
    EXPECT_NEAR(exportedStart("REC.txt"), pressed, 2.0);

    // Lines 201 to 225: 200 values, 4.1 s, after the recording's start.
    std::this_thread::sleep_for(2s);
    saveStretch(left() + 420, left() + 470);
    ASSERT_EQ(testsupport::readRecordValues("REC.txt").size(), 25u);
    const double stretchStart = pressed + 200 / 48.75;
    EXPECT_NEAR(exportedStart("REC.txt"), stretchStart, 2.0);
    EXPECT_NEAR(exportedStart("REC1.txt"), stretchStart, 2.0);

    // Closed and started again: the start-up copy into slot 1 keeps it too.
    shell_.reset();
    dialog_.reset();
    std::this_thread::sleep_for(2s);
    open(realTime());
    EXPECT_NEAR(exportedStart("REC1.txt"), stretchStart, 2.0);
}

}  // namespace
}  // namespace app::test
