// The install sequence's machine on Windows: a thin shell over the services and the
// inspection, with each platform error handed back as a number.
#pragma once
#include <memory>

#include "InstallSystem.h"
#include "RunLog.h"

class ChainerSession;
class PayloadWriter;

class Win32InstallSystem : public InstallSystem {
public:
    Win32InstallSystem();
    ~Win32InstallSystem() override;

    std::string WindowsName() override;
    bool IsWin64() override;
    uint32_t SystemSetupInProgress() override;
    bool PeBuilderKeyExists() override;
    NetFxReadings ReadNetFx() override;
    std::string DescribeWindows() override;
    FolderResult CreateWorkFolder() override;
    bool FolderExists(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    uint32_t RemoveFile(const std::string& path) override;
    void BeginPayload(const std::vector<PayloadItem>& items) override;
    PayloadPiece WritePayloadPiece() override;
    ProgramRun RunProgram(const ProgramCommand& command, const std::string& folder, ShowState show,
                          const WaitSlice& slice) override;
    ChannelResult OpenInstallerChannel() override;
    ProgramRun RunInstaller(const ProgramCommand& command, const std::string& folder, ShowState show,
                            const InstallerSlice& slice) override;
    uint32_t StartHiddenCommand(const std::string& command) override;
    std::string SystemProgram(const char* fileName) override;
    std::string ExecutablePath() override;
    void DisableRedirection() override;
    void Log(const std::string& line) override { log_.Line(line); }
    std::string ErrorText(uint32_t error) override;
    uint32_t TickCount() override;
    void Pump() override;
    void PumpUntil(uint32_t start, int32_t durationMs) override;

    // The run's log, new in the account's temp folder; without it the run goes on unlogged.
    void OpenLog() { log_.Open("QvKu"); }
    const std::string& LogPath() const { return log_.Path(); }

private:
    std::unique_ptr<PayloadWriter> payload_;
    std::unique_ptr<ChainerSession> channel_;  // of the installer about to run
    RunLog log_;
};
