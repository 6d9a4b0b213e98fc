// The controller's interface texts, each in Simplified Chinese and in English.
#pragma once
#include <cstdint>
#include <string>

enum class TextId { Unsupported, StatusReady, StatusInstalling, StatusDone, StatusFailed, StatusAlreadyInstalled };

// The Chinese text when `language` is 1, the English one otherwise (2 included).
const char* Text(TextId id, int language);
// The status after a failed install, with the exit code that tells what went wrong.
std::string FailureText(uint32_t exitCode, int language);
