// The controller's interface texts, each in Simplified Chinese and in English.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum class TextId { Unsupported, StatusReady, StatusInstalling, StatusDone, StatusFailed, StatusAlreadyInstalled,
                    StatusCancelling };

// The Chinese text when `language` is 1, the English one otherwise (2 included).
const char* Text(TextId id, int language);
// The status after a failed install, with the exit code that tells what went wrong.
std::string FailureText(uint32_t exitCode, int language);
// The question whether the installer may close the applications that hold its files, with their
// names one to a line.
std::string FilesInUseText(const std::vector<std::string>& applications, int language);
