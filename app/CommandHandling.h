#pragma once

#include "Controller.h"
#include "platform/ModalService.h"
#include "records/RecordCopy.h"

namespace app {

// The main window's commands and the recording state machine behind the
// start/stop button, on the user-interface thread.
class CommandHandling {
public:
    // `gridPending` is set when the window initialises; the first start/stop
    // command draws the paper and clears it.
    CommandHandling(Controller& controller, bool& gridPending);

    void handleCommand(int id, int code, int value);
    // Something dropped on the window: a tone recording is opened.
    void handleDrop();
    // The block-size scroll bar 1012.
    void handleBlockScroll(int request, int position);
    // The trace-offset slider 1077.
    void handleOffsetScroll(int request, int position);

    // The About dialog's commands: OK and Cancel close it, the emergency
    // line asks the desktop to open the program's contact.
    static bool aboutDialogProc(platform::ModalDialogHandle& dialog, int id);

private:
    void runCommand(int id, int code, int value);
    // While a tone recording is being opened: Esc stops it, a start is
    // refused with a box.
    void commandWhileDecoding(int id, int value);
    void startStop(int value);
    void startPath();
    void stopPath();
    void reportStoreFailures(int writeError, const records::CopyOutcome& copy, int slot) const;
    // After a recording: when the records folder it went into was removed
    // or unmounted meanwhile, a box says so (and what can still be saved).
    void reportFolderGone() const;
    // Stores the working recording in the slot its stop could not store it
    // in, before `replacing` replaces it. True when it is in its slot (or
    // gone); false, with a box that says why, while it is the only copy.
    bool storeUnstored(const std::string& replacing);
    void settingsCommand(int id);
    void listCommand(int id);
    void redisplayAfterFactorChange();
    void filter();
    // Ctrl+Z: the working recording and the slot as before the last SAVE or
    // FILTER, shown again.
    void undo();
    void loadSlot(int slot);
    // Ctrl+O: a tone recording chosen in a file dialog.
    void openTone();
    // Why no tone recording can be opened now, empty when one can.
    std::string whyNoToneNow() const;
    // Decodes a tone recording on a thread of its own, its progress in the
    // notice band; toneDecoded() makes it the working recording.
    void decodeTone(const std::string& path);
    void toneDecoded(ToneImport::Finished finished);
    // The opened recording on the strips, and in the notice band what of
    // it was not kept.
    void showOpened(const acquisition::DecodeResult& result);
    void saveRecorded();
    // The print dialog, then the job on the printer chosen.
    void print();
    void showAbout() const;

    Controller& controller_;
    platform::MainDialog& dialog_;
    bool& gridPending_;
    // Whether the notice band says what an opened tone recording left out.
    bool toneNoticeShown_ = false;
    // The records folder the last recording started in.
    std::string recordingFolder_;
};

// Says what became of a copy into slot `slot` when it did not go whole.
void reportSlotCopy(const records::CopyOutcome& copy, int slot);

}  // namespace app
