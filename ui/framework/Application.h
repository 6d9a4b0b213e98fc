// The application object: the invisible application window that owns message boxes and stands
// for the program on the taskbar, the main window, the main loop and its one-pass pump.
#pragma once
#include <windows.h>
#include <exception>
#include <functional>
#include <string>
#include <vector>

class Form;

class TApplication {
public:
    // Creates the application window. Call once, before any form.
    void Initialize(HINSTANCE instance);
    HINSTANCE Instance() const { return instance_; }
    HWND Handle() const { return handle_; }
    HICON Icon() const { return icon_; }

    // When set, the main loop makes the main window visible as it starts.
    bool ShowMainForm = true;
    bool Terminated() const { return terminated_; }
    Form* MainForm() const { return mainForm_; }
    // A form becomes the main window only after its creation, its creation handler included.
    void SetMainFormIfNone(Form* form);

    // One pass of the pump: handles every waiting message and returns when the queue is empty,
    // never blocking. A quit message taken here marks the application terminated.
    void ProcessMessages();
    // Handles one message, or, when there is none, runs the idle step and waits for one.
    void HandleOrWait();
    // Runs until a quit message has been taken; at once when there is no main window.
    void Run();
    // The quit request: a quit message posted to this thread's queue.
    void Terminate();

    // A modal message box owned by the application window; the program's other windows are
    // disabled while it is open.
    int ShowMessageBox(const std::string& text, const std::string& caption, UINT flags);
    // Reports a failure that left a handler: an error box with the failure's message (a full
    // stop added) and the application title as caption.
    void ShowError(const std::string& message);
    // Minimising the main window minimises the whole application: it leaves the screen and
    // stays on the taskbar; restoring brings it back unchanged.
    void Minimize();
    void Restore();
    bool Minimized() const { return minimized_; }

    void AddForm(Form* form);
    void RemoveForm(Form* form);
    // The form shown modally at the moment, whose dialog keys go to IsDialogMessage.
    Form* ModalForm = nullptr;

    // Run when the system's settings change (and when the taskbar is made anew), so that
    // whoever caches locale-dependent state can take it again.
    std::function<void()> OnSettingChange;

    // The idle step: leave notifications are produced when the queue is empty.
    void Idle();

    // A window procedure is called through the platform's own frames, which a C++ exception
    // cannot cross (it would end the process): every one of ours catches what its handlers throw
    // and hands it here. The first failure is kept, OnHandlerFailure runs, and the application is
    // asked to quit; the program entry then ends the run as after any failure.
    LRESULT HandlerFailed(std::exception_ptr failure);
    bool Failed() const { return failed_; }
    const std::string& FailureMessage() const { return failureMessage_; }
    std::function<void()> OnHandlerFailure;

    // When set, a form whose window cannot be made (no window system at all, as under Wine
    // without a display) keeps its elements as plain data and the run goes on without it.
    bool AllowWindowless = false;

private:
    bool HandleOneMessage();
    void Dispatch(MSG& msg);
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(HWND, UINT, WPARAM, LPARAM);

    HINSTANCE instance_ = nullptr;
    HWND handle_ = nullptr;
    HICON icon_ = nullptr;
    // The executable's file name up to its first full stop: the caption of error boxes.
    std::string title_;
    bool terminated_ = false;
    bool minimized_ = false;
    Form* mainForm_ = nullptr;
    std::vector<Form*> forms_;
    UINT taskbarCreated_ = 0;
    bool failed_ = false;
    std::string failureMessage_;
};

extern TApplication Application;
