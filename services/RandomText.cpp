#include "RandomText.h"

#include "HexText.h"

#include <windows.h>
#include <ntsecapi.h>

#include <vector>

std::string RandomHex(size_t byteCount) {
    // RtlGenRandom lives in advapi32, one of the system's known DLLs: no file of that name beside
    // the program is ever loaded for it.
    std::vector<unsigned char> bytes(byteCount);
    if (byteCount && !RtlGenRandom(bytes.data(), ULONG(byteCount))) return "";
    return HexText(bytes.data(), bytes.size());
}
