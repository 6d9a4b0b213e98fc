#include "Application.h"

#include <algorithm>

#include "../../services/SystemApi.h"
#include "Form.h"

TApplication Application;

static const char kAppWindowClass[] = "TApplication";

void TApplication::Initialize(HINSTANCE instance) {
    instance_ = instance;
    std::string file = ExecutablePath();
    std::string::size_type slash = file.find_last_of("\\/");
    if (slash != std::string::npos) file = file.substr(slash + 1);
    title_ = file.substr(0, file.find('.'));
    icon_ = LoadIconA(instance, "MAINICON");

    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = icon_;
    wc.lpszClassName = kAppWindowClass;
    RegisterClassA(&wc);
    // Zero-sized and shown: it stands for the program on the taskbar while the forms it owns
    // have no buttons of their own.
    handle_ = CreateWindowExA(0, kAppWindowClass, title_.c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                              nullptr, nullptr, instance, nullptr);
    taskbarCreated_ = RegisterWindowMessageA("TaskbarCreated");
}

void TApplication::SetMainFormIfNone(Form* form) {
    if (!mainForm_) mainForm_ = form;
}

void TApplication::AddForm(Form* form) { forms_.push_back(form); }

void TApplication::RemoveForm(Form* form) {
    forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
    if (mainForm_ == form) mainForm_ = nullptr;
    if (ModalForm == form) ModalForm = nullptr;
}

void TApplication::Dispatch(MSG& msg) {
    // Key preview: the form sees a key press before the element that has the focus, with Alt
    // held too.
    if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
        HWND root = GetAncestor(msg.hwnd, GA_ROOT);
        for (Form* form : forms_)
            if (form->Handle() == root && form->KeyPreview() && form->onKeyDown) {
                form->onKeyDown(msg.wParam);
                break;
            }
    }
    if (ModalForm && ModalForm->Handle() && IsDialogMessageA(ModalForm->Handle(), &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

bool TApplication::HandleOneMessage() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return true;
    }
    Dispatch(msg);
    return true;
}

void TApplication::ProcessMessages() {
    while (HandleOneMessage()) {
    }
}

void TApplication::HandleOrWait() {
    if (HandleOneMessage()) return;
    Idle();
    if (!terminated_) WaitMessage();
}

void TApplication::Run() {
    if (!mainForm_) return;
    if (ShowMainForm) mainForm_->Show();
    while (!terminated_) HandleOrWait();
}

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::Idle() {
    POINT screen;
    GetCursorPos(&screen);
    HWND under = WindowFromPoint(screen);
    for (Form* form : forms_) {
        POINT client = screen;
        ScreenToClient(form->Handle(), &client);
        form->CheckLeave(under == form->Handle(), client);
    }
}

int TApplication::ShowMessageBox(const std::string& text, const std::string& caption, UINT flags) {
    // The box is modal to the program: its other visible and enabled windows are disabled, and
    // the window that was active is activated again afterwards.
    HWND active = GetActiveWindow();
    std::vector<HWND> disabled;
    for (Form* form : forms_) {
        HWND h = form->Handle();
        if (h && IsWindowVisible(h) && IsWindowEnabled(h)) {
            EnableWindow(h, FALSE);
            disabled.push_back(h);
        }
    }
    int result = ::MessageBoxA(handle_, text.c_str(), caption.c_str(), flags | MB_TASKMODAL);
    for (HWND h : disabled) EnableWindow(h, TRUE);
    if (active && IsWindow(active)) SetActiveWindow(active);
    return result;
}

void TApplication::ShowError(const std::string& message) {
    std::string text = message;
    if (!text.empty() && text.back() != '.') text += '.';
    ShowMessageBox(text, title_, MB_OK | MB_ICONERROR);
}

void TApplication::Minimize() {
    if (minimized_) return;
    minimized_ = true;
    for (Form* form : forms_)
        if (form->Visible()) ShowWindow(form->Handle(), SW_HIDE);
    ShowWindow(handle_, SW_MINIMIZE);
}

void TApplication::Restore() {
    if (!minimized_) return;
    minimized_ = false;
    ShowWindow(handle_, SW_RESTORE);
    for (Form* form : forms_)
        if (form->Visible()) ShowWindow(form->Handle(), SW_SHOWNA);
    if (mainForm_ && mainForm_->Visible()) SetForegroundWindow(mainForm_->Handle());
}

LRESULT TApplication::HandlerFailed(std::exception_ptr failure) {
    if (failed_) return 0;
    failed_ = true;
    failureMessage_ = "An unexpected failure";
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        failureMessage_ = e.what();
    } catch (...) {
    }
    Terminate();
    if (OnHandlerFailure) {
        try {
            OnHandlerFailure();
        } catch (...) {
        }
    }
    return 0;
}

LRESULT CALLBACK TApplication::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    try {
        return Application.HandleMessage(hwnd, msg, wp, lp);
    } catch (...) {
        return Application.HandlerFailed(std::current_exception());
    }
}

LRESULT TApplication::HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    TApplication& app = *this;
    switch (msg) {
    case WM_SYSCOMMAND:
        switch (wp & 0xFFF0) {
        case SC_MINIMIZE: app.Minimize(); return 0;
        case SC_RESTORE: app.Restore(); return 0;
        case SC_CLOSE:
            if (app.mainForm_) app.mainForm_->Close();
            return 0;
        }
        break;
    case WM_SETFOCUS:
        // The application window never keeps the focus; it passes it on to the main window.
        if (app.mainForm_ && app.mainForm_->Visible() && !app.minimized_) SetFocus(app.mainForm_->Handle());
        return 0;
    case WM_WININICHANGE:
        if (app.OnSettingChange) app.OnSettingChange();
        break;
    case WM_CLOSE:
        if (app.mainForm_) app.mainForm_->Close();
        return 0;
    default:
        if (msg == app.taskbarCreated_ && app.taskbarCreated_ && app.OnSettingChange) app.OnSettingChange();
        break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}
