// The main window. Its controller half (run modes, the install sequence, closing, the progress
// timer) lives in controller/QvKuMa.cpp; its window half (activation, hover pictures, dragging,
// minimise, close, About) in ui/QvKuMa.cpp.
#pragma once
#include <cstdint>
#include <string>

#include "framework/Form.h"

class TForm1 : public Form {
public:
    // The names the stored layout binds its events to.
    HandlerTable Handlers();

    // Controller half.
    void FormCreate();
    void Label3Click();
    void FormClose();
    void Timer1Timer();

    // Window half.
    void FormActivate();
    void Label1Click();
    void Label2Click();
    void Label4Click();
    void ShowHover(const char* picture);
    void HideHover(const char* picture);
    void DragWindow();
};

extern TForm1* Form1;

// The work folder of this run; see controller/WorkFolder.h.
extern std::string WorkDir;
// What the process ends with; set by the install sequence.
extern uint32_t ProcessExitCode;

struct RunModeChoice;
// The run mode, decided once at start-up, before any window, and acted on by FormCreate.
void SetRunMode(const RunModeChoice& choice);
// After a failure that ended the run: nothing more starts, and the work folder goes.
void AbandonRun();
