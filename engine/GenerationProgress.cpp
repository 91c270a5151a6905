#include "engine/GenerationProgress.h"

#include <algorithm>
#include <cmath>
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

void CGenerationProgress::BeginSizedFile(std::uint64_t target) {
    m_sizedTarget.fetch_add(target, std::memory_order_relaxed);
    m_sizedInHand.fetch_add(1, std::memory_order_relaxed);
}

void CGenerationProgress::EndSizedFile(std::uint64_t target, std::uint64_t written) {
    m_sizedWritten.fetch_sub(written, std::memory_order_relaxed);
    m_sizedInHand.fetch_sub(1, std::memory_order_relaxed);
    m_sizedTarget.fetch_sub(target, std::memory_order_relaxed);
}

std::optional<double> CGenerationProgress::FractionDone() const {
    const std::uint64_t expected = ExpectedFiles();
    if (expected == 0) {
        return std::nullopt;
    }
    // Read apart from each other, the sized counters may disagree for a moment (a file just
    // begun or ended): they are clamped rather than trusted to match.
    const auto inHand = static_cast<double>(m_sizedInHand.load(std::memory_order_relaxed));
    const auto target = static_cast<double>(m_sizedTarget.load(std::memory_order_relaxed));
    const auto written = static_cast<double>(m_sizedWritten.load(std::memory_order_relaxed));
    const double partial = target > 0 ? std::min(inHand, inHand * written / target) : 0.0;
    const double done = (static_cast<double>(Files()) + partial) / static_cast<double>(expected);
    return std::clamp(done, 0.0, 1.0);
}

std::string FormatProgress(std::uint64_t files, double bytes, double seconds, std::uint64_t expectedFiles,
                           std::optional<double> fractionDone) {
    if (!fractionDone) {
        return FormatProgress(files, bytes, seconds);
    }
    const double fraction = *fractionDone;
    char head[64];
    std::snprintf(head, sizeof(head), "%llu/%llu files (%.0f%%), ", static_cast<unsigned long long>(files),
                  static_cast<unsigned long long>(expectedFiles), std::floor(fraction * 100));
    std::string line = head + FormatByteCount(bytes) + " written, " +
                       FormatByteCount(seconds > 0 ? bytes / seconds : 0) + "/s";
    // Nothing done yet says nothing of the time left.
    if (fraction > 0 && fraction < 1 && seconds > 0) {
        const double left = std::min(seconds * (1 - fraction) / fraction, 359999.0);
        const auto whole = static_cast<unsigned long>(std::lround(left));
        char tail[48];
        if (whole >= 3600) {
            std::snprintf(tail, sizeof(tail), ", %lu:%02lu:%02lu left", whole / 3600, whole / 60 % 60,
                          whole % 60);
        } else {
            std::snprintf(tail, sizeof(tail), ", %lu:%02lu left", whole / 60, whole % 60);
        }
        line += tail;
    }
    return line;
}
