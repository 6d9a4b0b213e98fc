// The main window: the element states behind the sequence's layouts, and the window's own
// behaviour.
#include "QvKuMa.h"

#include "Branding.h"
#include "QvkunAbout.h"
#include "UiLanguage.h"
#include "framework/Application.h"

TForm1* Form1 = nullptr;

namespace {
// The English texts that replace the loaded Chinese ones outside the Chinese interface.
const ElementText kEnglish[] = {
    {"Label5", QVKU_PUBLISHER_CAPTION},
    {"Label6", "Soft:"},
    {"Label7", "Supported platforms:"},
    {"Label9", "Windows 7/Vista SP2/2008/8/8.1(X86/X64)"},
};

// The buttons (install, About, minimise) that are off while the sequence runs; close stays live.
const char* const kHotspots[] = {"Label3", "Label4", "Label2"};
// The hover pictures and the idle texts that the busy window hides.
const char* const kBusyHidden[] = {"Image5", "Image4", "Image6", "Image7", "Image8", "Image9", "Label5", "Label7"};
// The animation's frame, the strip and its track.
const char* const kBusyShown[] = {"Image11", "Image13", "Image12"};
const char kStrip[] = "Image13";
const char kStatus[] = "Label9";
}  // namespace

HandlerTable TForm1::Handlers() {
    return {
        {"FormCreate", [this] { FormCreate(); }},
        {"FormActivate", [this] { FormActivate(); }},
        {"FormClose", [this] { FormClose(); }},
        {"Timer1Timer", [this] { Timer1Timer(); }},
        {"Label1Click", [this] { Label1Click(); }},
        {"Label2Click", [this] { Label2Click(); }},
        {"Label3Click", [this] { Label3Click(); }},
        {"Label4Click", [this] { Label4Click(); }},
        {"Label1MouseMove", [this] { ShowHover("Image3"); }},
        {"Label1MouseLeave", [this] { HideHover("Image3"); }},
        {"Label2MouseMove", [this] { ShowHover("Image5"); }},
        {"Label2MouseLeave", [this] { HideHover("Image5"); }},
        {"Label3MouseMove", [this] { ShowHover("Image7"); }},
        {"Label3MouseLeave", [this] { HideHover("Image7"); }},
        {"Label4MouseMove", [this] { ShowHover("Image9"); }},
        {"Label4MouseLeave", [this] { HideHover("Image9"); }},
        {"Image1MouseMove", [this] { DragWindow(); }},
        {"Label5MouseMove", [this] { DragWindow(); }},
        {"Label6MouseMove", [this] { DragWindow(); }},
        {"Label7MouseMove", [this] { DragWindow(); }},
    };
}

void TForm1::FormCreate() {
    if (events_) events_->OnCreate();
}

void TForm1::Label3Click() {
    if (events_) events_->OnInstallClick();
}

void TForm1::FormClose() {
    SetWindowPos(Handle(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (events_) events_->OnClose();
}

void TForm1::Timer1Timer() {
    if (events_) events_->OnProgressTick();
}

void TForm1::FormActivate() {
    SetWindowPos(Handle(), HWND_TOPMOST, Left(), Top(), Width(), Height(), SWP_SHOWWINDOW);
    if (GetUiLanguage() == 1) return;
    SetTexts(kEnglish, sizeof kEnglish / sizeof kEnglish[0]);
}

void TForm1::Label1Click() { Close(); }

void TForm1::Label2Click() { SendMessageA(Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0); }

void TForm1::Label4Click() {
    if (Form2) Form2->ShowModal();
}

void TForm1::ShowHover(const char* picture) { SetVisible(picture, true); }
void TForm1::HideHover(const char* picture) { SetVisible(picture, false); }

void TForm1::DragWindow() {
    // The platform's own caption drag. Started without a held button, its move loop would make
    // the window follow the pointer until the next click: only a press starts it.
    if (!(GetAsyncKeyState(GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON) & 0x8000)) return;
    ReleaseCapture();
    SendMessageA(Handle(), WM_SYSCOMMAND, 0xF012, 0);
}

void TForm1::ShowStatus(TextId text, uint32_t code) {
    const int language = GetUiLanguage();
    SetText(kStatus, text == TextId::StatusFailed ? FailureText(code, language) : Text(text, language));
}

void TForm1::ShowLayout(ViewLayout layout) {
    switch (layout) {
    case ViewLayout::Unattended:
        for (const char* name : kHotspots) SetEnabled(name, false);
        for (const char* name : kBusyHidden) SetVisible(name, false);
        for (const char* name : kBusyShown) SetVisible(name, true);
        Show();
        SetWindowPos(Handle(), HWND_TOPMOST, Left(), Top(), Width(), Height(), SWP_SHOWWINDOW);
        break;
    case ViewLayout::Busy:
        for (const char* name : kHotspots) SetEnabled(name, false);
        for (const char* name : kBusyHidden) SetVisible(name, false);
        SetVisible("Image12", false);
        SetVisible("Image10", true);
        break;
    case ViewLayout::Installing:
        for (const char* name : kBusyShown) SetVisible(name, true);
        break;
    case ViewLayout::Rest:
        for (const char* name : kHotspots) SetEnabled(name, true);
        break;
    }
}

void TForm1::PrepareSilent() {
    Application.ShowMainForm = false;
    SetWindowLongA(Application.Handle(), GWL_EXSTYLE, WS_EX_TOOLWINDOW);
    ShowWindow(Application.Handle(), SW_HIDE);
    SetLeft(GetSystemMetrics(SM_CXSCREEN) - Width());
    SetTop(GetSystemMetrics(SM_CYSCREEN) - Height() - 2000);
}

void TForm1::SetStripWidth(int width) { SetWidth(kStrip, width); }
void TForm1::SetProgressTimer(bool running) { SetEnabled("Timer1", running); }

void TForm1::ShowMessage(TextId text) {
    Application.ShowMessageBox(Text(text, GetUiLanguage()), QVKU_PUBLISHER_CAPTION, MB_OK | MB_ICONEXCLAMATION);
}

bool TForm1::AskFilesInUse(const std::vector<std::string>& applications) {
    return Application.ShowMessageBox(FilesInUseText(applications, GetUiLanguage()), QVKU_PUBLISHER_CAPTION,
                                      MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TForm1::RequestQuit() { Application.Terminate(); }
