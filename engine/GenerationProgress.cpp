#include "engine/GenerationProgress.h"

#include <cstdio>

CGenerationProgress& CGenerationProgress::Instance() {
    static CGenerationProgress progress;
    return progress;
}

std::string FormatByteCount(double bytes) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024.0 && unit < 4) {
        bytes /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof(text), unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
    return text;
}

std::string FormatProgress(std::uint64_t files, double bytes, double seconds) {
    return std::to_string(files) + " files, " + FormatByteCount(bytes) + " written, " +
           FormatByteCount(seconds > 0 ? bytes / seconds : 0) + "/s";
}
