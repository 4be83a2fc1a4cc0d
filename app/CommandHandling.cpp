#include "CommandHandling.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "CaptureReport.h"
#include "PaneScrolling.h"
#include "SaveRecorded.h"
#include "Selection.h"
#include "acquisition/ToneDecoder.h"
#include "platform/Application.h"
#include "platform/ModalService.h"
#include "records/Companion.h"
#include "records/FilteredRecording.h"
#include "records/RecordingFacts.h"
#include "records/SampleFile.h"
#include "records/Slots.h"
#include "records/UndoStore.h"
#include "records/UndoableReplace.h"
#include "render/TraceOffset.h"

namespace app {

namespace ids = resources::ids;
using platform::BoxIcon;
using platform::buttonClicked;
using platform::listSelectionConfirmed;
using platform::modalService;

namespace {

constexpr const char* openToneTitle = "Open tone recording";
constexpr const char* toneFileFilter =
    "Tone recordings (*.wav *.WAV *.flac *.ogg *.oga *.opus *.mp3 *.MP3 *.m4a *.M4A *.aac "
    "*.mp4 *.3gp *.amr *.caf *.webm *.mka)";
// The progress of an opened tone recording is shown this often.
constexpr int progressMilliseconds = 250;

// The low 16 bits of the capture worker's stop request (-10).
constexpr int automaticStopBits = 0xFFF6;
// A working file longer than any recording is not counted through.
constexpr std::uintmax_t countLimit = 64ull * 1024 * 1024;

bool isAutomaticStop(int value) {
    return (value & 0xFFFF) == automaticStopBits;
}

// The number of values in a record file, or -1 when it cannot be told.
long long countValues(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) ||
        std::filesystem::file_size(path, error) > countLimit || error) {
        return -1;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return -1;
    }
    return std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
}

// The second sentence of a box about a recording that ended early.
std::string whatWasKept() {
    const long long kept = countValues(records::SampleFile::workingFileName);
    if (kept == 0) {
        return "The recording was stopped before it stored a value; the slot keeps what it held.";
    }
    return kept > 0 ? "The recording was stopped; " + std::to_string(kept) + " values were kept."
                    : std::string("The recording was stopped; the values stored so far were kept.");
}

// A disk that refused the very first value kept nothing: the box names the
// folder, where space is to be freed or which is to be changed.
std::string whatTheDiskKept() {
    if (countValues(records::SampleFile::workingFileName) != 0) {
        return whatWasKept();
    }
    std::error_code error;
    return "The recording was stopped; no value was stored in the records folder " +
           std::filesystem::current_path(error).string() + ".";
}

void errorBox(const std::string& text, const std::string& caption) {
    modalService().messageBox({text, caption, BoxIcon::Error});
}

}  // namespace

CommandHandling::CommandHandling(Controller& controller, bool& gridPending)
    : controller_(controller), dialog_(controller.dialog()), gridPending_(gridPending) {}

void CommandHandling::handleCommand(int id, int code, int value) {
    runCommand(id, code, value);
    // A command may have changed the working recording: the strips are
    // described with its own timing.
    if (controller_.idle) {
        describePanes(controller_);
    }
}

void CommandHandling::runCommand(int id, int code, int value) {
    if (controller_.decoding()) {
        commandWhileDecoding(id, value);
        return;
    }
    // What the last tone recording opened left out is said until the user
    // does something else.
    if (toneNoticeShown_) {
        toneNoticeShown_ = false;
        dialog_.hideNotice();
    }
    switch (id) {
        case ids::startStop:
            startStop(value);
            return;
        case ids::bits8:
        case ids::bits16:
            if (code == buttonClicked) {
                settingsCommand(id);
            }
            return;
        case ids::sampleRateList:
        case ids::fftList:
        case ids::speedList:
        case ids::gainList:
            if (code == listSelectionConfirmed) {
                listCommand(id);
            }
            return;
        case ids::aboutButton:
            showAbout();
            return;
        case ids::filter:
            dialog_.enable(ids::filter, false);
            clearSelection(controller_);
            if (controller_.idle) {
                filter();
            }
            return;
        case ids::printGraph:
            dialog_.enable(ids::printGraph, false);
            clearSelection(controller_);
            // The working file has one writer while a recording runs.
            if (controller_.idle) {
                print();
            }
            return;
        case ids::saveRecorded:
            saveRecorded();
            return;
        case ids::partialSaveDone:
            controller_.painter().showRecording(value);
            clearSelection(controller_);
            return;
        case ids::undo:
            undo();
            return;
        case ids::openTone:
            openTone();
            return;
        default:
            break;
    }
    if (id >= ids::firstSlot && id < ids::firstSlot + records::slotCount && code == buttonClicked) {
        loadSlot(id - ids::firstSlot + 1);
    }
}

void CommandHandling::commandWhileDecoding(int id, int value) {
    // The notice band says what runs; Esc stops it, nothing else acts.
    if (id == ids::cancel) {
        controller_.toneImport().cancel();
    } else if (id == ids::startStop && !isAutomaticStop(value)) {
        // The opened recording is about to replace the working one: no
        // recording may be written there meanwhile.
        errorBox(
            "No recording can be started while a tone recording is being opened: wait for "
            "it, or press Esc to stop it.",
            "Recorder");
    } else if (id == ids::startStop && !controller_.idle) {
        // A worker that asks to stop is never left waiting.
        startStop(value);
    }
}

void CommandHandling::startStop(int value) {
    acquisition::Painter& painter = controller_.painter();
    if (isAutomaticStop(value)) {
        // A request from a recording the user has stopped already must not
        // end the one started since: only a worker that still asks is heard.
        const bool stillAsked = painter.filledPanes() > acquisition::Painter::livePanes ||
                                painter.writeFailed() || painter.deviceFailed() ||
                                controller_.recordingStalled();
        if (!controller_.idle && !stillAsked) {
            return;
        }
        controller_.idle = false;
    }
    if (gridPending_) {
        painter.drawGrid(0);
        gridPending_ = false;
    }
    clearSelection(controller_);
    if (controller_.idle) {
        startPath();
    } else {
        stopPath();
    }
}

void CommandHandling::startPath() {
    controller_.disableSlots();
    clearSelection(controller_);
    // The recording's files: its companion takes a line for every value,
    // its facts are written as it starts.
    std::string unusable;
    const std::string working = records::SampleFile::workingFileName;
    for (const std::string& path :
         {working, records::companionPath(working), records::factsPath(working)}) {
        if (unusable.empty()) {
            unusable = records::SampleFile::notARecordFile(path);
        }
    }
    if (!unusable.empty()) {
        // Values written there would be lost, or fill the disk.
        modalService().messageBox({unusable + ": no recording can be stored in it.\nRemove or "
                                              "rename it, then start again.",
                                   "Recorder", BoxIcon::Error});
        controller_.idle = true;
        dialog_.setIcon(ids::startStop, resources::icons::readyToRecord);
        controller_.enableFirstSlot();
        return;
    }
    if (!storeUnstored("a new recording")) {
        controller_.idle = true;
        dialog_.setIcon(ids::startStop, resources::icons::readyToRecord);
        controller_.enableFirstSlot();
        return;
    }
    // A new recording replaces the working recording: what came before it
    // is in its slot, not in an undo.
    records::UndoStore::forget();
    std::error_code folderError;
    recordingFolder_ = std::filesystem::current_path(folderError).string();
    const acquisition::CaptureOutcome outcome = controller_.painter().startCapture();
    reportCapture(outcome);
    const bool started = static_cast<bool>(outcome);
    controller_.idle = !started;
    controller_.watchTone(started);
    dialog_.enable(ids::filter, false);
    dialog_.enable(ids::printGraph, false);
    dialog_.setIcon(ids::startStop,
                    started ? resources::icons::recording : resources::icons::readyToRecord);
}

void CommandHandling::stopPath() {
    acquisition::Painter& painter = controller_.painter();
    const bool wasRecording = painter.isRecording();
    painter.stopCapture();
    // A failure is reported by the stop that ends its recording, once.
    const int writeError = wasRecording ? painter.writeError() : 0;
    std::string deviceFailure = wasRecording ? painter.deviceFailure() : std::string();
    if (deviceFailure.empty() && controller_.recordingStalled()) {
        deviceFailure = "no value came from it for " +
                        std::to_string(Controller::stallLimit.count() / 1000) + " seconds";
    }
    dialog_.enable(ids::startStop, true);
    const int slot = controller_.selectedSlot();
    // A working file that is no record file (the start refuses it) has
    // nothing to store.
    bool storable =
        records::SampleFile::notARecordFile(records::SampleFile::workingFileName).empty();
    if (storable) {
        // A recording killed between a companion line and its value left
        // the companion one line ahead: both end on the same line again.
        records::trimCompanion(records::SampleFile::workingFileName,
                               records::countLines(records::SampleFile::workingFileName));
        // A recording that stored no value (stopped at once, or by a
        // failure at its first) leaves the slot as it was, never empty.
        storable = countValues(records::SampleFile::workingFileName) != 0;
    }
    const records::CopyOutcome copy =
        storable
            ? records::copyRecordFile(records::slotFileName(slot),
                                      records::SampleFile::workingFileName, painter.inference())
            : records::CopyOutcome{records::CopyOutcome::Status::NoSource, {}};
    // A recording its slot did not take whole is in the working file alone.
    const bool whole = copy.status == records::CopyOutcome::Status::Copied ||
                       copy.status == records::CopyOutcome::Status::NoSource;
    controller_.unstoredSlot = whole ? 0 : slot;
    controller_.enableFirstSlot();
    dialog_.enable(ids::filter, false);
    dialog_.enable(ids::printGraph, false);
    dialog_.setIcon(ids::startStop, resources::icons::readyToRecord);
    controller_.idle = true;
    controller_.watchTone(false);
    if (controller_.redrawPending) {
        controller_.redrawPending = false;
        painter.showRecording(controller_.firstVisiblePane);
    }
    if (!deviceFailure.empty()) {
        errorBox("The sound input stopped delivering: " + deviceFailure + ".\n" + whatWasKept(),
                 "Recorder");
    }
    reportStoreFailures(writeError, copy, slot);
    if (wasRecording) {
        reportFolderGone();
    }
}

void CommandHandling::reportFolderGone() const {
    // The program works in the folder as its current directory: once it is
    // removed, or its file system unmounted, the current directory has no
    // path any more, and the recording and its slot went where nobody can
    // reach them after the program ends.
    std::error_code error;
    static_cast<void>(std::filesystem::current_path(error));
    if (!error) {
        return;
    }
    const bool readable = countValues(records::SampleFile::workingFileName) > 0;
    errorBox("The records folder " + recordingFolder_ +
                 " was removed or unmounted while recording, and the recording with it." +
                 (readable ? "\nThe program can still read it until it ends: SAVE RECORDED now "
                             "keeps a copy elsewhere."
                           : "\nThe recording could not be kept."),
             "Recording not stored");
}

void CommandHandling::reportStoreFailures(int writeError, const records::CopyOutcome& copy,
                                          int slot) const {
    if (writeError != 0) {
        errorBox(std::string("The disk refused the recording: ") + std::strerror(writeError) +
                     ".\n" + whatTheDiskKept(),
                 "Recording stopped");
    }
    reportSlotCopy(copy, slot);
}

bool CommandHandling::storeUnstored(const std::string& replacing) {
    const int slot = controller_.unstoredSlot;
    if (slot == 0) {
        return true;
    }
    const std::string working = records::SampleFile::workingFileName;
    const records::CopyOutcome copy = records::copyRecordFile(records::slotFileName(slot), working,
                                                              controller_.painter().inference());
    if (copy.status == records::CopyOutcome::Status::Copied ||
        copy.status == records::CopyOutcome::Status::NoSource) {
        controller_.unstoredSlot = 0;
        return true;
    }
    errorBox("The last recording is in no slot yet: slot " + std::to_string(slot) +
                 " cannot take it whole: " + copy.reason + ".\nIt is only in " + working +
                 ", and " + replacing + " would replace it. Make slot " + std::to_string(slot) +
                 " writable, or copy " + working + " elsewhere and remove it, then try again.",
             "Recording not stored");
    return false;
}

void reportSlotCopy(const records::CopyOutcome& copy, int slot) {
    // The words for a copy into a slot that did not go whole.
    const std::string working = records::SampleFile::workingFileName;
    if (copy.status == records::CopyOutcome::Status::Failed) {
        errorBox("Slot " + std::to_string(slot) + " was not stored: " + copy.reason +
                     ".\nThe recording is still in " + working + ".",
                 "Recording not stored");
    } else if (copy.status == records::CopyOutcome::Status::RecordOnly) {
        errorBox("Slot " + std::to_string(slot) +
                     " holds the recording's values, but not its high-rate companion: " +
                     copy.reason + ".\nThe whole recording is still in " + working + ".",
                 "Companion not stored");
    }
}

void CommandHandling::settingsCommand(int id) {
    controller_.bitsPerSample = id == ids::bits8 ? 8 : 16;
    controller_.applySettings();
}

void CommandHandling::listCommand(int id) {
    switch (id) {
        case ids::sampleRateList:
            controller_.sampleRate = controller_.sampleRateList.selectedInteger();
            controller_.rebuildTables();
            controller_.applySettings();
            return;
        case ids::fftList:
            controller_.fftPoints = controller_.fftList.selectedInteger();
            controller_.rebuildTables();
            controller_.applySettings();
            return;
        case ids::speedList:
            controller_.speedFactor = controller_.speedList.selectedReal();
            controller_.painter().setSpeedFactor(controller_.speedFactor);
            controller_.applySettings();
            clearSelection(controller_);
            redisplayAfterFactorChange();
            return;
        case ids::gainList:
            controller_.gainFactor = controller_.gainList.selectedReal();
            clearSelection(controller_);
            controller_.painter().setGainFactor(controller_.gainFactor);
            controller_.applySettings();
            redisplayAfterFactorChange();
            return;
        default:
            return;
    }
}

void CommandHandling::redisplayAfterFactorChange() {
    if (!controller_.idle) {
        // Filtering rewrites the working file, which the worker is writing.
        controller_.redrawPending = true;
        return;
    }
    if (dialog_.isEnabled(ids::filter)) {
        controller_.painter().showRecording(0);
    } else {
        filter();
    }
}

void CommandHandling::filter() {
    std::vector<double> filtered;
    const records::ChangeOutcome outcome =
        records::filterWorkingRecording(controller_.painter().inference(), filtered);
    if (outcome.status == records::ChangeOutcome::Status::NotKept) {
        errorBox("FILTER was not run: the copy that lets Ctrl+Z undo it could not be written: " +
                     outcome.reason + ".\nThe recording was not changed.",
                 "FILTER");
        return;
    }
    if (outcome.status == records::ChangeOutcome::Status::Incomplete) {
        errorBox("FILTER stored the filtered values without their companion and facts: " +
                     outcome.reason + ".\nCtrl+Z puts the recording back as it was.",
                 "FILTER");
        controller_.painter().showRecording(0);
        return;
    }
    if (outcome.status != records::ChangeOutcome::Status::Done) {
        errorBox("FILTER could not store its result: " + outcome.reason +
                     ".\nThe recording was not changed.",
                 "FILTER");
        controller_.painter().showRecording(0);
        return;
    }
    controller_.painter().showFiltered(0, filtered);
}

void CommandHandling::undo() {
    // The working file has one writer while a recording runs, and one reader
    // while a print job starts.
    if (!controller_.idle || controller_.printSession().isPrinting()) {
        return;
    }
    // A pipe in the place of a file it reads would never end.
    const std::string obstacle = records::UndoStore::obstacle();
    if (!obstacle.empty()) {
        errorBox("Nothing was undone: " + obstacle + ".", "Undo");
        return;
    }
    if (!records::UndoStore::available()) {
        return;
    }
    const std::string failure = records::UndoStore::restore();
    clearSelection(controller_);
    controller_.painter().showRecording(controller_.firstVisiblePane);
    if (!failure.empty()) {
        errorBox("The last SAVE or FILTER could not be undone: " + failure + ".", "Undo");
    }
}

std::string CommandHandling::whyNoToneNow() const {
    if (!controller_.idle) {
        return "No tone recording can be opened while a recording runs: stop it first.";
    }
    if (controller_.printSession().isPrinting()) {
        return "No tone recording can be opened while the strips are being printed.";
    }
    if (controller_.decoding()) {
        return "A tone recording is being opened already: wait for it, or press Esc to stop it.";
    }
    return {};
}

void CommandHandling::openTone() {
    if (const std::string why = whyNoToneNow(); !why.empty()) {
        errorBox(why, openToneTitle);
        return;
    }
    platform::OpenFileRequest request;
    request.title = openToneTitle;
    request.filters = {toneFileFilter, "All Files (*)"};
    std::error_code error;
    request.initialDirectory = std::filesystem::current_path(error).string();
    const std::optional<std::string> path = modalService().openFileName(request);
    if (!path) {
        return;
    }
    // The dialog ran an event loop of its own: what it let happen meanwhile
    // (a recording started, a print) is asked about again.
    if (const std::string why = whyNoToneNow(); !why.empty()) {
        errorBox(why, openToneTitle);
        return;
    }
    decodeTone(*path);
}

void CommandHandling::handleDrop() {
    if (const std::string why = whyNoToneNow(); !why.empty()) {
        errorBox(why, openToneTitle);
        return;
    }
    const platform::MainDialog::Dropped& dropped = dialog_.dropped();
    std::error_code error;
    if (dropped.paths.size() + static_cast<std::size_t>(dropped.others) != 1) {
        errorBox("Drop one tone recording at a time.", openToneTitle);
    } else if (dropped.others == 1) {
        errorBox("Only a tone recording, an audio file, can be dropped here.", openToneTitle);
    } else if (std::filesystem::is_directory(dropped.paths[0], error)) {
        errorBox(dropped.paths[0] + " is a folder: drop a tone recording, an audio file.",
                 openToneTitle);
    } else {
        decodeTone(dropped.paths[0]);
    }
}

void CommandHandling::decodeTone(const std::string& path) {
    // What a live recording keeps: seven strips.
    const long long maxLines = static_cast<long long>(acquisition::Painter::livePanes + 2) *
                               controller_.painter().samplesPerPane(0);
    const std::string name = std::filesystem::path(path).filename().string();
    const bool started = controller_.toneImport().start(
        path, maxLines,
        [this](ToneImport::Finished finished) { toneDecoded(std::move(finished)); });
    if (!started) {
        errorBox("The tone recording cannot be opened: no thread could be started.", openToneTitle);
        return;
    }
    clearSelection(controller_);
    const auto show = [this, name] {
        const double done = controller_.toneImport().secondsDone();
        const double total = controller_.toneImport().secondsTotal();
        const std::string share =
            total > 0.0
                ? std::to_string(static_cast<int>(std::min(100.0, 100.0 * done / total))) + " %"
                : acquisition::durationText(done);
        dialog_.showNotice("Opening the tone recording " + name + ": " + share + " (Esc stops it)");
    };
    show();
    dialog_.setTicker(progressMilliseconds, show);
}

void CommandHandling::toneDecoded(ToneImport::Finished finished) {
    dialog_.setTicker(0, nullptr);
    dialog_.hideNotice();
    using Status = acquisition::DecodeResult::Status;
    const acquisition::DecodeResult& result = finished.result;
    if (result.status == Status::Cancelled) {
        return;
    }
    if (result.status != Status::Written || !finished.staged) {
        errorBox(result.message + ".\nThe recording was not changed.", openToneTitle);
        return;
    }
    const int slot = controller_.selectedSlot();
    const records::ChangeOutcome outcome =
        records::replaceWorkingRecording(*finished.staged, slot, controller_.painter().inference());
    if (outcome.status != records::ChangeOutcome::Status::Done &&
        outcome.status != records::ChangeOutcome::Status::Incomplete) {
        errorBox("The tone recording was not stored: " + outcome.reason +
                     ".\nThe recording was not changed.",
                 openToneTitle);
        return;
    }
    // Shown before any box: what a box's event loop lets happen afterwards
    // finds the opening over.
    showOpened(result);
    if (outcome.status == records::ChangeOutcome::Status::Incomplete) {
        // The decoded values are the working recording now: they are shown.
        errorBox(
            "The tone recording was stored without its companion and facts, and the slot "
            "left as it was: " +
                outcome.reason + ".\nCtrl+Z puts the recording before it back.",
            openToneTitle);
    }
    reportSlotCopy(outcome.slot, slot);
}

void CommandHandling::showOpened(const acquisition::DecodeResult& result) {
    clearSelection(controller_);
    controller_.painter().drawGrid(0);
    controller_.painter().showRecording(controller_.firstVisiblePane);
    std::string notice;
    if (result.full) {
        notice = result.secondsNotKept >= 0.0
                     ? std::to_string(std::lround(result.secondsNotKept)) +
                           " s of the tone recording were not kept: the window keeps seven "
                           "strips, as a recording; --decode writes all of it."
                     : std::string(
                           "The end of the tone recording was not kept: the window keeps "
                           "seven strips, as a recording; --decode writes all of it.");
    }
    for (std::string note : result.notes) {
        // Each note a sentence of its own.
        if (!note.empty()) {
            note[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(note[0])));
        }
        notice += (notice.empty() ? "" : " ") + note + ".";
    }
    if (!notice.empty()) {
        dialog_.showNotice(notice);
        toneNoticeShown_ = true;
    }
}

void CommandHandling::loadSlot(int slot) {
    if (!controller_.idle) {
        // The working file has one writer while a recording runs.
        return;
    }
    if (!storeUnstored("slot " + std::to_string(slot))) {
        // The slot the recording is to go into stays the checked one.
        dialog_.check(ids::firstSlot + slot - 1, false);
        dialog_.check(ids::firstSlot + controller_.unstoredSlot - 1, true);
        return;
    }
    // A slot loaded over the working recording ends what an undo could
    // put back.
    records::UndoStore::forget();
    const records::CopyOutcome copy =
        records::copyRecordFile(records::SampleFile::workingFileName, records::slotFileName(slot),
                                controller_.painter().inference());
    if (copy.status == records::CopyOutcome::Status::Failed) {
        errorBox("Slot " + std::to_string(slot) + " could not be loaded: " + copy.reason + ".",
                 "Recording not loaded");
    } else if (copy.status == records::CopyOutcome::Status::RecordOnly) {
        errorBox("Slot " + std::to_string(slot) +
                     " was loaded without its high-rate companion: " + copy.reason + ".",
                 "Companion not loaded");
    }
    clearSelection(controller_);
    if (slot == 1) {
        controller_.painter().drawGrid(0);
        controller_.painter().showRecording(0);
        dialog_.enable(ids::filter, false);
    } else {
        controller_.painter().showRecording(0);
        dialog_.enable(ids::filter, true);
    }
}

void CommandHandling::saveRecorded() {
    if (!controller_.idle) {
        modalService().messageBox(
            {"Please STOP Recording first", "Recording is still ACTIVE ", BoxIcon::Error});
        return;
    }
    dialog_.enable(ids::saveRecorded, false);
    dialog_.enable(ids::startStop, false);
    saveRecordedCopy(controller_.sampleRate, controller_.samplesPerBuffer);
    clearSelection(controller_);
    dialog_.enable(ids::saveRecorded, true);
    dialog_.enable(ids::startStop, true);
}

void CommandHandling::print() {
    PrintSession& session = controller_.printSession();
    if (session.isPrinting()) {
        return;
    }
    std::unique_ptr<platform::PrinterSurface> printer =
        modalService().choosePrinter({acquisition::PrintJob::documentName});
    if (!printer) {
        modalService().messageBox(
            {"ERROR print Dialog", "can not create print Dialog", BoxIcon::None});
        return;
    }
    // A PDF of the recording is no wider open than the recording.
    printer->limitModeTo(records::SampleFile::workingFileName);
    if (!session.start(std::move(printer), controller_.painter().printSettings())) {
        modalService().messageBox({"Painter::ECG_PRINT: Error creating print thread",
                                   "can not create Thread", BoxIcon::Error});
    }
}

void CommandHandling::showAbout() const {
    platform::DialogRequest request;
    request.dialogTemplate = &resources::aboutDialogTemplate();
    request.onCommand = &CommandHandling::aboutDialogProc;
    modalService().runDialog(request);
}

bool CommandHandling::aboutDialogProc(platform::ModalDialogHandle& dialog, int id) {
    if (id == ids::ok || id == ids::cancel) {
        dialog.end(0);
        return true;
    }
    if (id == ids::emergencyCall) {
        modalService().openWithDesktop(resources::aboutTarget);
        return true;
    }
    return false;
}

void CommandHandling::handleBlockScroll(int request, int position) {
    controller_.bufferScroller.step(request, position);
    controller_.samplesPerBuffer = controller_.bufferScroller.current();
    const acquisition::CaptureOutcome outcome = controller_.painter().configure(
        controller_.samplesPerBuffer, controller_.sampleRate, controller_.fftPoints,
        controller_.bitsPerSample, controller_.speedFactor, controller_.gainFactor);
    if (!outcome) {
        reportCapture(outcome);
        platform::Application::postQuit(1);
    }
    controller_.showRate();
}

void CommandHandling::handleOffsetScroll(int request, int position) {
    controller_.offsetSlider.step(request, position);
    render::traceOffset.store(controller_.offsetSlider.current());
}

}  // namespace app
