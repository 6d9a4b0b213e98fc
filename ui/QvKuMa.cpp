// The window half of the main window: activation, hover pictures, dragging, minimise, close
// and the About button.
#include "QvKuMa.h"

#include "../services/UiLanguage.h"
#include "Branding.h"
#include "QvkunAbout.h"
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
