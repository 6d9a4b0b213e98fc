// The main window. It draws what the install sequence asks of it through InstallView, and hands
// the sequence its events (creation, the install button, every closing, the strip's timer);
// the rest is its own: activation, hover pictures, dragging, minimise and the About button.
#pragma once
#include <string>

#include "InstallView.h"
#include "framework/Form.h"

class TForm1 : public Form, public InstallView {
public:
    // The names the stored layout binds its events to.
    HandlerTable Handlers();
    // Who receives the sequence's events; set before the window is created, since its creation
    // runs the sequence in the unattended modes.
    void SetEvents(InstallEvents* events) {
        events_ = events;
        onCloseQuery = [this] { return !events_ || events_->OnCloseQuery(); };
    }

    void FormCreate();
    void Label3Click();
    void FormClose();
    void Timer1Timer();
    void FormActivate();
    void Label1Click();
    void Label2Click();
    void Label4Click();
    void ShowHover(const char* picture);
    void HideHover(const char* picture);
    void DragWindow();

    // InstallView
    void ShowStatus(TextId text, uint32_t code) override;
    void ShowLayout(ViewLayout layout) override;
    void PrepareSilent() override;
    void SetStripWidth(int width) override;
    void SetProgressTimer(bool running) override;
    void ShowMessage(TextId text) override;
    bool AskFilesInUse(const std::vector<std::string>& applications) override;
    void NoteDetection(const std::string& text) override { SetNote("netfx", text); }
    void Close() override { Form::Close(); }
    void RequestQuit() override;

private:
    InstallEvents* events_ = nullptr;
};

extern TForm1* Form1;
