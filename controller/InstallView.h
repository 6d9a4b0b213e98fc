// What the install sequence asks of the main window, and what the window tells it. Plain types
// only: the window half implements the view over its named elements, and a test implements it
// over a journal.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Texts.h"

// The arrangements of the window's elements that the sequence switches between.
enum class ViewLayout {
    Unattended,  // auto and deployment mode before the sequence: buttons off, busy pictures on, topmost
    Busy,        // the sequence has begun: buttons off, the animation on
    Installing,  // the work folder is there: the strip and its track shown
    Rest,        // the sequence has ended: buttons on again
};

class InstallView {
public:
    virtual ~InstallView() = default;
    // The status line, in the interface language; `code` is the exit code of a failure text.
    virtual void ShowStatus(TextId text, uint32_t code = 0) = 0;
    virtual void ShowLayout(ViewLayout layout) = 0;
    // A silent run: the window is never shown, and the application leaves the taskbar.
    virtual void PrepareSilent() = 0;
    // The progress strip: its width in pixels and the one-second timer that grows it.
    virtual void SetStripWidth(int width) = 0;
    virtual void SetProgressTimer(bool running) = 0;
    // A box with an OK button and the exclamation mark, captioned with the publisher's name; returns
    // once it has been dismissed.
    virtual void ShowMessage(TextId text) = 0;
    // Asks whether the installer may close these applications; true for Yes.
    virtual bool AskFilesInUse(const std::vector<std::string>& applications) = 0;
    // What was found installed already, for whoever reads the window's state.
    virtual void NoteDetection(const std::string& text) = 0;
    // The window's close procedure; it tells the sequence through InstallEvents::OnClose.
    virtual void Close() = 0;
    // The application's quit request.
    virtual void RequestQuit() = 0;
};

// The window's events that belong to the sequence.
class InstallEvents {
public:
    virtual ~InstallEvents() = default;
    virtual void OnCreate() = 0;        // the last step of the window's creation
    virtual void OnInstallClick() = 0;  // the install button
    // Whether a closing may go on: a first close while an installer that speaks its protocol runs
    // becomes a cancel, and the window stays until the installer has rolled back.
    virtual bool OnCloseQuery() = 0;
    virtual void OnClose() = 0;         // every closing, whatever started it
    virtual void OnProgressTick() = 0;  // the strip's timer, once a second
};
