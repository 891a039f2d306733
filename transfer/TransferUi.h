#pragma once

#include <cstdint>
#include <string>

class TERecXchange;

// Answers of the overwrite question, the modal results of its dialog.
constexpr int mrOverwrite = 6;     // overwrite this file (its name may have been renamed)
constexpr int mrSkip = 7;          // skip this file
constexpr int mrSkipAll = 9;       // skip this and every later existing file of the batch
constexpr int mrOverwriteAll = 10; // overwrite this and every later existing file
constexpr int mrCancelBatch = 2;   // stop the batch

// What a transfer batch needs from the person at the window: the progress form, the
// questions and the message boxes. The main window answers with its forms; tests script it.
// Texts are UTF-8. The upload's compression choice comes through the recorder's own callback
// (TRecorderUi::ChooseUploadFormat), which the window answers with its format dialog.
class TTransferUi {
public:
    virtual ~TTransferUi() = default;

    // Shows the progress form with the text, its gauge at 0 and a fresh time estimate;
    // cancelAllowed enables its Cancel button.
    virtual void ShowProgress(const std::string& text, bool cancelAllowed) = 0;
    // A new text on the form already shown: its estimate and a Cancel already pressed stay.
    virtual void SetProgressText(const std::string& text) = 0;
    virtual void SetProgress(int percent) = 0;
    // Lets the window handle what is pending (painting, the Cancel button) between polls.
    virtual void ProcessEvents() = 0;
    // Whether Cancel was pressed on the progress form since ClearCancel.
    virtual bool CancelRequested() = 0;
    virtual void ClearCancel() = 0;

    // The overwrite question for an existing file: one of the answers above. After
    // mrOverwrite the name may have been changed by a rename (only when renameAllowed).
    virtual int AskOverwrite(std::string& fileName, bool renameAllowed) = 0;
    // The part-selection dialog over one recording; false when the user cancelled. On true
    // start and duration (seconds) hold the choice.
    virtual bool SelectRecordPart(std::uint32_t& startSecond, std::uint32_t& duration,
                                  std::uint64_t recordSize) = 0;
    // A message box with the MB_ flags of transfer/MessageCodes.h; the ID of the answer.
    virtual int ShowMessage(const std::string& text, unsigned flags) = 0;
    // The error box of a failed recorder exchange.
    virtual void ShowExchangeError(const TERecXchange& error) = 0;

    // The recorder is about to read its content again: everything that points into its
    // lists lets go of them. ListsChanged follows once they are read.
    virtual void ListsChanging() = 0;
    virtual void ListsChanged() = 0;
};
