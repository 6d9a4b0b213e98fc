// Compiled with -fexec-charset=GBK: the Chinese literals below become GBK bytes.
#include "Texts.h"

#include <cstdio>

namespace {
struct TextPair {
    TextId id;
    const char* chinese;
    const char* english;
};

const TextPair kTexts[] = {
    {TextId::Unsupported, "提示：不支持当前系统的安装！          ",
     "Error: The current system does not support the installation!"},
    {TextId::StatusReady, "程序准备安装，请稍候......", "Program ready to install, please wait ......"},
    {TextId::StatusInstalling, "正在安装.NET Framework 4.5.2，请稍候......",
     "Installing .NET Framework 4.5.2, please wait ......"},
    {TextId::StatusDone, "恭喜你，.NET Framework4.5.2已安装完毕！", ".NET Framework4.5.2 has been installed!"},
    // %u: the exit code
    {TextId::StatusFailed, "安装未完成，错误代码：%u！", ".NET Framework4.5.2 was not installed, error code: %u!"},
    {TextId::StatusAlreadyInstalled, "本机已安装.NET Framework 4.5.2或更高版本，无需安装！",
     ".NET Framework 4.5.2 or later is already installed!"},
    {TextId::StatusCancelling, "正在取消安装，请稍候......", "Cancelling the installation, please wait ......"},
};
}  // namespace

const char* Text(TextId id, int language) {
    for (const TextPair& t : kTexts)
        if (t.id == id) return language == 1 ? t.chinese : t.english;
    return "";
}

std::string FilesInUseText(const std::vector<std::string>& applications, int language) {
    std::string list;
    for (const std::string& name : applications) list += "    " + name + "\r\n";
    if (language == 1)
        return "以下程序正在使用安装需要更新的文件：\r\n\r\n" + list +
               "\r\n是否关闭这些程序？\r\n选择“否”将保留它们，安装完成后可能需要重新启动计算机。";
    return "These applications are using files that the installation must update:\r\n\r\n" + list +
           "\r\nClose them now?\r\nNo leaves them running; a restart may be needed afterwards.";
}

std::string FailureText(uint32_t exitCode, int language) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, Text(TextId::StatusFailed, language), unsigned(exitCode));
    return buffer;
}
